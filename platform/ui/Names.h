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

// Names are kept as bytes; only what is drawn is decoded: the whole name as
// UTF-8 when it is valid UTF-8, else each byte as Latin-1. Two names can draw
// alike (UTF-8 "\xC3\xA4" and Latin-1 "\xE4" both draw as an a umlaut), so
// the controls never take a name's bytes back from what they drew.
QString DrawnName(std::string_view bytes);
// The bytes of text that only exists as Qt text (typed by the user, or a path
// from Qt's own file dialog): UTF-8, as Qt encodes file names.
std::string NameBytes(const QString& drawn);

}  // namespace ui
