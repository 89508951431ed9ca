#pragma once

#include "voice/EXException.h"

// The error sites of the unit "SonderikDlg", in the order of their lines.
// Reading a voice file and auditioning were handlers of the dialog, which
// raised under its own name; they now live in the voice and instrument
// libraries, and still report as the dialog did, so that a log reads the
// same whichever program wrote it.
namespace dialog_site {

inline constexpr const char* kUnit = "SonderikDlg";

// Reading a voice file (voice/VoiceFile.cpp).
inline constexpr ErrorSite kCannotOpen{kUnit, 1146, "Cannot open input file #1"};
inline constexpr ErrorSite kIsFolder{kUnit, 1146, "Is a folder, not a voice file"};
inline constexpr ErrorSite kNotRegular{kUnit, 1146, "Is not a regular file, not a voice file"};
inline constexpr const char* kGetPositionError = "Cannot get position from file #1";
inline constexpr const char* kSetPositionError = "Cannot set position in file #1";
inline constexpr ErrorSite kS1aGetPosition{kUnit, 1152, kGetPositionError};
inline constexpr ErrorSite kS1aSetPosition{kUnit, 1157, kSetPositionError};
inline constexpr ErrorSite kS1yGetPosition{kUnit, 1164, kGetPositionError};
inline constexpr ErrorSite kS1ySetPosition{kUnit, 1169, kSetPositionError};
inline constexpr ErrorSite kCannotRead{kUnit, 1178, "Cannot read voice file #1"};
inline constexpr ErrorSite kEndsEarly{kUnit, 1178, "Voice file ends before its voice bank is complete"};

// The voice chosen for sending (app/SonderikDlg.cpp).
inline constexpr ErrorSite kAssemble{kUnit, 1306, "Problem assembling patch."};

// Auditioning (instrument/Audition.cpp): the output port, then each note of
// each action on a line of its own, in the order the action sends them.
inline constexpr ErrorSite kOpenOut{kUnit, 1470, "Error 0x%X opening MIDI device for output"};
inline constexpr const char* kNoteOffError = "Error sending note off";
inline constexpr ErrorSite kNoteOff[] = {
    {kUnit, 1491, kNoteOffError}, {kUnit, 1495, kNoteOffError}, {kUnit, 1499, kNoteOffError},
    {kUnit, 1503, kNoteOffError}, {kUnit, 1507, kNoteOffError},
};
inline constexpr const char* kTrillError = "Error sending trill #1";
inline constexpr ErrorSite kTrill[] = {
    {kUnit, 1549, kTrillError}, {kUnit, 1556, kTrillError}, {kUnit, 1562, kTrillError}, {kUnit, 1568, kTrillError},
};
inline constexpr ErrorSite kNote[] = {{kUnit, 1595, "Error sending note"}};
inline constexpr const char* kChordError = "Error sending chord #1";
inline constexpr ErrorSite kMajorChord[] = {
    {kUnit, 1617, kChordError}, {kUnit, 1621, kChordError}, {kUnit, 1625, kChordError},
};
inline constexpr ErrorSite kMinorChord[] = {
    {kUnit, 1648, kChordError}, {kUnit, 1652, kChordError}, {kUnit, 1656, kChordError},
};

}  // namespace dialog_site
