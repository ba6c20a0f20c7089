#pragma once

#include <filesystem>
#include <vector>

namespace kesto::config {

// The user's KESTO configuration folder: $XDG_CONFIG_HOME/KESTO, or
// $HOME/.config/KESTO (without HOME, the home folder of the password
// database). An unset, empty or relative XDG_CONFIG_HOME is ignored, as the
// XDG base-directory rules say.
std::filesystem::path userConfigFolder();

// The system-wide KESTO configuration folders, most important first: KESTO
// under each absolute entry of $XDG_CONFIG_DIRS, default /etc/xdg/KESTO.
std::vector<std::filesystem::path> systemConfigFolders();

} // namespace kesto::config
