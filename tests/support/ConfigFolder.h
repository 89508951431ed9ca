#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/ScopedEnv.h"
#include "tests/support/ScopedRegistryKeys.h"
#include "tests/support/TempDir.h"

// A config folder of one test's own: SONDERIK_CONFIG_DIR points into a fresh
// temporary folder for as long as this lives. The folder itself is made by
// whatever first writes there. On Windows, where the settings are the
// system's registry, the program's keys are also absent while it lives (the
// tests that use it take CTest's registry lock).
class ConfigFolder {
public:
    ConfigFolder() : env_("SONDERIK_CONFIG_DIR", (temp_.Path() / "config").string()) {}

    std::filesystem::path Path() const { return temp_.Path() / "config"; }
    std::filesystem::path RootFile(const std::string& root) const { return Path() / (root + ".txt"); }
    const TempDir& Temp() const { return temp_; }

    static std::string Contents(const std::filesystem::path& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void Put(const std::filesystem::path& file, const std::string& bytes)
    {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    }
    // The names in the folder other than the lock, sorted.
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(Path(), ec)) {
            const std::string name = entry.path().filename().string();
            if (name.size() < 5 || name.substr(name.size() - 5) != ".lock") {
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    TempDir temp_;
    ScopedEnv env_;
#ifdef _WIN32
    ScopedRegistryKeys keys_{{HKEY_CURRENT_USER, kProgramKey}, {HKEY_LOCAL_MACHINE, kProgramKey}};
    static constexpr const char* kProgramKey = "Software\\Sonderik";
#endif
};
