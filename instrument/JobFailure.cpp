#include "instrument/JobFailure.h"

#include "instrument/JobSites.h"
#include "platform/NoCase.h"

JobFailure ClassifyJobFailure(std::string_view errorLine)
{
    JobFailure failure;
    while (!errorLine.empty() && (errorLine.back() == '\n' || errorLine.back() == '\r')) {
        errorLine.remove_suffix(1);
    }
    if (errorLine.empty()) {
        return failure;
    }
    failure.line = std::string(errorLine);
    const std::size_t space = errorLine.find(' ');
    const std::string_view place = errorLine.substr(0, space);
    failure.message = space == std::string_view::npos ? failure.line : std::string(errorLine.substr(space + 1));
    const std::string_view unit = place.substr(0, place.find(':'));
    if (failure.message.find("Error 0x41 ") != std::string::npos) {
        failure.kind = JobFailureKind::StillSending;
    } else if (failure.message == midi_site::kCancelled.message) {
        failure.kind = JobFailureKind::Cancelled;
    } else if (platform::EqualNoCase(failure.message, worker_site::kCannotOpenLog)) {
        // Compared as the jobs compare it.
        failure.kind = JobFailureKind::LogFile;
    } else if (unit == "MidiOutWin") {
        failure.kind = JobFailureKind::OutputPort;
    } else if (unit == "MidiInWin") {
        failure.kind = JobFailureKind::InputPort;
    } else {
        failure.kind = JobFailureKind::Other;
    }
    return failure;
}
