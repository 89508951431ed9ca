#include "platform/midi/JackMidiDriver.h"
#include "platform/midi/MidiDriver.h"
#include "platform/midi/RtMidiDriver.h"
#include "platform/midi/VirtualEx5Driver.h"

namespace platform {

std::vector<std::shared_ptr<MidiDriver>> DefaultMidiDrivers()
{
    std::vector<std::shared_ptr<MidiDriver>> drivers;
    drivers.push_back(std::make_shared<RtMidiDriver>());
    drivers.push_back(std::make_shared<JackMidiDriver>());
    drivers.push_back(std::make_shared<VirtualEx5Driver>(VirtualEx5Driver::ConfigFromEnvironment()));
    return drivers;
}

}  // namespace platform
