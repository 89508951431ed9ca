#pragma once

#include <string>
#include <string_view>

// What a job's error line ("unit:line message", as the log has it) is about,
// so that the window and the command line can each say what to do about it
// in their own words.
enum class JobFailureKind {
    None,          // the job went well
    OutputPort,    // the MIDI output port: not there, not opened, or it refused a message
    InputPort,     // the MIDI input port
    StillSending,  // a message was still on its way when its wait ran out (error 0x41)
    Cancelled,     // the job was asked to stop
    LogFile,       // "Sonderik.log" could not be opened: nothing was done
    Other,         // anything else: the message says it
};

struct JobFailure {
    JobFailureKind kind = JobFailureKind::None;
    std::string line;     // the error line without its line end
    std::string message;  // the line without "unit:line "
};

JobFailure ClassifyJobFailure(std::string_view errorLine);
