#include "browser/BrowserNames.h"

#include <algorithm>

namespace browser {

namespace {

unsigned char Fold(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

}  // namespace

int CompareIgnoringCase(std::string_view a, std::string_view b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char x = Fold(a[i]);
        const unsigned char y = Fold(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

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
        c = static_cast<char>(Fold(c));
    }
    if (shown[0] >= 'a' && shown[0] <= 'z') {
        shown[0] = static_cast<char>(shown[0] - ('a' - 'A'));
    }
    return shown;
}

}  // namespace browser
