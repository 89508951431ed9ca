#pragma once

#include <string>
#include <string_view>

namespace ui {

// "Ignoring letter case" as the controls mean it: A to Z fold to a to z, then
// the bytes compare as unsigned. Bytes above 127 are left as they are, so a
// name in any encoding keeps one place.
int CompareNoCase(std::string_view a, std::string_view b);
inline bool LessNoCase(std::string_view a, std::string_view b) { return CompareNoCase(a, b) < 0; }
bool EqualNoCase(std::string_view a, std::string_view b);

// An order of names, as the sorted lists and the tree take it.
using NameOrder = bool (*)(std::string_view, std::string_view);

}  // namespace ui
