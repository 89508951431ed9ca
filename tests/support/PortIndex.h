#pragma once

#include <string>

#include "midi/PortCalls.h"
#include "platform/midi/WinMidi.h"

// The index the last listing of the ports gives the port named `name` (as
// the capabilities name it), or kNotListed: found as a job finds its port.
inline constexpr UINT kNotListed = static_cast<UINT>(-1);

namespace port_index {

template <typename Caps>
UINT IndexOf(const std::string& name, const PortListing<Caps>& listing)
{
    std::string said;
    return listing.Find(0, name, said).value_or(kNotListed);
}

}  // namespace port_index

inline UINT OutPortIndex(const std::string& name)
{
    return port_index::IndexOf(name, PortListing<MIDIOUTCAPSA>{&midiOutGetNumDevs, &midiOutGetDevCapsA});
}

inline UINT InPortIndex(const std::string& name)
{
    return port_index::IndexOf(name, PortListing<MIDIINCAPSA>{&midiInGetNumDevs, &midiInGetDevCapsA});
}
