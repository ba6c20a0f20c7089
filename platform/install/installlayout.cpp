#include "installlayout.h"

#include <sys/auxv.h>

namespace kesto::install {

std::filesystem::path runningExecutable() {
    std::error_code error;
    auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        return program;
    // Without /proc (a root entered without it): the path the program was started by.
    const auto* started = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
    if (started == nullptr)
        return {};
    program = std::filesystem::weakly_canonical(std::filesystem::absolute(started, error), error);
    return error ? std::filesystem::path() : program;
}

std::optional<std::filesystem::path> installedPrefix() {
    const std::filesystem::path program = runningExecutable();
    if (program.empty())
        return std::nullopt;
    const std::filesystem::path binFolder = KESTO_INSTALL_BINDIR;
    std::filesystem::path prefix = program.parent_path();
    for (auto part = binFolder.begin(); part != binFolder.end(); ++part)
        prefix = prefix.parent_path();
    if (prefix / binFolder != program.parent_path())
        return std::nullopt;
    std::error_code error;
    if (!std::filesystem::is_directory(prefix / KESTO_INSTALL_DATADIR / "kesto", error))
        return std::nullopt;
    return prefix;
}

std::filesystem::path privateLibraryFolder(const std::filesystem::path& prefix) {
    return prefix / KESTO_INSTALL_LIBDIR / "kesto";
}

std::filesystem::path configurationFolder() {
    return std::filesystem::path(KESTO_INSTALL_SYSCONFDIR) / "kesto";
}

std::filesystem::path serviceStateFolder() {
    // systemd keeps a service's StateDirectory= under /var/lib, whatever the prefix.
    return "/var/lib/kesto";
}

std::filesystem::path serviceRuntimeFolder() {
    return "/run/kesto";
}

} // namespace kesto::install
