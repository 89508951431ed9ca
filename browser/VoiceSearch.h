#pragma once

// A search over every voice of a collection: a folder, its subfolders and
// the disk images and archives in them, read through the voice index. It
// keeps no state between calls and touches nothing shared, so a job thread
// may run it; the caller's cancel flag stops it between two files.

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace browser {

struct SearchRequest {
    // A Windows path (C:\Voices\) or one of this system; a folder, a disk
    // image or an archive, or a folder inside one.
    std::string folder;
    // Found in a voice's name ignoring ASCII case; empty finds every name.
    std::string text;
    // A category code as the list shows it ("Pd", "xx"; any case), or empty
    // for every category.
    std::string category;
    // Voices named "Init Voice" are left out, as the list leaves them out.
    bool showInits = false;
    // Where the index is kept; empty: VoiceIndex::DefaultFile().
    std::filesystem::path indexFile;
    bool useIndex = true;
    // Set by another thread to stop the search before its next file.
    const std::atomic<bool>* cancel = nullptr;
};

struct VoiceHit {
    // The voice file's path, as the browser names it: under a Windows path
    // given, that path; under a path of this system, its Windows path where
    // a drive letter holds it, else the path itself. ReadVoiceBankFile reads it.
    std::string file;
    int voice = 0;
    // The voice's list line, "code\tI1-013\tname", as VoiceListLine makes it.
    std::string line;

    std::string_view Category() const;
    std::string_view BankNumber() const;
    std::string_view Name() const;
};

// A file or folder the search met and could not read, and why.
struct SearchProblem {
    std::string path;
    std::string reason;
};

// What the search had to do, and what the index spared it.
struct SearchStats {
    std::size_t foldersListed = 0;
    std::size_t foldersFromIndex = 0;
    std::size_t filesRead = 0;
    std::size_t filesFromIndex = 0;
    bool indexWritten = false;
};

struct SearchResult {
    // Non-empty: the folder itself could not be searched, and why
    // ("Cannot find the folder").
    std::string problem;
    // By file path, byte by byte, then by voice number.
    std::vector<VoiceHit> hits;
    std::vector<SearchProblem> problems;
    SearchStats stats;
    bool cancelled = false;
};

// Deeper folders than this are not walked (they are named in the problems).
inline constexpr int kDeepestFolder = 32;

SearchResult SearchVoices(const SearchRequest& request);

// The category codes a voice list line may start with, "xx" among them.
std::vector<std::string> CategoryCodes();

}  // namespace browser
