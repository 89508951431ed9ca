#include "platform/threads/Thread.h"

#include <cstdio>
#include <cstdlib>

WorkerThread::WorkerThread(Proc proc, void* arg) : WorkerThread(proc, arg, Ending{}) {}

WorkerThread::~WorkerThread()
{
    if (Join(ending_.bound)) {
        return;
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::duration<double>>(ending_.bound).count();
    char line[256];
    std::snprintf(line, sizeof line, "The %s thread did not end within %g s; the program ends now.",
                  ending_.name.c_str(), seconds);
    std::fprintf(stderr, "%s\n", line);
    if (ending_.report) {
        ending_.report(line);
    }
    std::fflush(nullptr);
    std::_Exit(kStuckThreadExit);
}
