#include "browser/VoiceIndex.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "platform/files/Descriptor.h"
#include "platform/files/OutputFile.h"
#include "platform/system/System.h"

namespace browser {

namespace {

namespace files = platform::files;

// A new layout of the records takes a new version: an index of another
// version is read as none and written anew.
constexpr std::string_view kMagic = "Sonderik voice index\n";
constexpr std::uint32_t kVersion = 1;
constexpr const char* kFileName = "voice-index";
// Far more than 100,000 voice files need: anything larger is not ours.
constexpr std::size_t kLargestIndex = std::size_t{1} << 30;

enum Kind : std::uint8_t { kFileRecord = 'F', kFolderRecord = 'D' };

// Little-endian numbers and length-counted strings.
class Writer {
public:
    void Byte(std::uint8_t value) { bytes_.push_back(static_cast<char>(value)); }
    void Number(std::uint64_t value, int size)
    {
        for (int i = 0; i < size; ++i) {
            Byte(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    }
    void Text(std::string_view text)
    {
        Number(text.size(), 4);
        bytes_.append(text);
    }
    void Stamped(const Stamp& stamp)
    {
        Number(stamp.size, 8);
        Number(static_cast<std::uint64_t>(stamp.modified), 8);
        Number(static_cast<std::uint64_t>(stamp.changed), 8);
    }
    void Raw(std::string_view bytes) { bytes_.append(bytes); }
    std::string& Bytes() { return bytes_; }

private:
    std::string bytes_;
};

// Reads what Writer wrote; every read is checked against what is left, and
// once one fails every later one fails too.
class Reader {
public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}

    bool Ok() const { return ok_; }
    bool AtEnd() const { return rest_.empty(); }

    std::string_view Take(std::size_t size)
    {
        if (!ok_ || rest_.size() < size) {
            ok_ = false;
            return {};
        }
        const std::string_view taken = rest_.substr(0, size);
        rest_.remove_prefix(size);
        return taken;
    }
    std::uint64_t Number(int size)
    {
        const std::string_view bytes = Take(static_cast<std::size_t>(size));
        std::uint64_t value = 0;
        for (std::size_t i = bytes.size(); i > 0; --i) {
            value = (value << 8) | static_cast<unsigned char>(bytes[i - 1]);
        }
        return value;
    }
    std::string_view Text() { return Take(static_cast<std::size_t>(Number(4))); }
    Stamp Stamped()
    {
        Stamp stamp;
        stamp.size = Number(8);
        stamp.modified = static_cast<std::int64_t>(Number(8));
        stamp.changed = static_cast<std::int64_t>(Number(8));
        return stamp;
    }
    // A count of items each at least `smallest` bytes long: never more than
    // the bytes left could hold.
    std::size_t Count(std::size_t smallest)
    {
        const std::uint64_t count = Number(4);
        if (count > rest_.size() / smallest) {
            ok_ = false;
            return 0;
        }
        return static_cast<std::size_t>(count);
    }

private:
    std::string_view rest_;
    bool ok_ = true;
};

constexpr std::size_t kSmallestText = 4;
constexpr std::size_t kStampSize = 24;

std::vector<std::string> Names(Reader& in)
{
    std::vector<std::string> names(in.Count(kSmallestText));
    for (std::string& name : names) {
        name = in.Text();
    }
    return names;
}

void WriteNames(Writer& out, const std::vector<std::string>& names)
{
    out.Number(names.size(), 4);
    for (const std::string& name : names) {
        out.Text(name);
    }
}

}  // namespace

std::string IndexedVoices(const BankImage& image)
{
    std::string voices;
    voices.reserve(kIndexedBankBytes);
    for (std::size_t voice = 0; voice < bank::kVoiceCount; ++voice) {
        const auto* common = reinterpret_cast<const char*>(image.data() + bank::kCommonOffset + bank::kCommonSize * voice);
        voices.append(common, bank::kNameSize);
        voices.push_back(common[bank::kCategoryOffset]);
    }
    return voices;
}

void RestoreVoice(std::string_view voices, int voice, BankImage& image)
{
    const auto at = static_cast<std::size_t>(voice);
    std::uint8_t* common = image.data() + bank::kCommonOffset + bank::kCommonSize * at;
    const std::string_view bytes = voices.substr(kIndexedVoiceBytes * at, kIndexedVoiceBytes);
    std::memcpy(common, bytes.data(), bank::kNameSize);
    common[bank::kCategoryOffset] = static_cast<std::uint8_t>(bytes[bank::kNameSize]);
}

std::filesystem::path VoiceIndex::DefaultFile()
{
    const std::filesystem::path folder = platform::CacheFolder();
    return folder.empty() ? folder : folder / kFileName;
}

VoiceIndex::VoiceIndex(std::filesystem::path file) : file_(std::move(file))
{
    if (file_.empty()) {
        return;
    }
    const files::Descriptor in = files::OpenForReading(file_.string());
    if (!in) {
        return;
    }
    // The index of a large collection is tens of megabytes: taken as it
    // lies (it is only ever replaced whole, never shortened in place).
    loaded_ = files::ReadFileBytes(in.Get(), kLargestIndex);
    if (!loaded_.View().empty() && !Load(loaded_.View())) {
        // Whatever it was, the next save replaces it.
        files_.clear();
        folders_.clear();
        loaded_ = files::FileBytes();
        changed_ = true;
    }
}

bool VoiceIndex::Load(std::string_view bytes)
{
    Reader in(bytes);
    if (in.Take(kMagic.size()) != kMagic || in.Number(4) != kVersion || in.Number(4) != bank::kVoiceCount ||
        in.Number(4) != kIndexedVoiceBytes) {
        return false;
    }
    while (in.Ok() && !in.AtEnd()) {
        const auto kind = static_cast<std::uint8_t>(in.Number(1));
        Reader record(in.Text());
        const std::string key(record.Text());
        if (kind == kFileRecord) {
            FileRecord file;
            file.stamp = record.Stamped();
            file.voices = record.Take(kIndexedBankBytes);
            files_[key] = file;
        } else if (kind == kFolderRecord) {
            FolderRecord folder;
            folder.folder.stamp = record.Stamped();
            folder.folder.subfolders = Names(record);
            folder.folder.voiceFiles = Names(record);
            folder.folder.watched.resize(record.Count(kSmallestText + kStampSize));
            for (auto& [name, stamp] : folder.folder.watched) {
                name = record.Text();
                stamp = record.Stamped();
            }
            folders_[key] = std::move(folder);
        } else {
            return false;
        }
        if (!record.Ok() || !record.AtEnd()) {
            return false;
        }
    }
    return in.Ok();
}

std::optional<IndexedFile> VoiceIndex::File(const std::string& key, const Stamp& stamp)
{
    const auto found = files_.find(key);
    if (found == files_.end()) {
        return std::nullopt;
    }
    found->second.seen = true;
    if (!(found->second.stamp == stamp)) {
        return std::nullopt;
    }
    return IndexedFile{found->second.stamp, found->second.voices};
}

const IndexedFolder* VoiceIndex::Folder(const std::string& key, const Stamp& stamp)
{
    const auto found = folders_.find(key);
    if (found == folders_.end()) {
        return nullptr;
    }
    found->second.seen = true;
    return found->second.folder.stamp == stamp ? &found->second.folder : nullptr;
}

void VoiceIndex::PutFile(const std::string& key, const Stamp& stamp, std::string voices)
{
    if (voices.size() != kIndexedBankBytes) {
        return;
    }
    FileRecord& record = files_[key];
    if (record.seen && record.stamp == stamp && record.voices == voices) {
        return;
    }
    learnt_.push_back(std::move(voices));
    record = FileRecord{stamp, learnt_.back(), true};
    changed_ = true;
}

void VoiceIndex::PutFolder(const std::string& key, IndexedFolder folder)
{
    FolderRecord& record = folders_[key];
    const IndexedFolder& old = record.folder;
    if (record.seen && old.stamp == folder.stamp && old.subfolders == folder.subfolders &&
        old.voiceFiles == folder.voiceFiles && old.watched == folder.watched) {
        return;
    }
    record = FolderRecord{std::move(folder), true};
    changed_ = true;
}

void VoiceIndex::Forget(const std::string& key)
{
    if (files_.erase(key) + folders_.erase(key) > 0) {
        changed_ = true;
    }
}

void VoiceIndex::DropUnseenBelow(const std::string& root, char separator)
{
    const std::string below = !root.empty() && root.back() == separator ? root : root + separator;
    const auto under = [&](const std::string& key) {
        return key == root || key.compare(0, below.size(), below) == 0;
    };
    const auto drop = [&](auto& records) {
        for (auto at = records.begin(); at != records.end();) {
            if (!at->second.seen && under(at->first)) {
                at = records.erase(at);
                changed_ = true;
            } else {
                ++at;
            }
        }
    };
    drop(files_);
    drop(folders_);
}

bool VoiceIndex::Save()
{
    if (!changed_ || file_.empty()) {
        return !changed_;
    }
    Writer out;
    out.Raw(kMagic);
    out.Number(kVersion, 4);
    out.Number(bank::kVoiceCount, 4);
    out.Number(kIndexedVoiceBytes, 4);
    out.Bytes().reserve(out.Bytes().size() + files_.size() * (kIndexedBankBytes + 128));
    // In the order of the keys, so that one collection always makes one file.
    std::vector<const std::pair<const std::string, FileRecord>*> fileRecords;
    for (const auto& record : files_) {
        fileRecords.push_back(&record);
    }
    std::sort(fileRecords.begin(), fileRecords.end(), [](auto* a, auto* b) { return a->first < b->first; });
    for (const auto* record : fileRecords) {
        Writer body;
        body.Text(record->first);
        body.Stamped(record->second.stamp);
        body.Raw(record->second.voices);
        out.Byte(kFileRecord);
        out.Text(body.Bytes());
    }
    std::vector<const std::pair<const std::string, FolderRecord>*> folderRecords;
    for (const auto& record : folders_) {
        folderRecords.push_back(&record);
    }
    std::sort(folderRecords.begin(), folderRecords.end(), [](auto* a, auto* b) { return a->first < b->first; });
    for (const auto* record : folderRecords) {
        const IndexedFolder& folder = record->second.folder;
        Writer body;
        body.Text(record->first);
        body.Stamped(folder.stamp);
        WriteNames(body, folder.subfolders);
        WriteNames(body, folder.voiceFiles);
        body.Number(folder.watched.size(), 4);
        for (const auto& [name, stamp] : folder.watched) {
            body.Text(name);
            body.Stamped(stamp);
        }
        out.Byte(kFolderRecord);
        out.Text(body.Bytes());
    }
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    const std::string& bytes = out.Bytes();
    if (!WriteOutputFile(file_.string(), reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()).empty()) {
        return false;
    }
    changed_ = false;
    return true;
}

}  // namespace browser
