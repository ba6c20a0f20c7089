#include "configfolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace kesto::config {

namespace {

std::filesystem::path homeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0')
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return "/";
}

} // namespace

std::filesystem::path xdgBaseFolder(const char* variable, const char* fallbackUnderHome) {
    const char* value = std::getenv(variable);
    return (value != nullptr && value[0] == '/') ? std::filesystem::path(value)
                                                 : homeFolder() / fallbackUnderHome;
}

std::filesystem::path userConfigFolder() {
    return xdgBaseFolder("XDG_CONFIG_HOME", ".config") / "KESTO";
}

std::vector<std::filesystem::path> systemConfigFolders() {
    std::vector<std::filesystem::path> folders;
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::string_view rest = dirs != nullptr ? dirs : "";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::string_view entry = rest.substr(0, colon);
        if (!entry.empty() && entry.front() == '/')
            folders.push_back(std::filesystem::path(entry) / "KESTO");
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
    if (folders.empty())
        folders.emplace_back("/etc/xdg/KESTO");
    return folders;
}

} // namespace kesto::config
