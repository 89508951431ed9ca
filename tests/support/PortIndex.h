#pragma once

#include <string>

#include "platform/midi/WinMidi.h"

// The index the last listing of the ports gives the port named `name` (as
// the capabilities name it), or kNotListed.
inline constexpr UINT kNotListed = static_cast<UINT>(-1);

namespace port_index {

template <typename Caps, typename Count, typename GetCaps>
UINT IndexOf(const std::string& name, Count count, GetCaps getCaps)
{
    for (UINT i = 0, n = count(); i < n; ++i) {
        Caps caps{};
        if (getCaps(i, &caps, sizeof caps) == MMSYSERR_NOERROR && name == caps.szPname) {
            return i;
        }
    }
    return kNotListed;
}

}  // namespace port_index

inline UINT OutPortIndex(const std::string& name)
{
    return port_index::IndexOf<MIDIOUTCAPSA>(name, midiOutGetNumDevs, midiOutGetDevCapsA);
}

inline UINT InPortIndex(const std::string& name)
{
    return port_index::IndexOf<MIDIINCAPSA>(name, midiInGetNumDevs, midiInGetDevCapsA);
}
