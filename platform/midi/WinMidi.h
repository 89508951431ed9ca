#pragma once

#include <string>

#include "platform/WinTypes.h"
#include "platform/handles.h"

// The multimedia MIDI calls, records and codes the program talks to ports
// with, in the shape and with the values they have on Windows. Behind them
// sit the drivers of MidiDriver.h: the system's MIDI (winmm on Windows, the
// ALSA sequencer through RtMidi and JACK elsewhere, as the build chose), the
// programs' built-in virtual instrument, or whatever a test installs.
//
// There is no MIDI mapper, on Windows neither: port MIDI_MAPPER does not
// exist and opening it fails with MMSYSERR_BADDEVICEID.

// Results.
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MIDIERR_UNPREPARED = 64;
constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
constexpr MMRESULT MIDIERR_NOMAP = 66;
constexpr MMRESULT MIDIERR_NOTREADY = 67;
constexpr MMRESULT MIDIERR_NODEVICE = 68;

// Messages to an input callback.
constexpr UINT MIM_OPEN = 0x3C1;
constexpr UINT MIM_CLOSE = 0x3C2;
constexpr UINT MIM_DATA = 0x3C3;
constexpr UINT MIM_LONGDATA = 0x3C4;
constexpr UINT MIM_ERROR = 0x3C5;
constexpr UINT MIM_LONGERROR = 0x3C6;
constexpr UINT MIM_MOREDATA = 0x3CC;

// Messages to an output callback.
constexpr UINT MOM_OPEN = 0x3C7;
constexpr UINT MOM_CLOSE = 0x3C8;
constexpr UINT MOM_DONE = 0x3C9;

// How a port reports back.
constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_FUNCTION = 0x00030000;

constexpr UINT MIDI_MAPPER = static_cast<UINT>(-1);

// Header flags.
constexpr DWORD MHDR_DONE = 0x00000001;
constexpr DWORD MHDR_PREPARED = 0x00000002;
constexpr DWORD MHDR_INQUEUE = 0x00000004;

// Wider than Windows's 32 so that "client:port" names of JACK and ALSA
// survive whole and ports stay told apart.
constexpr UINT MAXPNAMELEN = 128;

struct MIDIHDR {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    MIDIHDR* lpNext;
    DWORD_PTR reserved;
    DWORD dwOffset;
    DWORD_PTR dwReserved[8];
};
using LPMIDIHDR = MIDIHDR*;

struct MIDIOUTCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    CHAR szPname[MAXPNAMELEN];
    WORD wTechnology;
    WORD wVoices;
    WORD wNotes;
    WORD wChannelMask;
    DWORD dwSupport;
};
using LPMIDIOUTCAPSA = MIDIOUTCAPSA*;

struct MIDIINCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    CHAR szPname[MAXPNAMELEN];
    DWORD dwSupport;
};
using LPMIDIINCAPSA = MIDIINCAPSA*;

using LPHMIDIOUT = HMIDIOUT*;
using LPHMIDIIN = HMIDIIN*;

// The output callback passed to midiOutOpen with CALLBACK_FUNCTION: MOM_OPEN
// before the open returns, MOM_DONE (param1: the header) as soon as a long
// message is done, one for each header in the order they finished, so that
// a caller waiting for it need not poll, and MOM_CLOSE from the close. It
// runs one call at a time per port, with no lock of the layer held, on the
// port's sender thread or on the thread whose midiOutReset gave the header
// back. It may signal (SetEvent), queue a long message and reset its port;
// midiOutClose from inside it answers MMSYSERR_ERROR (closing waits for the
// callbacks, this one too), and midiOutShortMsg on the sender thread
// MIDIERR_NOTREADY (it would wait for that very thread): both are for
// after it returned.
using MIDIOUTPROC = void (*)(HMIDIOUT handle, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                             DWORD_PTR param2);

// The input callback passed to midiInOpen (as a DWORD_PTR) with
// CALLBACK_FUNCTION. It runs on a thread of this layer, one call at a time
// per port, and must not call any midi* function.
using MIDIINPROC = void (*)(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                            DWORD_PTR param2);

// The output ports of the last listing. A listing is made at the first call,
// and again after platform::RescanMidiPorts (a refresh of the port lists) or
// after an open failed. midiOutGetDevCapsA and midiOutOpen use the same
// listing, so an index stays the port it was listed as; a port that has
// gone since fails to open. This program's own ports are never listed, so
// opening one does not move the others.
UINT midiOutGetNumDevs();
MMRESULT midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT capsSize);
// CALLBACK_NULL, or CALLBACK_FUNCTION with a MIDIOUTPROC. An open port is
// usable when this returns: its connection to the port is made.
MMRESULT midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
// Returns once the transport has taken the message, bounded, with its
// verdict: a message the transport refused is an error.
MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD message);
MMRESULT midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize);
// Queues the header and returns at once; it is MHDR_INQUEUE (and
// unpreparing it answers MIDIERR_STILLPLAYING) until its bytes have left the
// program for the transport, then MHDR_DONE.
MMRESULT midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize);
// MMSYSERR_ERROR, once, for a header whose message the transport refused
// (the header is unprepared all the same).
MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize);
// Gives every queued header back done, the one playing included. Returns
// once their callbacks have run (at once from inside a callback, as they
// follow it).
MMRESULT midiOutReset(HMIDIOUT handle);
// MIDIERR_STILLPLAYING while a header is queued. No callback runs after it.
MMRESULT midiOutClose(HMIDIOUT handle);

// The input ports of the last listing, as midiOutGetNumDevs.
UINT midiInGetNumDevs();
MMRESULT midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT capsSize);
// CALLBACK_FUNCTION (with a MIDIINPROC) or CALLBACK_NULL.
MMRESULT midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT midiInPrepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT headerSize);
MMRESULT midiInUnprepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT headerSize);
MMRESULT midiInAddBuffer(HMIDIIN handle, LPMIDIHDR header, UINT headerSize);
MMRESULT midiInStart(HMIDIIN handle);
// Hands a partly filled buffer back; empty ones stay queued. Returns once
// the callbacks for what it handed back have run.
MMRESULT midiInStop(HMIDIIN handle);
// Hands every queued buffer back; returns once their callbacks have run.
MMRESULT midiInReset(HMIDIIN handle);
// MIDIERR_STILLPLAYING while a buffer is queued. No callback runs after it.
MMRESULT midiInClose(HMIDIIN handle);

namespace platform {

// Why the last midi* call of this thread failed, in the words of the driver
// behind it (winmm's text, RtMidi's, the JACK server's status, the built-in
// instrument's), and for a count what a backend said when it could not be
// reached; empty when no driver said anything. Each call starts it afresh,
// as GetLastError, so read it right after the call.
std::string MidiFailureReason();

}  // namespace platform
