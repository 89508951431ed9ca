#pragma once

#include "voice/DialogSites.h"
#include "voice/EXException.h"

// The error sites of the jobs ("EXWorker", instrument/Jobs.cpp) and of their
// conversation with the instrument ("Midi", instrument/Midi.cpp). Those who
// read a job's error line back (JobFailure, the command line) compare its
// message with these.

namespace worker_site {

inline constexpr const char* kUnit = "EXWorker";
inline constexpr const char* kCannotOpenLog = "Cannot open log file";
// Each job's body is one site: its log that cannot be opened, and whatever
// else the body throws, with that exception's own text.
inline constexpr ErrorSite kSendVoice{kUnit, 60, kCannotOpenLog};
inline constexpr ErrorSite kIdentify{kUnit, 146, kCannotOpenLog};

}  // namespace worker_site

namespace midi_site {

inline constexpr const char* kUnit = "Midi";
inline constexpr ErrorSite kUntranslatableReply{kUnit, 116, "Cannot translate the reply."};
inline constexpr ErrorSite kCancelled{kUnit, 160, "Job Cancelled"};
// The dialog's words and line for a voice it could not assemble, which the
// send job says when it was given no voice.
inline constexpr ErrorSite kNoPatch{kUnit, dialog_site::kAssemble.line, dialog_site::kAssemble.message};

}  // namespace midi_site
