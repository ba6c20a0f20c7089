#include "storefile.h"

#include "configfolders.h"
#include "configwrite.h"

#include <cerrno>
#include <fcntl.h>
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
    return config::userConfigFolder() / "settings.reg";
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

StoreWriteLock::StoreWriteLock(const std::filesystem::path& storeFile)
    : m_lock(storeFile, std::filesystem::perms::owner_all),
      m_status(m_lock.error() == 0 ? Status::Ok : statusFromErrno(m_lock.error())) {}

Status saveStoreFile(const std::filesystem::path& file, const StoreContent& content) {
    const int error =
        config::replaceFile(file, serializeStore(content), 0600, std::filesystem::perms::owner_all);
    return error == 0 ? Status::Ok : statusFromErrno(error);
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
