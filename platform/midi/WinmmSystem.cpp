// The real winmm behind the table of WinmmApi.h: the one file that sees
// <mmsystem.h>, so that the layer's midi* names stay the layer's elsewhere.
#include "platform/midi/WinmmApi.h"

#include <mmsystem.h>

#include <cstddef>
#include <type_traits>

namespace {

template <typename Mirror, typename Real>
constexpr bool SameSize = sizeof(Mirror) == sizeof(Real) && alignof(Mirror) == alignof(Real);

static_assert(SameSize<winmm::Header, MIDIHDR>);
static_assert(offsetof(winmm::Header, lpData) == offsetof(MIDIHDR, lpData));
static_assert(offsetof(winmm::Header, dwBufferLength) == offsetof(MIDIHDR, dwBufferLength));
static_assert(offsetof(winmm::Header, dwBytesRecorded) == offsetof(MIDIHDR, dwBytesRecorded));
static_assert(offsetof(winmm::Header, dwUser) == offsetof(MIDIHDR, dwUser));
static_assert(offsetof(winmm::Header, dwFlags) == offsetof(MIDIHDR, dwFlags));
static_assert(offsetof(winmm::Header, lpNext) == offsetof(MIDIHDR, lpNext));
static_assert(offsetof(winmm::Header, dwOffset) == offsetof(MIDIHDR, dwOffset));
static_assert(offsetof(winmm::Header, dwReserved) == offsetof(MIDIHDR, dwReserved));

static_assert(SameSize<winmm::OutCaps, MIDIOUTCAPSA>);
static_assert(winmm::kNameLength == MAXPNAMELEN);
static_assert(offsetof(winmm::OutCaps, szPname) == offsetof(MIDIOUTCAPSA, szPname));
static_assert(offsetof(winmm::OutCaps, wChannelMask) == offsetof(MIDIOUTCAPSA, wChannelMask));
static_assert(offsetof(winmm::OutCaps, dwSupport) == offsetof(MIDIOUTCAPSA, dwSupport));
static_assert(SameSize<winmm::InCaps, MIDIINCAPSA>);
static_assert(offsetof(winmm::InCaps, szPname) == offsetof(MIDIINCAPSA, szPname));
static_assert(offsetof(winmm::InCaps, dwSupport) == offsetof(MIDIINCAPSA, dwSupport));
static_assert(winmm::kErrorTextLength == MAXERRORLENGTH);

// The callbacks winmm calls differ from the mirrors only in the handle's
// pointee type, which winmm never looks through.
static_assert(sizeof(winmm::OutHandle) == sizeof(HMIDIOUT) && sizeof(winmm::InHandle) == sizeof(HMIDIIN));

// A mirror type for winmm's own: pointers of one for pointers of the
// other, of the same layout (checked above); numbers as they are.
template <typename Real, typename Mirror>
Real As(Mirror value)
{
    if constexpr (std::is_pointer_v<Real>) {
        return reinterpret_cast<Real>(value);
    } else {
        static_assert(std::is_same_v<Real, Mirror>, "the table's numbers are winmm's own");
        return value;
    }
}

// winmm's call `real`, with the table's signature: the mirror types are
// taken from the table's entry the call is put in.
template <auto real>
struct Thunk;

template <typename Result, typename... Real, Result(WINAPI* real)(Real...)>
struct Thunk<real> {
    template <typename... Mirror>
    static Result WINAPI Call(Mirror... args)
    {
        return real(As<Real>(args)...);
    }
};

constexpr winmm::Api kSystem{
    .outGetNumDevs = Thunk<&midiOutGetNumDevs>::Call,
    .outGetDevCaps = Thunk<&midiOutGetDevCapsA>::Call,
    .outGetErrorText = Thunk<&midiOutGetErrorTextA>::Call,
    .outOpen = Thunk<&midiOutOpen>::Call,
    .outShortMsg = Thunk<&midiOutShortMsg>::Call,
    .outPrepareHeader = Thunk<&midiOutPrepareHeader>::Call,
    .outLongMsg = Thunk<&midiOutLongMsg>::Call,
    .outUnprepareHeader = Thunk<&midiOutUnprepareHeader>::Call,
    .outReset = Thunk<&midiOutReset>::Call,
    .outClose = Thunk<&midiOutClose>::Call,
    .inGetNumDevs = Thunk<&midiInGetNumDevs>::Call,
    .inGetDevCaps = Thunk<&midiInGetDevCapsA>::Call,
    .inGetErrorText = Thunk<&midiInGetErrorTextA>::Call,
    .inOpen = Thunk<&midiInOpen>::Call,
    .inPrepareHeader = Thunk<&midiInPrepareHeader>::Call,
    .inAddBuffer = Thunk<&midiInAddBuffer>::Call,
    .inStart = Thunk<&midiInStart>::Call,
    .inStop = Thunk<&midiInStop>::Call,
    .inReset = Thunk<&midiInReset>::Call,
    .inUnprepareHeader = Thunk<&midiInUnprepareHeader>::Call,
    .inClose = Thunk<&midiInClose>::Call,
};

}  // namespace

namespace winmm {

const Api& SystemApi() { return kSystem; }

}  // namespace winmm
