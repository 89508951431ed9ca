#include "cli/Common.h"

#include <algorithm>
#include <memory>
#include <new>

#include "voice/DialogSites.h"
#include "voice/VoiceList.h"

std::string Printable(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, '?');
    return text;
}

std::string PrintableListLine(const std::string& line)
{
    const std::size_t first = line.find('\t');
    const std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    if (second == std::string::npos) {
        return Printable(line);
    }
    return Printable(line.substr(0, first)) + '\t' + Printable(line.substr(first + 1, second - first - 1)) + '\t' +
           Printable(line.substr(second + 1));
}

int Fail(std::ostream& err, const std::string& subject, const std::string& reason)
{
    err << kProgram << ": " << Printable(subject) << ": " << Printable(reason) << '\n';
    return kFailed;
}

int Fail(std::ostream& err, const std::string& subject, const std::string& text, const std::string& why)
{
    Fail(err, subject, text);
    if (!why.empty()) {
        err << kProgram << ": " << Printable(why) << '\n';
    }
    return kFailed;
}

int FailEX(std::ostream& err, const std::string& subject, EXException* raised)
{
    const std::unique_ptr<EXException> e(raised);
    return e ? Fail(err, subject, e->message, e->reason) : Fail(err, subject, "Unidentified error");
}

bool ReadBank(const std::string& file, BankImage& image, std::ostream& err, int& status)
{
    try {
        ReadVoiceBankFile(file, image);
        return true;
    } catch (EXException* raised) {
        const std::unique_ptr<EXException> e(raised);
        // The record names no cause; a musician needs to know which.
        const std::string reason = ReadFailureText(e.get(), file);
        status = Fail(err, file, reason);
    } catch (const std::bad_alloc&) {
        status = Fail(err, file, "Out of memory");
    }
    return false;
}

std::unique_ptr<EX5Patch> PatchOfVoice(const BankImage& image, int voice, const std::string& file, std::string& line,
                                       std::ostream& err, int& status)
{
    line = VoiceListLine(image, voice);
    if (IsDrumLine(line)) {
        status = Fail(err, file, "Sorry, no drums yet.");
        return nullptr;
    }
    auto patch = std::make_unique<EX5Patch>("AssemblPatch", 0);
    std::string why;
    if (!LoadVoice(*patch, line, image, why)) {
        status = Fail(err, file, dialog_site::kAssemble.message, why);
        return nullptr;
    }
    return patch;
}

std::string ShownVoice(const std::string& line) { return Printable(::ShownVoice(std::string_view(line))); }
