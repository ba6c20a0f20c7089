#include "installlayout.h"

namespace kesto::install {

std::optional<std::filesystem::path> installedPrefix() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return std::nullopt;
    const std::filesystem::path binFolder = KESTO_INSTALL_BINDIR;
    std::filesystem::path prefix = program.parent_path();
    for (auto part = binFolder.begin(); part != binFolder.end(); ++part)
        prefix = prefix.parent_path();
    if (prefix / binFolder != program.parent_path())
        return std::nullopt;
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

} // namespace kesto::install
