#pragma once

#include <string>

#include "platform/registry/Registry.h"

// Where this system keeps the settings key (kSettingsKeyPath).

// The root the settings are read from and saved under.
HKEY SettingsRoot();

// The root an earlier installation kept them under, read while the settings
// root has no key yet; null where there is none.
HKEY EarlierSettingsRoot();

// The place, for messages: the file that holds the key, or the key itself.
std::string SettingsPlaceName();

// Where the settings are, in words for a program's help, wrapped to follow
// "... stored, in " on a line of 80 columns.
std::string SettingsPlaceHelp();

// Why a save failed with `status`: "cannot save the settings in PLACE: why".
std::string SettingsSaveProblem(LSTATUS status);
