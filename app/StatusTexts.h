#pragma once

#include <string>

#include "instrument/JobFailure.h"
#include "voice/EXException.h"

// What the window's status line says, in a musician's words: what went
// wrong, the file, port or field it concerns, and what to do. The log keeps
// the job's own "unit:line message"; these are for the eye. No Qt here, so
// the window on any system says the same.
namespace status {

// The ports a job was given, by the names their lists showed (empty: none
// was selected), and, for a line left empty at start-up, the name stored
// for it that the list did not have.
struct JobPorts {
    std::string out;
    std::string in;
    std::string missingOut;
    std::string missingIn;
};

// A failed job; empty when the log alone keeps it (the job was cancelled).
// `logFolder` is the job's (EXParams::logFolder), named when the log could
// not be written there.
std::string SendFailed(const JobFailure& failure, const std::string& voice, const JobPorts& ports,
                       const std::string& logFolder);
std::string IdentifyFailed(const JobFailure& failure, const JobPorts& ports, const std::string& logFolder);

// "Sent I1-002 Glass Grand to MIDI Out "...".", for a list line.
std::string Sent(const std::string& listLine, const std::string& out);
// An identification that got no answer.
std::string NoReply(const JobPorts& ports);
// An instrument that answered only the request to every device.
std::string AnsweredAsDevice(const std::string& model, unsigned found, unsigned asked);

// A port that was selected and is not in its list any more, or a stored one
// that the list does not have.
std::string PortGone(const char* list, const std::string& name);
std::string StoredPortMissing(const char* list, const std::string& name);

// A voice file that could not be read (`path` as the browser names it), and
// a folder that could not be listed.
std::string FileFailed(const std::string& path, const EXException* raised);
std::string FolderFailed(const std::string& path, const std::string& problem);

// "The stored ... is out of range ...", as a sentence of its own.
std::string Sentence(const std::string& clause);

}  // namespace status
