#pragma once

// What a search over a collection learnt, kept for the next search: each
// voice file's voices and each folder's listing, keyed by the path of this
// system that names it and the size and times it had. It only saves time:
// a missing, broken or foreign index file reads as an empty index, and an
// index that cannot be written is simply not kept.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/files/Descriptor.h"
#include "voice/VoiceFile.h"

namespace browser {

// What tells that a file or folder changed: its size and the last change of
// its contents (modified) and of its status (changed, where the system keeps
// one), in nanoseconds. A file inside a disk image or an archive has the
// container's.
struct Stamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;
    bool operator==(const Stamp&) const = default;
};

// What the list line of each voice is made from: its 12 name bytes and its
// category byte, voice after voice.
inline constexpr std::size_t kIndexedVoiceBytes = bank::kNameSize + 1;
inline constexpr std::size_t kIndexedBankBytes = kIndexedVoiceBytes * bank::kVoiceCount;

// The bytes of the image that the index keeps.
std::string IndexedVoices(const BankImage& image);
// Puts them back into `image` for voice `voice`, where VoiceListLine reads them.
void RestoreVoice(std::string_view voices, int voice, BankImage& image);

struct IndexedFile {
    Stamp stamp;
    std::string_view voices;  // kIndexedBankBytes
};

// A folder's listing: its subfolders (disk images and archives among them),
// its voice files, and the files whose change could change the listing
// although the folder's own stamp stays (a container rewritten in place).
// For a container, `voiceFiles` are the paths of all its voice files below
// the folder, '/' between names, and nothing else is kept.
struct IndexedFolder {
    Stamp stamp;
    std::vector<std::string> subfolders;
    std::vector<std::string> voiceFiles;
    std::vector<std::pair<std::string, Stamp>> watched;
};

class VoiceIndex {
public:
    // Where the program keeps its index: a file in platform::CacheFolder();
    // empty when there is no cache folder.
    static std::filesystem::path DefaultFile();

    // Reads the index at `file`; an empty path keeps none.
    explicit VoiceIndex(std::filesystem::path file);

    // The record for `key` when it was made with the same stamp; marks it
    // seen either way.
    std::optional<IndexedFile> File(const std::string& key, const Stamp& stamp);
    const IndexedFolder* Folder(const std::string& key, const Stamp& stamp);

    // Keeps what was just learnt, in place of any record for the key.
    void PutFile(const std::string& key, const Stamp& stamp, std::string voices);
    void PutFolder(const std::string& key, IndexedFolder folder);
    // No record for the key any more (a file that could not be read).
    void Forget(const std::string& key);

    // Drops the records of `root` and of everything below it (`separator`
    // between names) that were not asked for since the index was read.
    void DropUnseenBelow(const std::string& root, char separator);

    std::size_t FileCount() const { return files_.size(); }
    bool Changed() const { return changed_; }

    // Writes the index when it changed, whole or not at all. False when it
    // changed and could not be written (which harms nothing).
    bool Save();

private:
    struct FileRecord {
        Stamp stamp;
        std::string_view voices;
        bool seen = false;
    };
    struct FolderRecord {
        IndexedFolder folder;
        bool seen = false;
    };

    bool Load(std::string_view bytes);

    std::filesystem::path file_;
    // The bytes read and those learnt since: the records' voices point into them.
    platform::files::FileBytes loaded_;
    std::deque<std::string> learnt_;
    std::unordered_map<std::string, FileRecord> files_;
    std::unordered_map<std::string, FolderRecord> folders_;
    bool changed_ = false;
};

}  // namespace browser
