#pragma once

#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/ConfigFolder.h"
#include "tests/support/ScopedEnv.h"

// A machine of one test's own for the file services: its own settings
// folder, home folder, mount table, sysfs and gvfs folders, and no
// SONDERIK_DRIVES, for as long as this lives.
class FileWorld {
public:
    FileWorld()
        : home_(Root() / "home"),
          homeEnv_("HOME", home_.string()),
          drivesEnv_("SONDERIK_DRIVES", std::nullopt),
          mountsEnv_("SONDERIK_MOUNTINFO", (Root() / "no-mounts").string()),
          sysfsEnv_("SONDERIK_SYSFS", (Root() / "sys").string()),
          gvfsEnv_("SONDERIK_GVFS", (Root() / "gvfs").string())
    {
        std::filesystem::create_directories(home_);
        std::filesystem::create_directories(Root() / "gvfs");
        std::filesystem::create_directories(Root() / "sys");
    }

    std::filesystem::path Root() const { return config_.Temp().Path(); }
    std::filesystem::path Home() const { return home_; }
    std::filesystem::path Gvfs() const { return Root() / "gvfs"; }
    std::filesystem::path DrivesFile() const { return config_.Path() / "drives.txt"; }

    // A folder under the test's root, made with its parents.
    std::filesystem::path Folder(const std::string& relative) const
    {
        const std::filesystem::path path = Root() / relative;
        std::filesystem::create_directories(path);
        return path;
    }

    // Installs a new mount table: each a line of Mount(). Every call writes
    // a file of its own, as a new run of the program would see a new table.
    void Mounts(const std::vector<std::string>& lines)
    {
        const std::filesystem::path file = Root() / ("mountinfo-" + std::to_string(++tables_));
        std::ofstream out(file, std::ios::binary);
        for (const std::string& line : lines) {
            out << line << '\n';
        }
        out.close();
        ::setenv("SONDERIK_MOUNTINFO", file.string().c_str(), 1);
    }

    // One line of a mountinfo file (`mountPoint` as written there, escaped).
    static std::string Mount(const std::string& mountPoint, const std::string& type, const std::string& source,
                             const std::string& device = "0:50")
    {
        static int id = 100;
        ++id;
        return std::to_string(id) + " 1 " + device + " / " + mountPoint + " rw,relatime shared:1 - " + type + " " +
               source + " rw";
    }

    // Marks the block device MAJ:MIN as a partition of a removable disk.
    void RemovableDevice(const std::string& device) const
    {
        const std::filesystem::path disk = Root() / "sys" / "devices" / ("disk" + device);
        std::filesystem::create_directories(disk / "part");
        std::ofstream(disk / "removable") << "1\n";
        std::filesystem::create_directories(Root() / "sys" / "dev" / "block");
        std::filesystem::create_directory_symlink(disk / "part", Root() / "sys" / "dev" / "block" / device);
    }

    static std::string User()
    {
        const passwd* entry = ::getpwuid(::getuid());
        return entry == nullptr ? std::string() : std::string(entry->pw_name);
    }

private:
    ConfigFolder config_;
    std::filesystem::path home_;
    ScopedEnv homeEnv_;
    ScopedEnv drivesEnv_;
    ScopedEnv mountsEnv_;
    ScopedEnv sysfsEnv_;
    ScopedEnv gvfsEnv_;
    int tables_ = 0;
};
