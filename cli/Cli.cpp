#include "cli/Cli.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/Settings.h"
#include "voice/EXException.h"
#include "voice/Patch.h"
#include "voice/VoiceFile.h"
#include "voice/VoiceList.h"

namespace {

constexpr const char* kProgram = "sonderik-cli";
constexpr int kFailed = 1;
constexpr int kUsage = 2;

// One request failed: says which file and why, in one line.
int Fail(std::ostream& err, const std::string& file, const std::string& reason)
{
    err << kProgram << ": " << file << ": " << reason << '\n';
    return kFailed;
}

int FailEX(std::ostream& err, const std::string& file, EXException* raised)
{
    const std::unique_ptr<EXException> e(raised);
    return Fail(err, file, e ? e->message : "Unidentified error");
}

// Reads the file's voice bank, or reports why not.
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
        out << line << '\n';
    }
    return out.flush() ? 0 : Fail(err, file, "Cannot write the list");
}

// Writes all bytes to `path` whole or not at all: a temporary file beside it
// is renamed over it only once every byte is written.
bool WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    const std::string temp = path + ".part";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        file.close();
        if (!file) {
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

int Export(const std::string& file, const std::string& voiceText, const std::string& outPath,
           std::ostream& out, std::ostream& err)
{
    const int voice = ParseVoiceArgument(voiceText);
    if (voice < 0) {
        err << kProgram << ": VOICE must be a bank-number such as I1-005 or I2-128, or a number 0 to 255, not \""
            << voiceText << "\"\n";
        return kUsage;
    }
    auto image = std::make_unique<BankImage>();
    int status = 0;
    if (!ReadBank(file, *image, err, status)) {
        return status;
    }

    // The same road as a double-click: from the voice's list line to its patch.
    const std::string line = VoiceListLine(*image, voice);
    if (IsDrumLine(line)) {
        return Fail(err, file, "Sorry, no drums yet.");
    }
    auto patch = std::make_unique<EX5Patch>("AssemblPatch", 0);
    if (!LoadVoice(*patch, line, *image)) {
        return Fail(err, file, "Problem assembling patch.");
    }
    const std::uint8_t* message = patch->Assemble();
    const std::size_t length = patch->GetMessageLength();

    if (outPath == "-") {
        out.write(reinterpret_cast<const char*>(message), static_cast<std::streamsize>(length));
        return out.flush() ? 0 : Fail(err, outPath, "Cannot write the message");
    }
    if (!WriteWhole(outPath, message, length)) {
        return Fail(err, outPath, "Cannot write the message");
    }
    return 0;
}

// The settings the window would start with, one "name=value" line each. The
// stored port lines are shown as they are: there are no port lists here to
// hold them against.
int PrintSettings(std::ostream& out, std::ostream& err)
{
    for (const auto& [name, value] : SettingsAsText(StartSettings())) {
        std::string shown = value;
        // A folder name may hold a line break; one setting stays one line.
        std::replace_if(
            shown.begin(), shown.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; },
            '?');
        out << name << '=' << shown << '\n';
    }
    return out.flush() ? 0 : Fail(err, "settings", "Cannot write the settings");
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
    if (text.size() == 6 && (text[0] == 'I' || text[0] == 'i') && (text[1] == '1' || text[1] == '2') &&
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
    CLI::App app{"Sonderik: browse, list and send the voices of Yamaha EX5, EX5R and EX7 voice files.",
                 kProgram};
    app.set_version_flag("--version", SONDERIK_VERSION);
    app.require_subcommand(1);

    std::string file;
    bool catOrder = false;
    bool showInits = false;
    CLI::App* list = app.add_subcommand("list", "Print the voices of a voice file, one list line each");
    list->add_option("FILE", file, "Voice file (.s1v, .s1y or .s1a)")->required();
    list->add_flag("--cat-order", catOrder, "Sort by category, then bank-number");
    list->add_flag("--show-inits", showInits, "Also list voices named \"Init Voice\"");

    std::string voice;
    std::string outPath;
    CLI::App* exportCmd = app.add_subcommand("export", "Write the bulk message that sends one voice");
    exportCmd->add_option("FILE", file, "Voice file (.s1v, .s1y or .s1a)")->required();
    exportCmd->add_option("VOICE", voice, "Bank-number (I1-001 to I2-128) or voice number 0 to 255")->required();
    exportCmd->add_option("-o,--output", outPath, "Where to write the message; - for standard output")->required();

    CLI::App* settings =
        app.add_subcommand("settings", "Print the settings the window would start with, one name=value line each");

    // CLI11 wants the arguments last-first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? 0 : kUsage;
    }

    try {
        if (list->parsed()) {
            return List(file, catOrder, showInits, out, err);
        }
        if (settings->parsed()) {
            return PrintSettings(out, err);
        }
        return Export(file, voice, outPath, out, err);
    } catch (EXException* e) {
        return FailEX(err, file, e);
    } catch (const std::exception& e) {
        return Fail(err, file, e.what());
    }
}
