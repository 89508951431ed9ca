#pragma once

#ifdef _WIN32
#include <filesystem>
#include <string>
#include <vector>

// The system keeps the registry itself: no file of it is ever set aside, so
// a watch never has anything to name.
class SetAsideWatch {
public:
    struct SetAside {
        std::filesystem::path file;
        std::string asideName;
    };
    std::vector<SetAside> Since() const { return {}; }
};
#else

// The files behind the registry: one per predefined root, named after it
// ("HKEY_LOCAL_MACHINE.txt", in the text form of RegistryHive.h), in the
// folder RegistryFolder() names. A file that does not parse is set aside as
// "<file>.corrupt-<time>" and reads as a root without keys. Writers take
// "<root>.lock" and replace the file by renaming a finished, flushed
// "<file>.tmp" over it.

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/Registry.h"
#include "platform/registry/RegistryHive.h"

// The settings folder (platform/system/System.h).
std::filesystem::path RegistryFolder();

// The file that keeps a predefined root, for messages; empty for a root that
// is not kept.
std::filesystem::path RegistryRootFile(HKEY root);

// One root's file. Nothing is cached: every call sees what the last writer
// of any process left.
class HiveFile {
public:
    static constexpr std::chrono::milliseconds kDefaultLockWait{10000};

    HiveFile(std::filesystem::path folder, std::string rootName,
             std::chrono::milliseconds lockWait = kDefaultLockWait);

    // The hive as it is now: empty when there is no file yet, or when the
    // file was corrupt (it is then set aside when the folder allows).
    // ERROR_CANTREAD when the file is there but cannot be read.
    LSTATUS Read(RegistryHive& hive) const;

    // Under the writers' lock: reads the hive, lets `change` work on it and,
    // when `change` succeeds and says it changed something, writes it. The
    // result is `change`'s, or why the hive could not be read or written.
    // `what` names the change for the stop points (see below).
    using Change = std::function<LSTATUS(RegistryHive& hive, bool& changed)>;
    LSTATUS Update(const Change& change, std::string_view what) const;

    // Makes the last replacement of the file outlast a power cut.
    LSTATUS Flush() const;

    // Whether a change could be written: the folder is there, or can be
    // made, and can be written.
    bool Writable() const;

    std::filesystem::path File() const;

private:
    std::filesystem::path Sibling(std::string_view suffix) const;
    LSTATUS ReadUnlocked(RegistryHive& hive, bool& corrupt) const;
    LSTATUS SetAside() const;
    LSTATUS WriteWhole(const std::string& text, std::string_view what) const;

    std::filesystem::path folder_;
    std::string rootName_;
    std::chrono::milliseconds lockWait_;
};

// Names the root files that readers set aside as corrupt after the watch
// was made, so that whoever read the settings can tell the user once: the
// set-aside file is gone from the next reader's way. Names too, each time,
// a corrupt root file that could not be set aside.
class SetAsideWatch {
public:
    explicit SetAsideWatch(std::filesystem::path folder = RegistryFolder());

    struct SetAside {
        std::filesystem::path file;  // the root's file as it was named
        std::string asideName;       // its name now, in the same folder; empty: still in its place
    };
    std::vector<SetAside> Since() const;

private:
    std::filesystem::path folder_;
    std::set<std::string> before_;
};

// Where a write of a root's file has got to: half of the temporary file
// written, all of it flushed to disk, or renamed over the root's file.
enum class WriteStage { HalfWritten, Synced, Renamed };

// Told of each stage of every write this process makes, with the name of the
// change (HiveFile::Update's `what`: the names of the values it writes,
// joined by ',', or empty for a new key): the way a test stops a writer at a
// chosen point to kill it there. The programs set none; null removes it.
using WriteStageWatcher = void (*)(WriteStage stage, std::string_view what);
void WatchRegistryWrites(WriteStageWatcher watcher);
#endif  // _WIN32
