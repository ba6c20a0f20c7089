#pragma once

#include <filesystem>
#include <string>

namespace kesto::config {

// Serialises the writers of one configuration file across threads and
// processes (flock on "<file>.lock"), so that a read-modify-write loses no
// update. Readers need no lock: the file is only ever replaced by rename.
// Creates the file's folder with folderMode when it is missing.
class ConfigWriteLock {
public:
    ConfigWriteLock(const std::filesystem::path& file, std::filesystem::perms folderMode);
    ~ConfigWriteLock();
    ConfigWriteLock(const ConfigWriteLock&) = delete;
    ConfigWriteLock& operator=(const ConfigWriteLock&) = delete;

    // 0 when the lock is held, else the errno of the failure.
    int error() const { return m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
};

// Creates the folder (and its parents) when missing; only the folder itself
// gets the mode. Returns 0 or an errno value.
int ensureFolder(const std::filesystem::path& folder, std::filesystem::perms mode);

// Writes the bytes to "<file>.new" with the given mode (whatever the umask),
// flushes them to disk, renames that over the file and flushes the folder, so
// that a crash leaves the old or the new file, never half of one. Creates the
// folder with folderMode when it is missing. Returns 0 or an errno value.
int replaceFile(const std::filesystem::path& file, const std::string& bytes, mode_t mode,
                std::filesystem::perms folderMode);

} // namespace kesto::config
