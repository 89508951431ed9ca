#pragma once

#include <cstddef>

// The one error record of the program. It is raised as a pointer to a new
// record and the catcher owns it: catch `EXException*`, report, delete.
// A null pointer may be raised when the record itself could not be made;
// every catcher must accept it.
class EXException {
public:
    static constexpr std::size_t kTextSize = 80;

    EXException(const char* message, const char* sourceFile, int line);
    virtual ~EXException();

    int line;
    char message[kTextSize];
    char sourceFile[kTextSize];
};

// Throws a new record, or a null pointer when memory for it is exhausted.
[[noreturn]] void RaiseEX(const char* message, const char* sourceFile, int line);

// The report form jobs and tools print: "unit:line message" (no line end).
// A null record reads as an unidentified error.
void FormatEX(const EXException* e, char* out, std::size_t outSize);
