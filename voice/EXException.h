#pragma once

#include <cstddef>

// The one error record of the program. It is raised as a pointer to a new
// record and the catcher owns it: catch `EXException*`, report, delete.
// A null pointer may be raised when the record itself could not be made;
// every catcher must accept it.
class EXException {
public:
    static constexpr std::size_t kTextSize = 80;
    // Room for a driver's own words, which run longer than the fixed texts.
    static constexpr std::size_t kReasonSize = 260;

    EXException(const char* message, const char* sourceFile, int line);
    virtual ~EXException();

    int line;
    char message[kTextSize];
    char sourceFile[kTextSize];
    // Why, in the words of whoever failed (a MIDI driver, a check), when
    // known; empty otherwise. Reported on a line of its own after the
    // fixed message, which it never replaces.
    char reason[kReasonSize] = {};
};

// Throws a new record, or a null pointer when memory for it is exhausted.
[[noreturn]] void RaiseEX(const char* message, const char* sourceFile, int line);
// The same with the reason behind it (null or empty: none known).
[[noreturn]] void RaiseEX(const char* message, const char* sourceFile, int line, const char* reason);

// A place that raises: the unit and line its report names and what it says.
// Each unit lists its sites in one place, so that the reader sees which
// message goes with which line and none is ever spelt twice.
struct ErrorSite {
    const char* unit;
    int line;
    const char* message;  // for RaiseEXCode, a printf format of one unsigned
};

[[noreturn]] void RaiseEX(const ErrorSite& site);
[[noreturn]] void RaiseEX(const ErrorSite& site, const char* reason);
// The site's message with the system's result code filled in.
[[noreturn]] void RaiseEXCode(const ErrorSite& site, unsigned code, const char* reason = nullptr);

// The report form jobs and tools print: "unit:line message" (no line end).
// A null record reads as an unidentified error.
void FormatEX(const EXException* e, char* out, std::size_t outSize);
