#include <iostream>

#include "cli/Cli.h"
#include "platform/system/System.h"

int main(int argc, char** argv)
{
    platform::UseBinaryStandardStreams();
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return RunCli(args, std::cout, std::cerr, SystemMidi(),
                  Terminals{platform::IsTerminal(platform::StandardStream::Output),
                            platform::IsTerminal(platform::StandardStream::Error)});
}
