#include "storefile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kesto::registry {

namespace {

Status statusFromErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return Status::AccessDenied;
    case ENOENT:
        return Status::NotFound;
    default:
        return Status::IoError;
    }
}

std::filesystem::path homeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0')
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return "/";
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

Status ensureFolder(const std::filesystem::path& folder) {
    std::error_code error;
    if (std::filesystem::is_directory(folder, error))
        return Status::Ok;
    std::filesystem::create_directories(folder, error);
    if (error)
        return statusFromErrno(error.value());
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, error);
    return Status::Ok;
}

} // namespace

const char* statusText(Status status) {
    switch (status) {
    case Status::Ok:
        return "ok";
    case Status::NotFound:
        return "not found";
    case Status::AccessDenied:
        return "access denied";
    case Status::Corrupt:
        return "the settings store is damaged";
    case Status::IoError:
        return "input/output error";
    case Status::InvalidArgument:
        return "invalid name";
    case Status::MoreData:
        return "more data is available";
    }
    return "unknown status";
}

std::filesystem::path defaultStoreFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::filesystem::path base = (config != nullptr && *config != '\0')
                                           ? std::filesystem::path(config)
                                           : homeFolder() / ".config";
    return base / "KESTO" / "settings.reg";
}

LoadedStore loadStoreFile(const std::filesystem::path& file) {
    LoadedStore loaded;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) {
            loaded.status = statusFromErrno(errno);
            loaded.error = file.string() + ": " + statusText(loaded.status);
        }
        return loaded;
    }
    std::string bytes;
    char buffer[8192];
    while (true) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            // Reading a folder fails here with EISDIR: the store is not usable.
            loaded.status = errno == EISDIR ? Status::Corrupt : statusFromErrno(errno);
            loaded.error = file.string() + ": cannot read";
            ::close(fd);
            return loaded;
        }
        if (count == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    if (auto content = parseStore(bytes, loaded.error)) {
        loaded.content = std::move(*content);
    } else {
        loaded.status = Status::Corrupt;
        loaded.error = file.string() + ": " + loaded.error;
    }
    return loaded;
}

StoreWriteLock::StoreWriteLock(const std::filesystem::path& storeFile) {
    m_status = ensureFolder(storeFile.parent_path());
    if (m_status != Status::Ok)
        return;
    const std::filesystem::path lockFile = storeFile.string() + ".lock";
    m_fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        m_status = statusFromErrno(errno);
        return;
    }
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            m_status = statusFromErrno(errno);
            return;
        }
    }
}

StoreWriteLock::~StoreWriteLock() {
    if (m_fd >= 0)
        ::close(m_fd); // closing releases the flock
}

Status saveStoreFile(const std::filesystem::path& file, const StoreContent& content) {
    if (const Status folder = ensureFolder(file.parent_path()); folder != Status::Ok)
        return folder;
    const std::filesystem::path temporary = file.string() + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return statusFromErrno(errno);
    const bool written =
        ::fchmod(fd, 0600) == 0 && writeAll(fd, serializeStore(content)) && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(temporary.c_str());
        return written ? Status::IoError : statusFromErrno(writeError);
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.c_str());
        return statusFromErrno(renameError);
    }
    // Make the rename itself durable.
    const int folderFd = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return Status::Ok;
}

std::filesystem::path setCorruptStoreAside(const std::filesystem::path& file) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::filesystem::path target = file.string() + ".corrupt";
        if (attempt > 0)
            target += "." + std::to_string(attempt);
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(target, error)))
            continue;
        // link + unlink never replaces a copy that appeared meanwhile; a folder
        // (which cannot be hard-linked) is renamed instead.
        if (::link(file.c_str(), target.c_str()) == 0) {
            ::unlink(file.c_str());
            return target;
        }
        if (errno == EEXIST)
            continue;
        if (::rename(file.c_str(), target.c_str()) == 0)
            return target;
        return {};
    }
    return {};
}

} // namespace kesto::registry
