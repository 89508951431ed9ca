#include "cli/MidiCommands.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "app/Settings.h"
#include "cli/Common.h"
#include "instrument/Audition.h"
#include "instrument/Identity.h"
#include "instrument/JobFailure.h"
#include "instrument/JobSites.h"
#include "instrument/Jobs.h"
#include "instrument/LogFolder.h"
#include "midi/MidiInWin.h"
#include "midi/MidiOutWin.h"
#include "platform/threads/Window.h"
#include "platform/midi/WinMidi.h"
#include "simulator/ProgramDrivers.h"
#include "simulator/VirtualEX5Driver.h"
#include "voice/EXParams.h"
#include "voice/Family.h"
#include "voice/Patch.h"
#include "voice/VoiceList.h"

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kNameSize = 260;
constexpr std::uint32_t kDefaultSysexDelay = 25;
constexpr std::uint32_t kDefaultMidiDelay = 500;
constexpr std::uint32_t kDefaultDeviceNumber = 1;

std::string InName(UINT port)
{
    char name[kNameSize] = {};
    try {
        MidiInWin::GetDeviceName(port, name, static_cast<int>(kNameSize));
    } catch (EXException* e) {
        delete e;  // no such port: an empty name says so
    }
    return name;
}

std::string OutName(UINT port)
{
    char name[kNameSize] = {};
    try {
        MidiOutWin::GetDeviceName(port, name, static_cast<int>(kNameSize));
    } catch (EXException* e) {
        delete e;
    }
    return name;
}

// The names of the ports as the lists show them, line by line.
template <typename NameOf>
std::vector<std::string> Names(UINT count, NameOf nameOf)
{
    std::vector<std::string> names;
    for (UINT i = 0; i < count; ++i) {
        names.push_back(nameOf(i));
    }
    return names;
}

// A stored value beyond what the command line accepts is brought into range,
// saying which value is used instead.
std::uint32_t Bounded(std::uint32_t value, std::uint32_t most, const char* what, const char* unit,
                      std::ostream& err)
{
    if (const std::string said = KeepStoredInRange(value, most, what, unit); !said.empty()) {
        err << kProgram << ": " << said << '\n';
    }
    return value;
}

struct Resolved {
    JobSettings settings;
    std::uint32_t timeout = EXParams::kTimeout;
    std::string missing;  // why a stored port cannot be used, when it cannot
    std::string usage;    // why --in or --out picks no port, with the ports
};

// The name line `line` has in `names`, or empty where it has none.
std::string NameOf(const std::vector<std::string>& names, std::int32_t line)
{
    return line >= 0 && static_cast<std::size_t>(line) < names.size() ? names[static_cast<std::size_t>(line)]
                                                                         : std::string();
}

// The port lists as `ports` prints them.
void PrintPorts(const std::vector<std::string>& ins, const std::vector<std::string>& outs, std::ostream& out)
{
    for (std::size_t i = 0; i < ins.size(); ++i) {
        out << "in " << i << ' ' << Printable(ins[i]) << '\n';
    }
    for (std::size_t i = 0; i < outs.size(); ++i) {
        out << "out " << i << ' ' << Printable(outs[i]) << '\n';
    }
}

// An option's port, or the usage error of one that picks none.
void PickOption(const std::optional<std::string>& option, const char* name, const std::vector<std::string>& names,
                std::uint32_t& port, std::string& usage)
{
    if (!option || !usage.empty()) {
        return;
    }
    const PortPick pick = PickPort(*option, names);
    if (!pick.problem.empty()) {
        usage = std::string(kProgram) + ": " + name + " " + Printable(*option) + ": " + pick.problem +
                "; the ports are:\n";
        return;
    }
    port = static_cast<std::uint32_t>(pick.line);
}

// A port the settings name that the list does not have any more.
std::string Missing(const char* direction, const StoredPort& stored, std::int32_t chosen)
{
    if (chosen >= 0 || stored.name.empty()) {
        return std::string();
    }
    return std::string("the ") + direction + " port \"" + stored.name +
           "\" of the settings is not there (see sonderik-cli ports)";
}

// Stored settings first, built-in values where nothing is stored, the
// command line's options over both. A stored port is found by its name, as
// the window finds it (ChoosePort); a port of -1 stays "none", so that a job
// without a port fails visibly.
Resolved Resolve(const JobOptions& options, VirtualEX5Driver* virtualEX5, [[maybe_unused]] std::ostream& err)
{
    const std::vector<std::string> ins = Names(midiInGetNumDevs(), InName);
    const std::vector<std::string> outs = Names(midiOutGetNumDevs(), OutName);
    Resolved r;
    if (const auto stored = StoredSettings()) {
        const StoredPort storedIn{stored->midiIn, stored->midiInName};
        const StoredPort storedOut{stored->midiOut, stored->midiOutName};
        const std::int32_t in = ChoosePort(ins, storedIn);
        const std::int32_t out = ChoosePort(outs, storedOut);
        r.settings.midiInPort = static_cast<std::uint32_t>(in);
        r.settings.midiOutPort = static_cast<std::uint32_t>(out);
        if (!options.in) {
            r.missing = Missing("MIDI In", storedIn, in);
        }
        if (!options.out && r.missing.empty()) {
            r.missing = Missing("MIDI Out", storedOut, out);
        }
        r.settings.deviceNumber = stored->deviceNo;
        r.settings.sysexDelay = stored->sysexDelay;
        r.settings.midiDelay = stored->midiDelay;
    } else {
        const std::int32_t in = virtualEX5 ? ChoosePort(ins, StoredPort{-1, virtualEX5->InputName(0)}) : -1;
        const std::int32_t out = virtualEX5 ? ChoosePort(outs, StoredPort{-1, virtualEX5->OutputName(0)}) : -1;
        r.settings.midiInPort = static_cast<std::uint32_t>(in);
        r.settings.midiOutPort = static_cast<std::uint32_t>(out);
        r.settings.deviceNumber = kDefaultDeviceNumber;
        r.settings.sysexDelay = kDefaultSysexDelay;
        r.settings.midiDelay = kDefaultMidiDelay;
    }
    PickOption(options.in, "--in", ins, r.settings.midiInPort, r.usage);
    PickOption(options.out, "--out", outs, r.settings.midiOutPort, r.usage);
    if (!r.usage.empty()) {
        std::ostringstream listed;
        PrintPorts(ins, outs, listed);
        r.usage += listed.str() + "Run '" + kProgram + " --help' for more information.\n";
    }
    // What the job is to open: these ports as they are named now.
    r.settings.midiInName = NameOf(ins, static_cast<std::int32_t>(r.settings.midiInPort));
    r.settings.midiOutName = NameOf(outs, static_cast<std::int32_t>(r.settings.midiOutPort));
    r.settings.deviceNumber = options.device.value_or(r.settings.deviceNumber);
    r.settings.sysexDelay = options.sysexDelay.value_or(r.settings.sysexDelay);
    r.settings.midiDelay = options.midiDelay.value_or(r.settings.midiDelay);
    r.timeout = options.timeout.value_or(r.timeout);
    return r;
}

// Only what the command uses is checked, and only where no option overrides
// it: the request's device number goes into a SysEx message, where 128 and
// up would be a status byte.
void KeepInRange(Resolved& r, const JobOptions& options, bool usesMidiDelay, bool usesDevice, std::ostream& err)
{
    if (!options.sysexDelay) {
        r.settings.sysexDelay = Bounded(r.settings.sysexDelay, kMaxSysexDelay, "SysEx delay", " ms", err);
    }
    if (usesMidiDelay && !options.midiDelay) {
        r.settings.midiDelay = Bounded(r.settings.midiDelay, kMaxMidiDelay, "MIDI delay", " ms", err);
    }
    if (usesDevice && !options.device) {
        r.settings.deviceNumber = Bounded(r.settings.deviceNumber, kMaxDeviceNumber, "device number", "", err);
    }
}

// Longer than the slowest job these settings allow: two passes of every
// attempt at its delay and time-out, the pause before closing, and the
// bounded waits of closing the ports.
std::chrono::milliseconds JobBound(const EXParams& params)
{
    const auto perAttempt = std::chrono::milliseconds(params.sysexDelay) + std::chrono::milliseconds(params.timeout);
    return 2 * (params.attempts + 1) * perAttempt + std::chrono::milliseconds(params.midiDelay) + 30s;
}

// One status line on a terminal, rewritten in place and wiped at the end, so
// that what stays on the screen is only the command's own output.
class WaitingLine {
public:
    explicit WaitingLine(std::ostream& err) : err_(err) {}
    ~WaitingLine() { Clear(); }
    WaitingLine(const WaitingLine&) = delete;
    WaitingLine& operator=(const WaitingLine&) = delete;

    void Show(const std::string& request)
    {
        err_ << kWipe << kProgram << ": " << Printable(request) << ", waiting for the answer" << std::flush;
        shown_ = true;
    }

    void Clear()
    {
        if (shown_) {
            err_ << kWipe << std::flush;
            shown_ = false;
        }
    }

private:
    static constexpr const char* kWipe = "\r\033[K";
    std::ostream& err_;
    bool shown_ = false;
};

// Runs the job on its worker thread and takes its "Done" on this thread.
// Reports are taken as they come: the report field never makes a job wait.
// With `progress`, the request the job waits on is shown as it goes out.
void RunJob(JobRunner::Job job, EXParams& params, const std::function<void()>& fill, TextField& done,
            TextField& report, std::ostream& err, LatestText* progress = nullptr)
{
    report.Close();
    WaitingLine waiting(err);
    JobRunner runner;
    runner.Start(job, params, fill);
    const auto deadline = std::chrono::steady_clock::now() + JobBound(params);
    std::string request;
    while (done.Text().empty() && std::chrono::steady_clock::now() < deadline) {
        done.Pump(50ms);
        if (progress != nullptr && progress->Take(request)) {
            waiting.Show(request);
        }
    }
    waiting.Clear();
    if (done.Text().empty() || !runner.Wait(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::max(deadline - std::chrono::steady_clock::now(),
                                            std::chrono::steady_clock::duration(1s))))) {
        // Every wait of a job is bounded, so this is a fault of ours; leave
        // rather than hang on a thread that still uses the parameters.
        err << kProgram << ": the job did not finish in time\n" << std::flush;
        std::_Exit(kFailed);
    }
}

std::string WithoutLineEnd(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

// A job that could not open its log names where it tried, why, and how to
// choose another folder. The job hands that failure to its report window (an
// identification then also its closing line, which takes the error line's
// place in errorText).
bool LogFailed(const TextField& report, const std::filesystem::path& folder, std::ostream& err)
{
    if (report.Text().find(worker_site::kCannotOpenLog) == std::string::npos) {
        return false;
    }
    std::string reason = std::string(worker_site::kCannotOpenLog) + " in " + ShownLogFolder(folder);
    if (const std::string problem = LogFolderProblem(folder); !problem.empty()) {
        reason += ": " + problem;
    }
    Fail(err, kLogFileName, reason + "; choose another folder with --log-dir DIR");
    return true;
}

std::string PortAdvice(const char* direction, std::uint32_t port, const std::string& name, const char* option)
{
    const std::string choose = std::string("; choose one with ") + option + " N (see sonderik-cli ports)";
    if (name.empty()) {
        return port == static_cast<std::uint32_t>(-1)
                   ? std::string("no MIDI ") + direction + " port is selected" + choose
                   : std::string("there is no MIDI ") + direction + " port " + std::to_string(port) + choose;
    }
    return std::string("MIDI ") + direction + " port " + std::to_string(port) + " is " + Printable(name) + choose;
}

// What a musician can do about a failed job, after the job's own line.
std::string WithAdvice(const std::string& line, const Resolved& r, bool send)
{
    std::string advice;
    switch (ClassifyJobFailure(line).kind) {
    case JobFailureKind::StillSending:
        advice = send ? "the voice was still being sent when the MIDI delay ran out; raise it with --midi-delay MS"
                      : "a message was still being sent when its wait ran out; raise --sysex-delay MS";
        break;
    // The ports the job was given, whatever the lists hold since.
    case JobFailureKind::OutputPort:
        advice = PortAdvice("output", r.settings.midiOutPort, r.settings.midiOutName, "--out");
        break;
    case JobFailureKind::InputPort:
        advice = PortAdvice("input", r.settings.midiInPort, r.settings.midiInName, "--in");
        break;
    default:
        break;
    }
    return advice.empty() ? line : line + " (" + advice + ")";
}


void ShowReceived(VirtualEX5Driver& virtualEX5, std::ostream& out)
{
    const virtual_ex5::Received received = virtualEX5.Instrument().GetReceived();
    for (const std::string& refused : received.refused) {
        out << "The virtual instrument refused a message: " << refused << '\n';
    }
    for (const virtual_ex5::Voice& voice : received.voices) {
        std::string name(reinterpret_cast<const char*>(voice.common.data()), bank::kNameSize);
        name = name.substr(0, name.find('\0'));
        name.erase(name.find_last_not_of(' ') + 1);
        const EX5Info family;
        out << "The virtual instrument received the voice \"" << Printable(name) << "\" ("
            << family.GetCategoryName(voice.common[bank::kCategoryOffset]) << ") with " << voice.elements.size()
            << (voice.elements.size() == 1 ? " element" : " elements") << '\n';
    }
}

void ShowChannelMessages(VirtualEX5Driver& virtualEX5, std::ostream& out)
{
    for (const auto& message : virtualEX5.Instrument().GetReceived().channelMessages) {
        const char* separator = "";
        for (const std::uint8_t byte : message) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02X", byte);
            out << separator << hex;
            separator = " ";
        }
        out << '\n';
    }
}

int ControlOf(const std::string& action)
{
    if (action == "note") {
        return Audition::kNoteControl;
    }
    if (action == "major") {
        return Audition::kMajorControl;
    }
    if (action == "minor") {
        return Audition::kMinorControl;
    }
    return Audition::kTrillControl;
}

}  // namespace

PortPick PickPort(const std::string& argument, const std::vector<std::string>& names)
{
    PortPick pick;
    if (argument == "-1") {
        return pick;  // none, as a stored -1
    }
    const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    if (!argument.empty() && std::all_of(argument.begin(), argument.end(), digit)) {
        if (argument.size() > std::to_string(kMaxPortIndex).size() || std::stol(argument) > kMaxPortIndex) {
            pick.problem = "a port index is at most " + std::to_string(kMaxPortIndex);
        } else {
            pick.line = static_cast<std::int32_t>(std::stol(argument));
        }
        return pick;
    }
    const auto exact = std::find(names.begin(), names.end(), argument);
    if (exact != names.end()) {
        pick.line = static_cast<std::int32_t>(exact - names.begin());
        return pick;
    }
    std::vector<std::int32_t> containing;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!argument.empty() && names[i].find(argument) != std::string::npos) {
            containing.push_back(static_cast<std::int32_t>(i));
        }
    }
    if (containing.size() == 1) {
        pick.line = containing.front();
    } else {
        pick.problem = containing.empty() ? "no port has this name or a name that contains it"
                                          : std::to_string(containing.size()) + " ports have a name that contains it";
    }
    return pick;
}

MidiSetup SystemMidi()
{
    return [] { return InstallProgramMidiDrivers().get(); };
}

int Ports(const MidiSetup& midi, std::ostream& out, std::ostream& err)
{
    midi();
    const std::vector<std::string> ins = Names(midiInGetNumDevs(), InName);
    PrintPorts(ins, Names(midiOutGetNumDevs(), OutName), out);
    return out.flush() ? 0 : Fail(err, "ports", "Cannot write the port list");
}

int Identify(const MidiSetup& midi, const JobOptions& options, std::ostream& out, std::ostream& err,
             bool showWaiting)
{
    VirtualEX5Driver* virtualEX5 = midi();
    Resolved resolved = Resolve(options, virtualEX5, err);
    if (!resolved.usage.empty()) {
        err << resolved.usage;
        return kUsage;
    }
    if (!resolved.missing.empty()) {
        return Fail(err, "identify", resolved.missing);
    }
    KeepInRange(resolved, options, false, true, err);
    std::string noFolder;
    const std::optional<std::filesystem::path> logFolder = ExpandLogFolder(options.logDir, noFolder);
    if (!logFolder) {
        return Fail(err, "identify", noFolder);
    }
    auto params = std::make_unique<EXParams>();
    TextField done;
    TextField report;
    LatestText progress;
    RunJob(&IdentifyJob, *params, [&] {
        params->PrepareIdentify(done.Handle(), resolved.settings, SONDERIK_VERSION);
        params->reportWindow = report.Handle();
        params->progressWindow = showWaiting ? progress.Handle() : nullptr;
        params->logFolder = logFolder->string();
        params->verbose = options.verbose ? 1 : 0;
        params->timeout = resolved.timeout;
        params->identResult[0] = '\0';
    }, done, report, err, showWaiting ? &progress : nullptr);

    if (LogFailed(report, *logFolder, err)) {
        return kFailed;
    }
    if (params->errorText[0] != '\0') {
        return Fail(err, "identify", WithAdvice(WithoutLineEnd(params->errorText), resolved, false),
                    params->errorReason);
    }
    out << params->identResult << '\n';
    if (IsFamilyModel(params->identResult) && params->answeredPass == 2) {
        err << kProgram << ": it answered only the request to every device, as device number "
            << params->deviceNumber << " (the first requests went to device number " << resolved.settings.deviceNumber
            << "): please check the MIDI Parameters\n";
    }
    return IsFamilyModel(params->identResult) ? 0 : kFailed;
}

int Send(const MidiSetup& midi, const std::string& file, int voice, const JobOptions& options, std::ostream& out,
         std::ostream& err)
{
    auto image = std::make_unique<BankImage>();
    int status = 0;
    if (!ReadBank(file, *image, err, status)) {
        return status;
    }
    std::string line;
    std::unique_ptr<EX5Patch> patch = PatchOfVoice(*image, voice, file, line, err, status);
    if (!patch) {
        return status;
    }

    VirtualEX5Driver* virtualEX5 = midi();
    Resolved resolved = Resolve(options, virtualEX5, err);
    if (!resolved.usage.empty()) {
        err << resolved.usage;
        return kUsage;
    }
    if (!resolved.missing.empty()) {
        return Fail(err, file, resolved.missing);
    }
    KeepInRange(resolved, options, true, false, err);
    std::string noFolder;
    const std::optional<std::filesystem::path> logFolder = ExpandLogFolder(options.logDir, noFolder);
    if (!logFolder) {
        return Fail(err, file, noFolder);
    }
    auto params = std::make_unique<EXParams>();
    TextField done;
    TextField report;
    RunJob(&SendVoiceJob, *params, [&] {
        params->PrepareSendVoice(patch.release(), nullptr, done.Handle(), resolved.settings, SONDERIK_VERSION);
        params->reportWindow = report.Handle();
        params->logFolder = logFolder->string();
        params->verbose = options.verbose ? 1 : 0;
        params->timeout = resolved.timeout;
    }, done, report, err);

    if (LogFailed(report, *logFolder, err)) {
        return kFailed;
    }
    if (params->errorText[0] != '\0') {
        return Fail(err, file, WithAdvice(WithoutLineEnd(params->errorText), resolved, true), params->errorReason);
    }
    const std::string portName = resolved.settings.midiOutName;
    out << "Sent " << ShownVoice(line) << " to " << Printable(portName) << '\n';
    if (virtualEX5 != nullptr && portName == virtualEX5->OutputName(0)) {
        ShowReceived(*virtualEX5, out);
    }
    return out.flush() ? 0 : kFailed;
}

int PlayAudition(const MidiSetup& midi, const std::string& action, std::uint32_t holdMs, const JobOptions& options,
             std::ostream& out, std::ostream& err, std::chrono::milliseconds runPause)
{
    VirtualEX5Driver* virtualEX5 = midi();
    Resolved resolved = Resolve(options, virtualEX5, err);
    if (!resolved.usage.empty()) {
        err << resolved.usage;
        return kUsage;
    }
    KeepInRange(resolved, options, false, false, err);
    // What the window holds after its last job: that job's ports and delay.
    auto params = std::make_unique<EXParams>();
    params->PrepareIdentify(nullptr, resolved.settings, SONDERIK_VERSION);
    Audition audition(*params, runPause);
    const int control = ControlOf(action);

    const auto pressed = std::chrono::steady_clock::now();
    std::string pressWhy;
    const std::string pressFailed = ReportAudition([&] { audition.OnAuditionPress(control, 0); }, &pressWhy);
    // As in the window, the release comes even after a failed press: notes
    // that did start must not be left sounding.
    std::this_thread::sleep_until(pressed + std::chrono::milliseconds(holdMs));
    std::string releaseWhy;
    const std::string releaseFailed = ReportAudition([&] { audition.StopAudition(control, 0); }, &releaseWhy);

    const std::string portName = resolved.settings.midiOutName;
    if (virtualEX5 != nullptr && !portName.empty() && portName == virtualEX5->OutputName(0)) {
        ShowChannelMessages(*virtualEX5, out);
    }
    if (!pressFailed.empty()) {
        Fail(err, "audition " + action, pressFailed, pressWhy);
    }
    if (!releaseFailed.empty() && releaseFailed != pressFailed) {
        Fail(err, "audition " + action, releaseFailed, releaseWhy);
    }
    if (!out.flush()) {
        return kFailed;
    }
    return pressFailed.empty() && releaseFailed.empty() ? 0 : kFailed;
}
