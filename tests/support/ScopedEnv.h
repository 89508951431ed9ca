#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

// The variable that names the user's home folder (platform::HomeFolder).
#ifdef _WIN32
inline constexpr const char* kHomeVariable = "USERPROFILE";
#else
inline constexpr const char* kHomeVariable = "HOME";
#endif

// Sets (or with nullopt unsets) one environment variable for a scope and
// puts back what was there before.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name))
    {
        if (const char* old = std::getenv(name_.c_str())) {
            old_ = old;
        }
        Apply(value);
    }
    ~ScopedEnv() { Apply(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Apply(const std::optional<std::string>& value) const
    {
#ifdef _WIN32
        // An empty value removes the variable there.
        ::_putenv_s(name_.c_str(), value ? value->c_str() : "");
#else
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
#endif
    }

    std::string name_;
    std::optional<std::string> old_;
};
