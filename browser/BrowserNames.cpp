#include "browser/BrowserNames.h"

#include <algorithm>

#include "platform/NoCase.h"

namespace browser {

int CompareIgnoringCase(std::string_view a, std::string_view b) { return platform::CompareNoCase(a, b); }

bool ShownBefore(std::string_view a, std::string_view b)
{
    const int folded = CompareIgnoringCase(a, b);
    if (folded != 0) {
        return folded < 0;
    }
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

std::string GetDisplayName(std::string_view name)
{
    const bool hasLower = std::any_of(name.begin(), name.end(), [](char c) { return c >= 'a' && c <= 'z'; });
    std::string shown(name);
    if (hasLower || shown.empty()) {
        return shown;
    }
    for (char& c : shown) {
        c = static_cast<char>(platform::FoldCase(c));
    }
    if (shown[0] >= 'a' && shown[0] <= 'z') {
        shown[0] = static_cast<char>(shown[0] - ('a' - 'A'));
    }
    return shown;
}

}  // namespace browser
