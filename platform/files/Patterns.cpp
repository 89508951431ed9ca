#include "platform/files/Patterns.h"

#include "platform/NoCase.h"

namespace platform::files {

bool HasWildcard(std::string_view text)
{
    return text.find_first_of("*?") != std::string_view::npos;
}

namespace {

bool Glob(std::string_view name, std::string_view pattern)
{
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || (pattern[p] != '*' && FoldCase(pattern[p]) == FoldCase(name[n])))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace

bool MatchesPattern(std::string_view name, std::string_view pattern)
{
    if (pattern == "*.*" || pattern == "*") {
        return true;
    }
    if (Glob(name, pattern)) {
        return true;
    }
    // A pattern ending in a dot also takes names without one: "*." the names
    // without an extension.
    return pattern.size() > 1 && pattern.back() == '.' && name.find('.') == std::string_view::npos &&
           Glob(name, pattern.substr(0, pattern.size() - 1));
}

}  // namespace platform::files
