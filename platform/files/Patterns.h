#pragma once

// Windows' matching of names against the patterns of its file search, for
// every search the program makes where the system's cannot look (inside a
// disk image or an archive) and, off Windows, for the search itself.

#include <string_view>

namespace platform::files {

// One name against a pattern of '*' and '?', ignoring letter case; "*.*"
// matches every name.
bool MatchesPattern(std::string_view name, std::string_view pattern);
bool HasWildcard(std::string_view text);

}  // namespace platform::files
