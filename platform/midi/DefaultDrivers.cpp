#include "platform/midi/JackMidiDriver.h"
#include "platform/midi/MidiDriver.h"
#include "platform/midi/RtMidiDriver.h"

namespace platform {

std::vector<std::shared_ptr<MidiDriver>> DefaultMidiDrivers()
{
    std::vector<std::shared_ptr<MidiDriver>> drivers;
    drivers.push_back(std::make_shared<RtMidiDriver>());
    drivers.push_back(std::make_shared<JackMidiDriver>());
    return drivers;
}

}  // namespace platform
