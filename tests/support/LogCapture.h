#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

// A job log that a test can read back.
class LogCapture {
public:
    LogCapture() : file_(std::tmpfile()) {}
    ~LogCapture()
    {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::FILE* File() const { return file_; }

    std::string Text() const
    {
        std::string text;
        if (file_ == nullptr) {
            return text;
        }
        std::fflush(file_);
        const long end = std::ftell(file_);
        std::rewind(file_);
        text.resize(static_cast<std::size_t>(end));
        const std::size_t got = std::fread(text.data(), 1, text.size(), file_);
        text.resize(got);
        std::fseek(file_, 0, SEEK_END);
        return text;
    }

private:
    std::FILE* file_;
};

// What the program writes to its standard error while this lives.
class StandardErrorCapture {
public:
    StandardErrorCapture() : saved_(::dup(STDERR_FILENO))
    {
        std::fflush(stderr);
        if (saved_ >= 0 && capture_.File() != nullptr) {
            ::dup2(::fileno(capture_.File()), STDERR_FILENO);
        }
    }
    ~StandardErrorCapture() { Restore(); }
    StandardErrorCapture(const StandardErrorCapture&) = delete;
    StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;

    // Gives standard error back and returns what was written to it.
    std::string Take()
    {
        Restore();
        return capture_.Text();
    }

private:
    void Restore()
    {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
            saved_ = -1;
        }
    }

    LogCapture capture_;
    int saved_;
};
