#include "fileops.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

bool writeAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

} // namespace

FileLookup lookUpAndClearReadOnly(const QString& path) {
    FileLookup lookup;
    struct stat info {};
    if (::stat(native(path).constData(), &info) != 0) {
        lookup.failure = stepFailureFromErrno(errno);
        return lookup;
    }
    lookup.size = info.st_size;
    if (!(info.st_mode & S_IWUSR) &&
        ::chmod(native(path).constData(), (info.st_mode & 07777) | S_IWUSR) != 0)
        lookup.failure = stepFailureFromErrno(errno);
    return lookup;
}

std::optional<StepFailure> copyFileDurably(const QString& source, const QString& target) {
    Descriptor in(::open(native(source).constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return stepFailureFromErrno(errno);
    // Written under a temporary name beside the target and renamed over it
    // only when complete and on disk, so a failed copy never destroys an
    // earlier good copy of the same name.
    const QByteArray targetName = native(target);
    const QFileInfo targetInfo(target);
    const QByteArray partName = native(targetInfo.path() + QStringLiteral("/.") +
                                       targetInfo.fileName() + QStringLiteral(".kesto-partial"));
    Descriptor out(::open(partName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (out.get() < 0)
        return stepFailureFromErrno(errno, true);

    const auto failWith = [&partName](int error) {
        ::unlink(partName.constData());
        return stepFailureFromErrno(error);
    };
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(in.get(), buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || !writeAll(out.get(), buffer, got))
            return failWith(errno);
    }
    if (::fsync(out.get()) != 0 || ::close(out.release()) != 0)
        return failWith(errno);
    if (::rename(partName.constData(), targetName.constData()) != 0)
        return failWith(errno);
    // The folder entry too must be on disk before the original goes.
    Descriptor folder(
        ::open(native(targetInfo.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0)
        ::fsync(folder.get());
    return std::nullopt;
}

std::optional<StepFailure> removeFile(const QString& path) {
    if (::unlink(native(path).constData()) != 0)
        return stepFailureFromErrno(errno);
    return std::nullopt;
}

std::optional<StepFailure> makeFolderIfMissing(const QString& path) {
    struct stat info {};
    if (::stat(native(path).constData(), &info) == 0 && S_ISDIR(info.st_mode))
        return std::nullopt;
    if (::mkdir(native(path).constData(), 0755) != 0 && errno != EEXIST)
        return stepFailureFromErrno(errno, true);
    return std::nullopt;
}

QString fileFingerprint(const QString& path) {
    struct stat info {};
    if (::stat(native(path).constData(), &info) != 0)
        return {};
    return QStringLiteral("%1:%2:%3:%4.%5")
        .arg(info.st_dev)
        .arg(info.st_ino)
        .arg(info.st_size)
        .arg(info.st_mtim.tv_sec)
        .arg(info.st_mtim.tv_nsec);
}

std::optional<FileIdentity> fileIdentity(const QString& name, int fd, const QByteArray& bytes) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    FileIdentity identity;
    identity.name = name;
    identity.size = info.st_size;
    identity.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.sha256 =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    return identity;
}
