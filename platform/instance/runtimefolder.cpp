#include "runtimefolder.h"

#include "installlayout.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kesto::instance {

namespace {

// A folder of ours that no other user can write into.
bool ownFolder(const std::filesystem::path& folder, mode_t deniedToOthers) {
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & deniedToOthers) == 0;
}

} // namespace

std::optional<std::filesystem::path> runtimeFolder() {
    // The service's user takes the service's folder whatever its environment,
    // so that a run started by hand meets the service's locks.
    const std::filesystem::path service = install::serviceRuntimeFolder();
    if (ownFolder(service, 0022))
        return service;

    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && *xdg != '\0')
        return std::filesystem::path(xdg);

    const std::filesystem::path folder = "/tmp/kesto-" + std::to_string(::getuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return std::nullopt;
    if (!ownFolder(folder, 0077))
        return std::nullopt;
    return folder;
}

} // namespace kesto::instance
