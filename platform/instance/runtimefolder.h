#pragma once

#include <filesystem>
#include <optional>

namespace kesto::instance {

// The user's runtime folder: the service's /run/kesto when it belongs to this
// user (the service's user kesto), else $XDG_RUNTIME_DIR when set, else
// /tmp/kesto-<uid>, created with mode 0700. A fallback folder that is a symbolic link, belongs
// to another user or is open to others is refused (nothing), so that no other
// user can hold or fake our locks.
std::optional<std::filesystem::path> runtimeFolder();

} // namespace kesto::instance
