#include "cli/Common.h"

#include <algorithm>
#include <memory>
#include <new>

#include "voice/VoiceList.h"

int Fail(std::ostream& err, const std::string& subject, const std::string& reason)
{
    err << kProgram << ": " << subject << ": " << reason << '\n';
    return kFailed;
}

int FailEX(std::ostream& err, const std::string& subject, EXException* raised)
{
    const std::unique_ptr<EXException> e(raised);
    return Fail(err, subject, e ? e->message : "Unidentified error");
}

bool ReadBank(const std::string& file, BankImage& image, std::ostream& err, int& status)
{
    try {
        ReadVoiceBankFile(file, image);
        return true;
    } catch (EXException* e) {
        status = FailEX(err, file, e);
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
    if (!LoadVoice(*patch, line, image)) {
        status = Fail(err, file, "Problem assembling patch.");
        return nullptr;
    }
    return patch;
}

std::string ShownVoice(const std::string& line)
{
    std::string shown = line.size() > 3 ? line.substr(3) : line;
    std::replace(shown.begin(), shown.end(), '\t', ' ');
    shown.erase(shown.find_last_not_of(' ') + 1);
    return shown;
}
