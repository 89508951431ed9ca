#include "platform/midi/MidiDriver.h"

// Set to 0 or 1 by platform/midi/CMakeLists.txt from the build's options.
#if !defined(SONDERIK_WITH_ALSA) || !defined(SONDERIK_WITH_JACK) || !defined(SONDERIK_WITH_WINMM)
#error "SONDERIK_WITH_ALSA, SONDERIK_WITH_JACK and SONDERIK_WITH_WINMM come from the build"
#endif

#if SONDERIK_WITH_ALSA
#include "platform/midi/RtMidiDriver.h"
#endif
#if SONDERIK_WITH_JACK
#include "platform/midi/JackMidiDriver.h"
#endif
#if SONDERIK_WITH_WINMM
#include "platform/midi/WinmmMidiDriver.h"
#endif

namespace platform {

std::vector<std::shared_ptr<MidiDriver>> DefaultMidiDrivers()
{
    std::vector<std::shared_ptr<MidiDriver>> drivers;
#if SONDERIK_WITH_WINMM
    drivers.push_back(std::make_shared<WinmmMidiDriver>());
#endif
#if SONDERIK_WITH_ALSA
    drivers.push_back(std::make_shared<RtMidiDriver>());
#endif
#if SONDERIK_WITH_JACK
    drivers.push_back(std::make_shared<JackMidiDriver>());
#endif
    return drivers;
}

}  // namespace platform
