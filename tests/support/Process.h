#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A child process for tests that need real processes: started from a
// program file with this process's environment plus `extraEnv`
// ("NAME=value" each), its standard output kept in a file.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                 const std::string& outputFile);
    // Kills the child if it is still there, so that no test leaves one behind.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // Waits for the child to end; its exit status, or -1 when a signal ended it.
    int WaitExit();
    // Waits until the child stops itself (true) or ends (false).
    bool WaitStopped();
    void Kill();
    // Asks the child to end (SIGTERM) and waits for it.
    void Terminate();

private:
    pid_t pid_ = -1;
};
