#include "app/SettingsPlace.h"

#include <filesystem>
#include <system_error>

#include "platform/files/Descriptor.h"
#include "platform/registry/RegistryFile.h"

namespace {

std::filesystem::path SettingsFile() { return RegistryRootFile(HKEY_LOCAL_MACHINE); }

// The nearest folder on the way to `folder` that is there: whether it can be
// written decides whether the rest can be made.
std::filesystem::path NearestFolder(std::filesystem::path folder)
{
    std::error_code ec;
    while (folder.has_relative_path() && !std::filesystem::exists(folder, ec)) {
        folder = folder.parent_path();
    }
    return folder;
}

}  // namespace

// Every root is a file of the user's own here.
HKEY SettingsRoot() { return HKEY_LOCAL_MACHINE; }

HKEY EarlierSettingsRoot() { return nullptr; }

std::string SettingsPlaceName() { return SettingsFile().string(); }

std::string SettingsPlaceHelp()
{
    return "HKEY_LOCAL_MACHINE.txt in\n"
           "$SONDERIK_CONFIG_DIR, else $XDG_CONFIG_HOME/sonderik, else ~/.config/sonderik";
}

// Why the settings file could not be written, as `status` and the system tell.
std::string SettingsSaveProblem(LSTATUS status)
{
    const std::filesystem::path folder = RegistryFolder();
    const std::string lead = "cannot save the settings in " + SettingsPlaceName() + ": ";
    if (folder.empty()) {
        return "cannot save the settings: there is no home folder to keep them in";
    }
    const std::string denied = platform::files::WriteProblem(NearestFolder(folder));
    switch (status) {
    case ERROR_ACCESS_DENIED:
    case ERROR_CANTWRITE:
        return lead + (denied.empty() ? std::string("it could not be written") : denied);
    case ERROR_CANTREAD: return lead + "it cannot be read";
    case ERROR_TIMEOUT: return lead + "another program held it too long";
    case ERROR_REGISTRY_CORRUPT: return lead + "it is corrupt and could not be set aside";
    case ERROR_KEY_DELETED: return lead + "the settings key was removed meanwhile";
    case ERROR_NOT_ENOUGH_MEMORY: return lead + "out of memory";
    default: return lead + "error " + std::to_string(status);
    }
}
