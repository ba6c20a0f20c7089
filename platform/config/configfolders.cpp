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

std::filesystem::path userConfigFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::filesystem::path base = (config != nullptr && config[0] == '/')
                                           ? std::filesystem::path(config)
                                           : homeFolder() / ".config";
    return base / "KESTO";
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
