#include "app/StatusTexts.h"

#include <cctype>

#include "instrument/Jobs.h"
#include "instrument/LogFolder.h"
#include "voice/DialogSites.h"
#include "voice/VoiceFile.h"
#include "voice/VoiceList.h"

namespace status {

namespace {

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// `lead` ("The voice was not sent", "Not identified"), then what is wrong
// with the port of `list` ("MIDI Out", "MIDI In") and what to do.
std::string PortProblem(const std::string& lead, const char* list, const std::string& name,
                        const std::string& missing, const std::string& message)
{
    const std::string where = std::string(list) + " list";
    if (name.empty() && !missing.empty()) {
        return lead + ": " + list + " " + Quoted(missing) + " is not there; connect it and open the " + where +
               ", or choose another port there.";
    }
    if (name.empty()) {
        return lead + ": no " + list + " port is selected; choose one in the " + where + ".";
    }
    return lead + ": " + list + " " + Quoted(name) + " failed (" + message +
           "). Is it still there, and not in use by another program? Open the " + where + " to choose it again.";
}

// `logFolder` is the one the job was given, which --log-dir chooses.
std::string LogAdvice(const std::string& logFolder)
{
    return std::string(kLogFileName) + " cannot be written in " + ShownLogFolder(logFolder) +
           ". Start Sonderik with --log-dir DIR to choose another folder.";
}

}  // namespace

std::string Sentence(const std::string& clause)
{
    if (clause.empty()) {
        return clause;
    }
    std::string text = clause;
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text + ".";
}

namespace {

// `lead`, then what the failure concerns and what to do about it.
std::string Failed(const std::string& lead, const JobFailure& failure, const JobPorts& ports,
                   const std::string& logFolder, const std::string& stillSending)
{
    switch (failure.kind) {
    case JobFailureKind::None:
    case JobFailureKind::Cancelled:
        return {};
    case JobFailureKind::LogFile:
        return lead + ": " + LogAdvice(logFolder);
    case JobFailureKind::StillSending:
        return lead + ": " + stillSending;
    case JobFailureKind::OutputPort:
        return PortProblem(lead, "MIDI Out", ports.out, ports.missingOut, failure.message);
    case JobFailureKind::InputPort:
        return PortProblem(lead, "MIDI In", ports.in, ports.missingIn, failure.message);
    case JobFailureKind::Other:
        break;
    }
    return lead + ": " + failure.message + " (see Sonderik.log).";
}

}  // namespace

std::string SendFailed(const JobFailure& failure, const std::string& voice, const JobPorts& ports,
                       const std::string& logFolder)
{
    return Failed((voice.empty() ? std::string("The voice") : voice) + " was not sent", failure, ports, logFolder,
                  "it was still on its way when the MIDI Delay ran out. Raise the MIDI Delay and send it again.");
}

std::string IdentifyFailed(const JobFailure& failure, const JobPorts& ports, const std::string& logFolder)
{
    return Failed("Not identified", failure, ports, logFolder,
                  "a request was still on its way when its wait ran out. Raise the SysEx Delay and try again.");
}

std::string Sent(const std::string& listLine, const std::string& out)
{
    return "Sent " + ShownVoice(listLine) + " to MIDI Out " + Quoted(out) + ".";
}

std::string NoReply(const JobPorts& ports)
{
    return "No answer from the instrument on MIDI Out " + Quoted(ports.out) + " and MIDI In " + Quoted(ports.in) +
           ": is it on, and connected both ways?";
}

std::string AnsweredAsDevice(const std::string& model, unsigned found, unsigned asked)
{
    return "The " + model + " answered only the request to every device, as device number " +
           std::to_string(found) + " (not " + std::to_string(asked) + "): set Device No to " +
           std::to_string(found) + ".";
}

std::string PortGone(const char* list, const std::string& name)
{
    return std::string(list) + " " + Quoted(name) + " is not there any more; choose a port in the " + list +
           " list.";
}

std::string StoredPortMissing(const char* list, const std::string& name)
{
    return std::string(list) + " " + Quoted(name) + " is not there; connect it and open the " + list +
           " list, or choose another port there.";
}

std::string FileFailed(const std::string& path, const EXException* raised)
{
    const std::string message = raised != nullptr ? raised->message : "Unidentified error";
    if (message == dialog_site::kCannotOpen.message) {
        // A reader that knew why said so (a file in a disk image or an archive).
        const std::string why = raised->reason[0] != '\0' ? std::string(raised->reason) : OpenFailureReason(path);
        return "Cannot open " + path + (why.empty() ? std::string(".") : ": " + why + ".");
    }
    if (message == dialog_site::kEndsEarly.message) {
        return path + " ends before its voice bank is complete: is it an EX5, EX5R or EX7 voice file?";
    }
    if (message == dialog_site::kIsFolder.message || message == dialog_site::kNotRegular.message) {
        return path + " i" + message.substr(1) + ".";
    }
    return "Cannot read " + path + ": " + message + ".";
}

std::string FolderFailed(const std::string& path, const std::string& problem)
{
    return path + " " + problem + ".";
}

}  // namespace status
