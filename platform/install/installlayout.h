#pragma once

#include <filesystem>
#include <optional>

// An installed program lives in PREFIX/bin beside PREFIX/share/kesto; a
// program run from its build folder has no such folder and keeps everything
// beside its executable.
namespace kesto::install {

// The running program's file: /proc/self/exe, or without /proc the path it
// was started by; empty when neither can be had.
std::filesystem::path runningExecutable();

// PREFIX of the running program when it is installed, else nothing.
std::optional<std::filesystem::path> installedPrefix();

// PREFIX/<libdir>/kesto: the libraries of the object model.
std::filesystem::path privateLibraryFolder(const std::filesystem::path& prefix);

// /etc/kesto (for the prefix /usr): the system-wide configuration, PALVA.INI.
std::filesystem::path configurationFolder();

// /var/lib/kesto: the home and state folder of the service's user kesto.
std::filesystem::path serviceStateFolder();

// /run/kesto: the runtime folder (instance locks) of the service's user.
std::filesystem::path serviceRuntimeFolder();

} // namespace kesto::install
