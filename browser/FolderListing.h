#pragma once

#include <string>
#include <string_view>
#include <vector>

// Which entries of a folder the browser shows, found with the platform's
// file search exactly as the tree and the file list search.
namespace browser {

// The three patterns the file list searches, in the order it searches them.
inline constexpr std::string_view kVoiceFilePatterns[] = {"*.s1v", "*.s1a", "*.s1y"};

// The names of the folders in `folderPath` (a folder path ending in '\'), as
// the file search gives them, without "." and ".."; in the folder's order.
// Empty when the folder cannot be searched.
std::vector<std::string> FindSubfolders(std::string_view folderPath);

// The names the file list takes from `folderPath` (a folder path ending in
// '\', or empty): every entry matching one of the three patterns, folders
// included, without "." and ".."; in the order they were found.
std::vector<std::string> FindVoiceFiles(std::string_view folderPath);

// The same, as the tree and the file list show them: the subfolders'
// display names and the file names, each in the order of ShownBefore.
std::vector<std::string> ShownSubfolders(std::string_view folderPath);
std::vector<std::string> ShownVoiceFiles(std::string_view folderPath);

// Why the folder at `folderPath` cannot be listed ("cannot be read:
// permission denied", "is not there"), or empty when it can (empty or not).
std::string ListingProblem(std::string_view folderPath);

}  // namespace browser
