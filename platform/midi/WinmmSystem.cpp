// The real winmm behind the table of WinmmApi.h: the one file that sees
// <mmsystem.h>, so that the layer's midi* names stay the layer's elsewhere.
#include "platform/midi/WinmmApi.h"

#include <mmsystem.h>

#include <cstddef>

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

HMIDIOUT Real(winmm::OutHandle handle) { return reinterpret_cast<HMIDIOUT>(handle); }
HMIDIIN Real(winmm::InHandle handle) { return reinterpret_cast<HMIDIIN>(handle); }
LPMIDIHDR Real(winmm::Header* header) { return reinterpret_cast<LPMIDIHDR>(header); }

UINT WINAPI OutGetNumDevs() { return midiOutGetNumDevs(); }

MMRESULT WINAPI OutGetDevCaps(UINT_PTR id, winmm::OutCaps* caps, UINT size)
{
    return midiOutGetDevCapsA(id, reinterpret_cast<LPMIDIOUTCAPSA>(caps), size);
}

MMRESULT WINAPI OutGetErrorText(MMRESULT code, LPSTR text, UINT size) { return midiOutGetErrorTextA(code, text, size); }

MMRESULT WINAPI OutOpen(winmm::OutHandle* handle, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
{
    HMIDIOUT opened = nullptr;
    const MMRESULT result = midiOutOpen(&opened, id, callback, instance, flags);
    *handle = reinterpret_cast<winmm::OutHandle>(opened);
    return result;
}

MMRESULT WINAPI OutShortMsg(winmm::OutHandle handle, DWORD message) { return midiOutShortMsg(Real(handle), message); }

MMRESULT WINAPI OutPrepareHeader(winmm::OutHandle handle, winmm::Header* header, UINT size)
{
    return midiOutPrepareHeader(Real(handle), Real(header), size);
}

MMRESULT WINAPI OutLongMsg(winmm::OutHandle handle, winmm::Header* header, UINT size)
{
    return midiOutLongMsg(Real(handle), Real(header), size);
}

MMRESULT WINAPI OutUnprepareHeader(winmm::OutHandle handle, winmm::Header* header, UINT size)
{
    return midiOutUnprepareHeader(Real(handle), Real(header), size);
}

MMRESULT WINAPI OutReset(winmm::OutHandle handle) { return midiOutReset(Real(handle)); }
MMRESULT WINAPI OutClose(winmm::OutHandle handle) { return midiOutClose(Real(handle)); }

UINT WINAPI InGetNumDevs() { return midiInGetNumDevs(); }

MMRESULT WINAPI InGetDevCaps(UINT_PTR id, winmm::InCaps* caps, UINT size)
{
    return midiInGetDevCapsA(id, reinterpret_cast<LPMIDIINCAPSA>(caps), size);
}

MMRESULT WINAPI InGetErrorText(MMRESULT code, LPSTR text, UINT size) { return midiInGetErrorTextA(code, text, size); }

MMRESULT WINAPI InOpen(winmm::InHandle* handle, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
{
    HMIDIIN opened = nullptr;
    const MMRESULT result = midiInOpen(&opened, id, callback, instance, flags);
    *handle = reinterpret_cast<winmm::InHandle>(opened);
    return result;
}

MMRESULT WINAPI InPrepareHeader(winmm::InHandle handle, winmm::Header* header, UINT size)
{
    return midiInPrepareHeader(Real(handle), Real(header), size);
}

MMRESULT WINAPI InAddBuffer(winmm::InHandle handle, winmm::Header* header, UINT size)
{
    return midiInAddBuffer(Real(handle), Real(header), size);
}

MMRESULT WINAPI InStart(winmm::InHandle handle) { return midiInStart(Real(handle)); }
MMRESULT WINAPI InStop(winmm::InHandle handle) { return midiInStop(Real(handle)); }
MMRESULT WINAPI InReset(winmm::InHandle handle) { return midiInReset(Real(handle)); }

MMRESULT WINAPI InUnprepareHeader(winmm::InHandle handle, winmm::Header* header, UINT size)
{
    return midiInUnprepareHeader(Real(handle), Real(header), size);
}

MMRESULT WINAPI InClose(winmm::InHandle handle) { return midiInClose(Real(handle)); }

constexpr winmm::Api kSystem{
    .outGetNumDevs = OutGetNumDevs,
    .outGetDevCaps = OutGetDevCaps,
    .outGetErrorText = OutGetErrorText,
    .outOpen = OutOpen,
    .outShortMsg = OutShortMsg,
    .outPrepareHeader = OutPrepareHeader,
    .outLongMsg = OutLongMsg,
    .outUnprepareHeader = OutUnprepareHeader,
    .outReset = OutReset,
    .outClose = OutClose,
    .inGetNumDevs = InGetNumDevs,
    .inGetDevCaps = InGetDevCaps,
    .inGetErrorText = InGetErrorText,
    .inOpen = InOpen,
    .inPrepareHeader = InPrepareHeader,
    .inAddBuffer = InAddBuffer,
    .inStart = InStart,
    .inStop = InStop,
    .inReset = InReset,
    .inUnprepareHeader = InUnprepareHeader,
    .inClose = InClose,
};

}  // namespace

namespace winmm {

const Api& SystemApi() { return kSystem; }

}  // namespace winmm
