#pragma once

#include "platform/WinTypes.h"

// Handles that the job parameters carry between layers. On Windows a window
// and an event are the system's own (HWND, HANDLE of <windows.h>); elsewhere
// each is a pointer to a type owned by the platform service that hands it
// out, so a layer can store one without knowing, or linking, the service
// behind it. Open MIDI ports are the MIDI layer's on every system: behind it
// sit the system's ports and the built-in instrument alike.

#ifndef _WIN32
class Window;                 // a text window that jobs report into
using HWND = Window*;

struct KernelEvent;           // a synchronization event
using HANDLE = KernelEvent*;
#endif

struct MidiOutDevice;         // an open MIDI output port
using HMIDIOUT = MidiOutDevice*;

struct MidiInDevice;          // an open MIDI input port
using HMIDIIN = MidiInDevice*;
