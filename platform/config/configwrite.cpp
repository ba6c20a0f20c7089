#include "configwrite.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kesto::config {

namespace {

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

int ensureFolder(const std::filesystem::path& folder, std::filesystem::perms mode) {
    std::error_code error;
    if (std::filesystem::is_directory(folder, error))
        return 0;
    std::filesystem::create_directories(folder, error);
    if (error)
        return error.value();
    std::filesystem::permissions(folder, mode, error);
    return 0;
}

ConfigWriteLock::ConfigWriteLock(const std::filesystem::path& file,
                                 std::filesystem::perms folderMode) {
    m_error = ensureFolder(file.parent_path(), folderMode);
    if (m_error != 0)
        return;
    const std::string lockFile = file.string() + ".lock";
    m_fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        m_error = errno;
        return;
    }
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            m_error = errno;
            ::close(m_fd);
            m_fd = -1;
            return;
        }
    }
}

ConfigWriteLock::~ConfigWriteLock() {
    if (m_fd >= 0)
        ::close(m_fd); // closing releases the flock
}

int replaceFile(const std::filesystem::path& file, const std::string& bytes, mode_t mode,
                std::filesystem::perms folderMode) {
    if (const int error = ensureFolder(file.parent_path(), folderMode); error != 0)
        return error;
    const std::string temporary = file.string() + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        return errno;
    // An existing temporary file keeps its old mode, and the umask narrows a new one.
    int error = 0;
    if (::fchmod(fd, mode) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0)
        error = errno != 0 ? errno : EIO;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return error;
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.c_str());
        return renameError;
    }
    // Make the rename itself durable.
    const int folderFd = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return 0;
}

} // namespace kesto::config
