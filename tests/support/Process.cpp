#include "tests/support/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                           const std::string& outputFile)
{
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> args;
    std::vector<char*> envp;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    for (const std::string& e : env) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    args.push_back(nullptr);
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess()
{
    if (pid_ > 0) {
        Kill();
    }
}

int ChildProcess::WaitExit()
{
    int status = 0;
    pid_t got = -1;
    do {
        got = ::waitpid(pid_, &status, 0);
    } while (got < 0 && errno == EINTR);
    pid_ = -1;
    return got > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ChildProcess::WaitStopped()
{
    int status = 0;
    pid_t got = -1;
    do {
        got = ::waitpid(pid_, &status, WUNTRACED);
    } while (got < 0 && errno == EINTR);
    if (got > 0 && WIFSTOPPED(status)) {
        return true;
    }
    pid_ = -1;
    return false;
}

// Once the child has been waited for, pid_ is -1, and kill(-1, ...) would
// signal every process this one may signal: nothing to do then.
void ChildProcess::Kill()
{
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGKILL);
    WaitExit();
}

void ChildProcess::Terminate()
{
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    WaitExit();
}
