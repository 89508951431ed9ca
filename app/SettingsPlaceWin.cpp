#include "app/SettingsPlace.h"

#include <system_error>

#include "app/Settings.h"

// The user's own key: a program without administrator rights cannot write
// HKEY_LOCAL_MACHINE, where an earlier installation kept them.
HKEY SettingsRoot() { return HKEY_CURRENT_USER; }

HKEY EarlierSettingsRoot() { return HKEY_LOCAL_MACHINE; }

std::string SettingsPlaceName() { return std::string("HKEY_CURRENT_USER\\") + kSettingsKeyPath; }

std::string SettingsPlaceHelp()
{
    return "the registry key\n" + SettingsPlaceName() +
           " (until there is one, in\nHKEY_LOCAL_MACHINE\\" + kSettingsKeyPath + ")";
}

std::string SettingsSaveProblem(LSTATUS status)
{
    return "cannot save the settings in " + SettingsPlaceName() + ": " +
           std::system_category().message(static_cast<int>(status));
}
