#pragma once

// Opaque handles that the job parameters carry between layers. Each is a
// pointer to a type owned by the platform service that hands it out, so a
// layer can store one without knowing, or linking, the service behind it.

class Window;                 // a text window that jobs report into
using HWND = Window*;

struct MidiOutDevice;         // an open MIDI output port
using HMIDIOUT = MidiOutDevice*;

struct MidiInDevice;          // an open MIDI input port
using HMIDIIN = MidiInDevice*;

struct KernelEvent;           // a synchronization event
using HANDLE = KernelEvent*;
