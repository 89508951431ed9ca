#include "midi/MidiParams.h"

MidiParams::MidiParams() = default;
MidiParams::~MidiParams() = default;
