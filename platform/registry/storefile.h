#pragma once

#include "configwrite.h"
#include "storeformat.h"

#include <filesystem>
#include <string>

namespace kesto::registry {

enum class Status {
    Ok,
    NotFound,        // no such key or value
    AccessDenied,    // the store file or its folder cannot be read or written
    Corrupt,         // the store file exists but is not a store (see parseStore)
    IoError,         // another failure of the file system
    InvalidArgument, // a name the store cannot hold
    MoreData,        // the caller's buffer is smaller than the value's data
};

const char* statusText(Status status);

// settings.reg in the user's configuration folder (config::userConfigFolder).
std::filesystem::path defaultStoreFile();

struct LoadedStore {
    Status status = Status::Ok;
    StoreContent content;
    std::string error; // what was wrong with a corrupt or unreadable file
};

// Reads and parses the store. A missing file is an empty store.
LoadedStore loadStoreFile(const std::filesystem::path& file);

// Serialises writers of one store across threads and processes (flock on a
// lock file beside the store), so that read-modify-write loses no update.
// Readers need no lock: the store file is only ever replaced by rename.
class StoreWriteLock {
public:
    explicit StoreWriteLock(const std::filesystem::path& storeFile);

    Status status() const { return m_status; }

private:
    config::ConfigWriteLock m_lock;
    Status m_status;
};

// Writes the content to a temporary file beside the store (mode 0600), flushes
// it to disk and renames it over the store, so that a crash leaves either the
// old or the new store, never a half-written one. Creates the folder (0700).
Status saveStoreFile(const std::filesystem::path& file, const StoreContent& content);

// Moves a corrupt store aside as "<file>.corrupt" (or ".corrupt.1", ".corrupt.2",
// ... when taken) so that starting a fresh store destroys nothing. Returns the
// new name, or an empty path when the rename failed.
std::filesystem::path setCorruptStoreAside(const std::filesystem::path& file);

} // namespace kesto::registry
