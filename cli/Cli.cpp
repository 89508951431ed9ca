#include "cli/Cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <memory>

#include "app/Settings.h"
#include "app/SettingsPlace.h"
#include "cli/Common.h"
#include "cli/FileCommands.h"
#include "cli/MidiCommands.h"
#include "containers/ContainerPaths.h"
#include "platform/files/OutputFile.h"
#include "platform/registry/RegistryFile.h"
#include "voice/EXException.h"
#include "voice/Patch.h"
#include "voice/VoiceFile.h"
#include "voice/VoiceList.h"

namespace {

constexpr const char* kVoiceHelp =
    "Bank-number as listed (I1-001 to I2-128; I1-5 is I1-005) or voice number "
    "0 to 255 (0 is I1-001, 128 is I2-001)";

constexpr const char* kHelpFooterStart =
    R"(VOICE is a bank-number as list prints it (I1-001 to I2-128, in any case; the
leading zeros may be left out: I1-5) or a bare voice number 0 to 255 counted
from the first voice of the file: 0 is I1-001, 127 is I1-128, 128 is I2-001.

Exit status: 0 done; 1 refused or failed (one line on standard error says
what and why); 2 a usage error.

Settings: identify, send and audition take the MIDI ports, device number and
delays that the window stored, in )";

constexpr const char* kHelpFooterEnd = R"(;
options override them. `sonderik-cli settings` shows them.

The built-in virtual instrument is listed among the ports; set
SONDERIK_VIRTUAL_EX5 to shape it, e.g. SONDERIK_VIRTUAL_EX5=model=EX7,device=5
(keys: model, device, silent, reply, wire).)";

bool IsCommand(const CLI::App& app, const std::string& word)
{
    const auto commands = app.get_subcommands([](const CLI::App*) { return true; });
    return std::any_of(commands.begin(), commands.end(), [&](const CLI::App* c) { return c->check_name(word); });
}

int List(const std::string& file, bool catOrder, bool showInits, std::ostream& out, std::ostream& err)
{
    auto image = std::make_unique<BankImage>();
    int status = 0;
    if (!ReadBank(file, *image, err, status)) {
        return status;
    }
    MemoryVoiceList list(catOrder);
    FillVoiceList(list, *image, showInits);
    for (const std::string& line : list.Lines()) {
        out << PrintableListLine(line) << '\n';
    }
    return out.flush() ? 0 : Fail(err, file, "Cannot write the list");
}

int Export(const std::string& file, int voice, const std::string& outPath, bool force, const Terminals& terminals,
           std::ostream& out, std::ostream& err)
{
    if (outPath == "-" && terminals.out && !force) {
        return Fail(err, "-",
                    "Cannot write the message: standard output is a terminal; "
                    "redirect it (> FILE), "
                    "give -o FILE, or add --force");
    }
    // Nor the disk image or archive that holds it.
    if (outPath != "-" && SameFile(outPath, containers::HoldingFile(file))) {
        return Fail(err, outPath, "Cannot write the message: it is the voice file being read");
    }
    auto image = std::make_unique<BankImage>();
    int status = 0;
    if (!ReadBank(file, *image, err, status)) {
        return status;
    }

    // The same road as a double-click: from the voice's list line to its patch.
    std::string line;
    const std::unique_ptr<EX5Patch> patch = PatchOfVoice(*image, voice, file, line, err, status);
    if (!patch) {
        return status;
    }
    const std::uint8_t* message = patch->Assemble();
    const std::size_t length = patch->GetMessageLength();

    if (outPath == "-") {
        out.write(reinterpret_cast<const char*>(message), static_cast<std::streamsize>(length));
        return out.flush() ? 0 : Fail(err, outPath, "Cannot write the message");
    }
    const std::string failure = WriteOutputFile(outPath, message, length);
    return failure.empty() ? 0 : Fail(err, outPath, "Cannot write the message: " + failure);
}

// The settings the window would start with, one "name=value" line each. The
// stored port lines are shown as they are: there are no port lists here to
// hold them against.
int PrintSettings(std::ostream& out, std::ostream& err)
{
    for (const auto& [name, value] : SettingsAsText(StartSettings())) {
        // A folder name may hold a line break; one setting stays one line.
        out << name << '=' << Printable(value) << '\n';
    }
    return out.flush() ? 0 : Fail(err, "settings", "Cannot write the settings");
}

// Names, on the error stream, each settings file the command set aside.
void ReportSetAside(const SetAsideWatch& watch, std::ostream& err)
{
    for (const SetAsideWatch::SetAside& aside : watch.Since()) {
        err << kProgram << ": the settings file " << Printable(aside.file.string()) << " could not be read and "
            << (aside.asideName.empty() ? std::string("could not be set aside (is its folder writable?)")
                                        : "was set aside as " + Printable(aside.asideName))
            << "; built-in values were used in its place\n";
    }
}

}  // namespace

int ParseVoiceArgument(const std::string& text)
{
    const auto digits = [](const std::string& s) {
        return !s.empty() && s.size() <= 3 &&
               std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
    };
    if (digits(text)) {
        const int n = std::stoi(text);
        return n <= 255 ? n : -1;
    }
    if (text.size() >= 4 && (text[0] == 'I' || text[0] == 'i') && (text[1] == '1' || text[1] == '2') &&
        text[2] == '-' && digits(text.substr(3))) {
        const int n = std::stoi(text.substr(3));
        if (n < 1 || n > 128) {
            return -1;
        }
        return n - 1 + (text[1] == '2' ? 128 : 0);
    }
    return -1;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    return RunCli(args, out, err, SystemMidi());
}

namespace {

// What the commands' options and arguments are parsed into.
struct Arguments {
    std::string file;
    bool catOrder = false;
    bool showInits = false;
    std::string voiceText;
    std::string outPath;
    bool force = false;
    std::string folderPath;
    std::string searchText;
    std::string category;
    JobOptions options;
    std::string auditionAction;
    std::uint32_t holdMs = 500;
};

// Where a command's output goes and what it talks to.
struct Context {
    std::ostream& out;
    std::ostream& err;
    const MidiSetup& midi;
    const Terminals& terminals;
};

void AddFile(CLI::App& cmd, Arguments& a)
{
    cmd.add_option("FILE", a.file, "Voice file (.s1v, .s1y or .s1a)")->required();
}
void AddVoice(CLI::App& cmd, Arguments& a) { cmd.add_option("VOICE", a.voiceText, kVoiceHelp)->required(); }

void AddPorts(CLI::App& cmd, Arguments& a)
{
    cmd.add_option("--in", a.options.in, "MIDI input port: its index, or (part of) its name (see ports)")
        ->type_name("PORT");
    cmd.add_option("--out", a.options.out, "MIDI output port: its index, or (part of) its name (see ports)")
        ->type_name("PORT");
}

void AddJobOptions(CLI::App& cmd, Arguments& a)
{
    AddPorts(cmd, a);
    cmd.add_option("--sysex-delay", a.options.sysexDelay, "Milliseconds before each SysEx exchange")
        ->check(CLI::Range(0u, kMaxSysexDelay));
    cmd.add_flag("--verbose", a.options.verbose, "Write every message's bytes to the log");
    cmd.add_option("--log-dir", a.options.logDir,
                   "Folder for Sonderik.log (default: the current folder; ~/ is "
                   "your home; made if missing)");
}

enum class Voice { None, Taken };

// One command: its name and help, its options, whether it takes a VOICE,
// and what it runs. The table drives the parser, the help and the word for
// an unknown command alike.
struct Command {
    const char* name;
    const char* help;
    void (*define)(CLI::App& cmd, Arguments& a);
    Voice voice;
    int (*run)(const Arguments& a, int voice, const Context& c);
};

const Command kCommands[] = {
    {"list", "Print the voices of a voice file, one list line each",
     [](CLI::App& cmd, Arguments& a) {
         AddFile(cmd, a);
         cmd.add_flag("--cat-order", a.catOrder, "Sort by category, then bank-number");
         cmd.add_flag("--show-inits", a.showInits, "Also list voices named \"Init Voice\"");
     },
     Voice::None,
     [](const Arguments& a, int, const Context& c) { return List(a.file, a.catOrder, a.showInits, c.out, c.err); }},
    {"export", "Write the bulk message that sends one voice",
     [](CLI::App& cmd, Arguments& a) {
         AddFile(cmd, a);
         AddVoice(cmd, a);
         cmd.add_option("-o,--output", a.outPath, "Where to write the message; - for standard output")->required();
         cmd.add_flag("--force", a.force, "Write to standard output even when it is a terminal");
     },
     Voice::Taken,
     [](const Arguments& a, int voice, const Context& c) {
         return Export(a.file, voice, a.outPath, a.force, c.terminals, c.out, c.err);
     }},
    {"settings", "Print the settings the window would start with, one name=value line each",
     [](CLI::App&, Arguments&) {}, Voice::None,
     [](const Arguments&, int, const Context& c) { return PrintSettings(c.out, c.err); }},
    {"drives", "List the drive letters and the mounted network shares", [](CLI::App&, Arguments&) {}, Voice::None,
     [](const Arguments&, int, const Context& c) { return PrintDrives(c.out, c.err); }},
    {"folder", "Show a folder as the browser shows it: subfolders, then voice files",
     [](CLI::App& cmd, Arguments& a) {
         cmd.add_option("PATH", a.folderPath, "Folder, such as C:\\Music\\ or \\\\SERVER\\share\\")->required();
     },
     Voice::None, [](const Arguments& a, int, const Context& c) { return PrintFolder(a.folderPath, c.out, c.err); }},
    {"search", "Find voices by name in every voice file of a folder, its subfolders, disk images and archives",
     [](CLI::App& cmd, Arguments& a) {
         cmd.add_option("TEXT", a.searchText, "Part of the name, in any case (\"\" finds every voice)")->required();
         cmd.add_option("FOLDER", a.folderPath,
                        "Folder, disk image or archive, such as C:\\Voices\\ (default: the window's folder)");
         cmd.add_option("--category", a.category, "Only voices of this category code, such as Pd or xx")
             ->type_name("CODE");
         cmd.add_flag("--show-inits", a.showInits, "Also find voices named \"Init Voice\"");
     },
     Voice::None,
     [](const Arguments& a, int, const Context& c) {
         std::string folder = a.folderPath;
         if (folder.empty()) {
             folder = StartSettings().path;
             if (folder.empty()) {
                 return Fail(c.err, "search", "No FOLDER given, and the window has no folder stored to search");
             }
         }
         return SearchFolder(a.searchText, folder, a.category, a.showInits, c.out, c.err);
     }},
    {"ports", "List the MIDI input and output ports with their index", [](CLI::App&, Arguments&) {}, Voice::None,
     [](const Arguments&, int, const Context& c) { return Ports(c.midi, c.out, c.err); }},
    {"identify", "Identify the instrument with an Identity Request",
     [](CLI::App& cmd, Arguments& a) {
         AddJobOptions(cmd, a);
         cmd.add_option("--device", a.options.device, "Device number the request is addressed to (127: all)")
             ->check(CLI::Range(0u, kMaxDeviceNumber));
         cmd.add_option("--timeout", a.options.timeout, "Milliseconds to wait for each reply")
             ->check(CLI::Range(1u, kMaxTimeout));
     },
     Voice::None,
     [](const Arguments& a, int, const Context& c) {
         return Identify(c.midi, a.options, c.out, c.err, c.terminals.err);
     }},
    {"send", "Send one voice to the instrument",
     [](CLI::App& cmd, Arguments& a) {
         AddFile(cmd, a);
         AddVoice(cmd, a);
         AddJobOptions(cmd, a);
         cmd.add_option("--midi-delay", a.options.midiDelay, "Milliseconds to wait before closing the ports")
             ->check(CLI::Range(0u, kMaxMidiDelay));
     },
     Voice::Taken,
     [](const Arguments& a, int voice, const Context& c) {
         return Send(c.midi, a.file, voice, a.options, c.out, c.err);
     }},
    {"audition",
     "Play what pressing an audition button and releasing it plays: a note, a "
     "chord or the run",
     [](CLI::App& cmd, Arguments& a) {
         cmd.add_option("ACTION", a.auditionAction, "note, major, minor or trill")
             ->required()
             ->check(CLI::IsMember({"note", "major", "minor", "trill"}));
         cmd.add_option("--hold", a.holdMs, "Milliseconds from the press to the release")
             ->check(CLI::Range(0u, kMaxHold));
         AddPorts(cmd, a);
         cmd.add_option("--sysex-delay", a.options.sysexDelay, "Milliseconds before each note")
             ->check(CLI::Range(0u, kMaxSysexDelay));
     },
     Voice::None,
     [](const Arguments& a, int, const Context& c) {
         return PlayAudition(c.midi, a.auditionAction, a.holdMs, a.options, c.out, c.err);
     }},
};

// "list, export, ... and audition".
std::string CommandNames()
{
    std::string names;
    const std::size_t count = std::size(kCommands);
    for (std::size_t i = 0; i < count; ++i) {
        names += (i == 0 ? "" : (i + 1 == count ? " and " : ", "));
        names += kCommands[i].name;
    }
    return names;
}

std::string FailureMessage(const CLI::App* failed, const CLI::Error& e)
{
    std::string message = e.what();
    if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr) {
        // CLI11's own text lists them last-first; a user reads them as typed.
        const std::vector<std::string> extras = failed->remaining(true);
        message = extras.size() == 1 ? "The following argument was not expected:"
                                     : "The following arguments were not expected:";
        for (const std::string& extra : extras) {
            message += ' ' + extra;
        }
    }
    return std::string(kProgram) + ": " + Printable(message) + "\nRun '" + kProgram +
           " --help' for more information.\n";
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const MidiSetup& midi,
           const Terminals& terminals)
{
    CLI::App app{
        "Sonderik: browse, list and send the voices of Yamaha EX5, EX5R "
        "and EX7 voice files.",
        kProgram};
    app.set_version_flag("--version", SONDERIK_VERSION);
    // The same options on every system: a path such as /bank.s1v (the root of
    // the current drive on Windows) is an argument, never a "/x" option.
    app.allow_windows_style_options(false);
    app.require_subcommand(1);
    app.footer(kHelpFooterStart + SettingsPlaceHelp() + kHelpFooterEnd);
    app.failure_message(&FailureMessage);
    Arguments a;
    std::vector<std::pair<const Command*, CLI::App*>> commands;
    for (const Command& command : kCommands) {
        CLI::App* cmd = app.add_subcommand(command.name, command.help);
        command.define(*cmd, a);
        commands.emplace_back(&command, cmd);
    }

    // A first word that names no command would otherwise be reported as a
    // missing command.
    if (!args.empty() && !args[0].empty() && args[0][0] != '-' && !IsCommand(app, args[0])) {
        err << kProgram << ": unknown command \"" << Printable(args[0]) << "\"; the commands are " << CommandNames()
            << "\nRun '" << kProgram << " --help' for more information.\n";
        return kUsage;
    }

    // CLI11 wants the arguments last-first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? 0 : kUsage;
    }
    const auto parsed =
        std::find_if(commands.begin(), commands.end(), [](const auto& c) { return c.second->parsed(); });
    if (parsed == commands.end()) {
        return kUsage;  // require_subcommand keeps this from happening
    }
    const Command& command = *parsed->first;

    const int voice = ParseVoiceArgument(a.voiceText);
    if (command.voice == Voice::Taken && voice < 0) {
        err << kProgram
            << ": VOICE must be a bank-number such as I1-005, I1-5 or I2-128, or a "
               "voice number 0 to 255, "
            << "not \"" << Printable(a.voiceText) << "\"\nRun '" << kProgram << " --help' for more information.\n";
        return kUsage;
    }

    const Context context{out, err, midi, terminals};
    const auto run = [&]() -> int {
        try {
            return command.run(a, voice, context);
        } catch (EXException* e) {
            return FailEX(err, a.file.empty() ? std::string(kProgram) : a.file, e);
        } catch (const std::exception& e) {
            return Fail(err, a.file.empty() ? std::string(kProgram) : a.file, e.what());
        }
    };
    // A settings file is set aside by whichever command reads it first.
    const SetAsideWatch setAside;
    const int status = run();
    ReportSetAside(setAside, err);
    return status;
}
