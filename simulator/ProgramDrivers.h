#pragma once

#include <memory>

#include "simulator/VirtualEX5Driver.h"

// Installs the MIDI drivers both programs run with: the system's
// (platform::DefaultMidiDrivers, those this build has), then the built-in
// instrument as SONDERIK_VIRTUAL_EX5 configures it, so that its two ports
// are listed after every port of the system. Returns the built-in
// instrument, which stays installed until the drivers are replaced.
std::shared_ptr<VirtualEX5Driver> InstallProgramMidiDrivers();
