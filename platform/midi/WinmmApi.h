#pragma once

#include "platform/WinTypes.h"

// The winmm calls the WinMM driver makes, as a table of function pointers,
// so that a test can put a scripted winmm behind the driver. The records
// mirror winmm's own (WinmmSystem.cpp checks they match): the layer's
// records of WinMidi.h are wider, and <mmsystem.h> itself cannot sit beside
// the layer's declarations of the same names.
namespace winmm {

// A port name as winmm gives it: at most 31 characters and a zero.
inline constexpr UINT kNameLength = 32;
// The longest error text winmm gives, the zero included.
inline constexpr UINT kErrorTextLength = 256;

// winmm lays its records out with no padding.
#pragma pack(push, 1)
struct Header {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    Header* lpNext;
    DWORD_PTR reserved;
    DWORD dwOffset;
    DWORD_PTR dwReserved[8];
};

struct OutCaps {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    CHAR szPname[kNameLength];
    WORD wTechnology;
    WORD wVoices;
    WORD wNotes;
    WORD wChannelMask;
    DWORD dwSupport;
};

struct InCaps {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    CHAR szPname[kNameLength];
    DWORD dwSupport;
};
#pragma pack(pop)

// winmm's port handles, opaque to us.
struct OutPort;
struct InPort;
using OutHandle = OutPort*;
using InHandle = InPort*;

// The callbacks given to the opens with CALLBACK_FUNCTION. winmm calls them
// on a thread of its own: they may only signal.
using OutProc = void(CALLBACK*)(OutHandle, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);
using InProc = void(CALLBACK*)(InHandle, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

struct Api {
    UINT(WINAPI* outGetNumDevs)();
    MMRESULT(WINAPI* outGetDevCaps)(UINT_PTR id, OutCaps* caps, UINT size);
    MMRESULT(WINAPI* outGetErrorText)(MMRESULT code, LPSTR text, UINT size);
    MMRESULT(WINAPI* outOpen)(OutHandle* handle, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
    MMRESULT(WINAPI* outShortMsg)(OutHandle handle, DWORD message);
    MMRESULT(WINAPI* outPrepareHeader)(OutHandle handle, Header* header, UINT size);
    MMRESULT(WINAPI* outLongMsg)(OutHandle handle, Header* header, UINT size);
    MMRESULT(WINAPI* outUnprepareHeader)(OutHandle handle, Header* header, UINT size);
    MMRESULT(WINAPI* outReset)(OutHandle handle);
    MMRESULT(WINAPI* outClose)(OutHandle handle);

    UINT(WINAPI* inGetNumDevs)();
    MMRESULT(WINAPI* inGetDevCaps)(UINT_PTR id, InCaps* caps, UINT size);
    MMRESULT(WINAPI* inGetErrorText)(MMRESULT code, LPSTR text, UINT size);
    MMRESULT(WINAPI* inOpen)(InHandle* handle, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
    MMRESULT(WINAPI* inPrepareHeader)(InHandle handle, Header* header, UINT size);
    MMRESULT(WINAPI* inAddBuffer)(InHandle handle, Header* header, UINT size);
    MMRESULT(WINAPI* inStart)(InHandle handle);
    MMRESULT(WINAPI* inStop)(InHandle handle);
    MMRESULT(WINAPI* inReset)(InHandle handle);
    MMRESULT(WINAPI* inUnprepareHeader)(InHandle handle, Header* header, UINT size);
    MMRESULT(WINAPI* inClose)(InHandle handle);
};

// The system's winmm.
const Api& SystemApi();

}  // namespace winmm
