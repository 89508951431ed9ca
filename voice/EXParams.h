#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/handles.h"

class EX5Patch;

// What the dialog knows when it starts a job: its selections and values.
struct JobSettings {
    std::uint32_t midiInPort = 0;
    std::uint32_t midiOutPort = 0;
    std::uint32_t deviceNumber = 1;
    std::uint32_t sysexDelay = 25;
    std::uint32_t midiDelay = 500;
    // The names the two ports had when they were chosen (empty: not known).
    // An index stands for that port: the job follows the name when the
    // port only moved in a listing made since, and fails, naming it, when
    // it is gone, rather than open whatever took its place.
    std::string midiInName;
    std::string midiOutName;
};

// The job parameter record. The dialog owns one for its whole life, refills it
// before each job and hands its address to the job's thread, which then owns
// it (its log, its output handle, its result) until the thread has finished.
// It must never be refilled while a job's thread runs.
class EXParams {
public:
    static constexpr std::size_t kTextSize = 260;
    static constexpr std::uint32_t kTimeout = 2000;   // reply time-out, ms
    static constexpr std::uint32_t kRetries = 3;

    EXParams();
    virtual ~EXParams();
    EXParams(const EXParams&) = delete;
    EXParams& operator=(const EXParams&) = delete;

    // Fills the record for sending `patch`; the job takes ownership of it.
    void PrepareSendVoice(EX5Patch* newPatch, HWND identDone, HWND sendDone,
                          const JobSettings& settings, const char* versionText);
    // Fills the record for an identification; leaves sendDoneWindow,
    // midiDelay and patch as they are.
    void PrepareIdentify(HWND identDone, const JobSettings& settings, const char* versionText);

    std::uint32_t verbose = 0;
    HWND reportWindow = nullptr;
    HWND identDoneWindow = nullptr;
    HWND sendDoneWindow = nullptr;
    std::uint32_t familyIndex = 0xFFFFFFFFu;
    std::uint32_t midiInPort = 0;
    std::uint32_t midiOutPort = 0;
    std::uint32_t deviceNumber = 0;
    std::uint32_t sysexDelay = 0;
    std::uint32_t midiDelay = 0;
    std::uint32_t timeout = 0;
    std::uint32_t attempts = 0;
    char version[kTextSize] = {};
    char identResult[kTextSize] = {};
    char errorText[kTextSize] = {};
    std::FILE* log = nullptr;
    EX5Patch* patch = nullptr;
    HMIDIOUT midiOutHandle = nullptr;
    // Beyond the dialog's record: where the jobs keep "Sonderik.log" (empty:
    // the current folder; the preparations leave it as it is), and which
    // pass of an identification brought the answer (0 none, 1 the configured
    // device number, 2 the request to every device).
    std::string logFolder;
    std::uint32_t answeredPass = 0;
    // The ports' names as chosen (JobSettings); an index moved to follow
    // one is written back to midiInPort or midiOutPort.
    std::string midiInName;
    std::string midiOutName;
    // Why the job failed, when whoever failed said more than errorText's
    // fixed message (a MIDI driver's words); the log has it on the line
    // after the error line.
    std::string errorReason;
    // Where each request of a conversation is announced as it goes out, for
    // a watcher that shows what is being waited for; null for nobody. The
    // preparations leave it as it is.
    HWND progressWindow = nullptr;

private:
    void PrepareCommon(HWND identDone, const JobSettings& settings, const char* versionText);
};
