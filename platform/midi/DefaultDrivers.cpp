#include "platform/midi/MidiDriver.h"

// Set to 0 or 1 by platform/midi/CMakeLists.txt from the build's options.
#if !defined(SONDERIK_WITH_ALSA) || !defined(SONDERIK_WITH_JACK)
#error "SONDERIK_WITH_ALSA and SONDERIK_WITH_JACK come from the build"
#endif

#if SONDERIK_WITH_ALSA
#include "platform/midi/RtMidiDriver.h"
#endif
#if SONDERIK_WITH_JACK
#include "platform/midi/JackMidiDriver.h"
#endif

namespace platform {

std::vector<std::shared_ptr<MidiDriver>> DefaultMidiDrivers()
{
    std::vector<std::shared_ptr<MidiDriver>> drivers;
#if SONDERIK_WITH_ALSA
    drivers.push_back(std::make_shared<RtMidiDriver>());
#endif
#if SONDERIK_WITH_JACK
    drivers.push_back(std::make_shared<JackMidiDriver>());
#endif
    return drivers;
}

}  // namespace platform
