#pragma once

#include <filesystem>
#include <vector>

namespace kesto::config {

// A user's base folder of the XDG rules: the variable's value, or the
// fallback under $HOME (without HOME, the home folder of the password
// database). An unset, empty or relative value is ignored, as XDG says.
// For example xdgBaseFolder("XDG_STATE_HOME", ".local/state").
std::filesystem::path xdgBaseFolder(const char* variable, const char* fallbackUnderHome);

// The user's KESTO configuration folder: KESTO in the XDG_CONFIG_HOME base
// folder (default $HOME/.config).
std::filesystem::path userConfigFolder();

// The system-wide KESTO configuration folders, most important first: KESTO
// under each absolute entry of $XDG_CONFIG_DIRS, default /etc/xdg/KESTO.
std::vector<std::filesystem::path> systemConfigFolders();

} // namespace kesto::config
