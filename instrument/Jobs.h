#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "platform/threads/Thread.h"
#include "voice/EXParams.h"

// The two long conversations, each run on a worker thread of its own with the
// address of the one EXParams. Both write "Sonderik.log" in the record's
// log folder (see LogFolder.h; both programs set it from --log-dir, and an
// empty one is the current folder), catch every failure, always close their
// ports and always deliver "Done" to their done window. A failure is also left in `errorText`
// ("unit:line message"), which is empty after a job that went well.
void SendVoiceJob(void* params);
void IdentifyJob(void* params);

// The log's file name, in the record's log folder.
constexpr const char* kLogFileName = "Sonderik.log";

// Starts jobs one at a time, so that the one EXParams is never refilled
// while the thread of the previous job still uses it.
class JobRunner {
public:
    using Job = void (*)(void*);

    JobRunner() = default;
    // Waits for a job still running; its own waits are all bounded.
    ~JobRunner();
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // Calls `fill` and starts `job(&params)` on a new thread, unless the
    // previous job's thread still runs: then nothing is filled and false.
    bool Start(Job job, EXParams& params, const std::function<void()>& fill);
    bool Busy() const;
    // Waits at most `timeout` for the job's thread to end.
    bool Wait(std::chrono::milliseconds timeout);
    // Asks the running job to stop before its next exchange with the instrument.
    bool Cancel();

private:
    std::unique_ptr<WorkerThread> thread_;
};
