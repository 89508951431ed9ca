#include <unistd.h>

#include <iostream>

#include "cli/Cli.h"

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return RunCli(args, std::cout, std::cerr, SystemMidi(),
                  Terminals{::isatty(STDOUT_FILENO) == 1, ::isatty(STDERR_FILENO) == 1});
}
