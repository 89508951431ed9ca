#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "instrument/Jobs.h"
#include "platform/threads/Window.h"
#include "tests/support/TempDir.h"
#include "voice/EXParams.h"

// Runs jobs as the dialog does, in a folder of their own where they write
// their log, and reads the log back with its dates masked.
class JobHarness {
public:
    JobHarness();
    ~JobHarness();
    JobHarness(const JobHarness&) = delete;
    JobHarness& operator=(const JobHarness&) = delete;

    // Parameters as the dialog fills them, with delays and time-outs small
    // enough for tests: ports 0, device 1, 5 ms SysEx delay, no MIDI delay, 30 ms per reply.
    static JobSettings QuickSettings();
    void PrepareIdentify(EXParams& params) const;

    // Starts the job, takes its "Done" on this thread and waits for its
    // thread to end. Returns what the done window received.
    std::string Run(JobRunner::Job job, EXParams& params);

    // Sonderik.log with every date replaced by "<date>".
    std::string Log() const;
    const TempDir& Dir() const { return dir_; }

    TextField done;

private:
    TempDir dir_;
    std::filesystem::path previous_;
};

// Every asctime date in `text` replaced by "<date>".
std::string MaskDates(const std::string& text);
