#pragma once

#include <string>
#include <string_view>

#include <QString>

namespace ui {

// "Ignoring letter case" as the controls mean it: A to Z fold to a to z, then
// the bytes compare as unsigned. Bytes above 127 are left as they are, so a
// name in any encoding keeps one place.
int CompareNoCase(std::string_view a, std::string_view b);
inline bool LessNoCase(std::string_view a, std::string_view b) { return CompareNoCase(a, b) < 0; }
bool EqualNoCase(std::string_view a, std::string_view b);

// Names are kept as bytes; only what is drawn is decoded, the way file
// names are (UTF-8 where valid, each other byte as itself).
QString DrawnName(std::string_view bytes);
std::string NameBytes(const QString& drawn);

}  // namespace ui
