#pragma once

#include <cstdint>

#include "midi/MidiInWin.h"
#include "midi/MidiOutWin.h"

// What one conversation with the instrument holds: an input and an output
// port, and the identity fields an identification fills. Each action makes
// its own, on its own thread, and never shares it. Destruction closes the
// output port and then the input port if they are still open.
class MidiParams {
public:
    MidiParams();
    virtual ~MidiParams();
    MidiParams(const MidiParams&) = delete;
    MidiParams& operator=(const MidiParams&) = delete;

    std::int32_t manufacturerId = -1;  // -1: no reply decoded
    std::int32_t familyCode = 0;
    std::int32_t memberCode = 0;
    std::int32_t revision1 = 0;
    std::int32_t revision2 = 0;
    MidiInWin midiIn;    // built first, destroyed last
    MidiOutWin midiOut;
};
