#include "simulator/ProgramDrivers.h"

#include <utility>
#include <vector>

#include "platform/midi/MidiDriver.h"

std::shared_ptr<VirtualEX5Driver> InstallProgramMidiDrivers()
{
    std::vector<std::shared_ptr<MidiDriver>> drivers = platform::DefaultMidiDrivers();
    auto builtIn = std::make_shared<VirtualEX5Driver>(VirtualEX5Driver::ConfigFromEnvironment());
    drivers.push_back(builtIn);
    platform::InstallMidiDrivers(std::move(drivers));
    return builtIn;
}
