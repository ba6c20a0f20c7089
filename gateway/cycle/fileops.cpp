#include "fileops.h"

#include "writewatch.h"

#include "sha256.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileInHand openFileInHand(const QByteArray& path) {
    FileInHand file;
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return file;
    int error = 0;
    if (::fstat(fd, &file.info) != 0)
        error = errno;
    else if (!S_ISREG(file.info.st_mode))
        error = EINVAL;
    if (error != 0) {
        ::close(fd);
        errno = error;
        return file;
    }
    file.fd = fd;
    return file;
}

int openRegularFile(const QByteArray& path) {
    return openFileInHand(path).fd;
}

QString FileInHand::fingerprint() const {
    return isOpen() ? fileFingerprint(info) : QString();
}

FileLookup lookUpAndClearReadOnly(const QByteArray& path, const FileInHand& file) {
    FileLookup lookup;
    struct stat info = file.info;
    if (!file.isOpen() && ::lstat(path.constData(), &info) != 0) {
        lookup.failure = stepFailureFromErrno(errno);
        return lookup;
    }
    if (!S_ISREG(info.st_mode)) {
        lookup.failure = stepFailureFromErrno(EINVAL);
        return lookup;
    }
    lookup.size = info.st_size;
    if (file.isOpen() && !(info.st_mode & S_IWUSR) &&
        ::fchmod(file.fd, (info.st_mode & 07777) | S_IWUSR) != 0)
        lookup.failure = stepFailureFromErrno(errno);
    return lookup;
}

ReadResult readUpTo(int fd, qint64 limit) {
    ReadResult result;
    char buffer[16 * 1024];
    while (result.bytes.size() < limit) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result.failure = stepFailureFromErrno(errno);
            break;
        }
        result.bytes.append(buffer, got);
    }
    return result;
}

ReadResult readForShowing(const FileInHand& file, const QByteArray& path, qint64 limit) {
    if (file.isOpen())
        return readUpTo(file.fd, limit);
    const int fd = openRegularFile(path);
    if (fd < 0)
        return {{}, stepFailureFromErrno(errno)};
    ReadResult read = readUpTo(fd, limit);
    ::close(fd);
    return read;
}

bool isGone(const QByteArray& folder, const QByteArray& name) {
    struct stat info {};
    return ::lstat(QByteArray(folder + name).constData(), &info) != 0 && errno == ENOENT;
}

bool lookAtFile(WriteWatch& writes, const QByteArray& name, const QByteArray& path) {
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0)
        return true;
    if (!S_ISREG(info.st_mode))
        return false;
    writes.look(name, fileFingerprint(info));
    return true;
}

std::optional<StepFailure> removeFile(const QByteArray& path) {
    if (::unlink(path.constData()) != 0)
        return stepFailureFromErrno(errno);
    return std::nullopt;
}

std::optional<StepFailure> makeFolderIfMissing(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode))
        return std::nullopt;
    if (::mkdir(native.constData(), 0755) != 0 && errno != EEXIST)
        return stepFailureFromErrno(errno, true);
    return std::nullopt;
}

QString fileFingerprint(const struct stat& info) {
    // Made several times per file: numbers joined, not arg()'s scans.
    return QString::number(info.st_dev) + u':' + QString::number(info.st_ino) + u':' +
           QString::number(info.st_size) + u':' + QString::number(info.st_mtim.tv_sec) + u'.' +
           QString::number(info.st_mtim.tv_nsec);
}

QString fileFingerprint(const QByteArray& path) {
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 ? fileFingerprint(info) : QString();
}

FileIdentity fileIdentity(const QString& name, const struct stat& info, const QByteArray& bytes) {
    FileIdentity identity;
    identity.name = name;
    identity.size = info.st_size;
    identity.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.sha256 = QString::fromLatin1(sha256(bytes).toHex());
    return identity;
}

QByteArray contentDigest(const QByteArray& path, qint64 limit) {
    const int fd = openRegularFile(path);
    if (fd < 0)
        return {};
    QFile file;
    QByteArray digest;
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const QByteArray bytes = file.read(limit);
        if (bytes.size() < limit && file.atEnd() && file.error() == QFileDevice::NoError)
            digest = sha256(bytes);
        return digest;
    }
    ::close(fd);
    return digest;
}

bool changedSinceRead(const QByteArray& path, const QString& fingerprint, const QByteArray* whole,
                      qint64 readLimit) {
    if (fileFingerprint(path) == fingerprint)
        return false;
    // Only then are the bytes compared, by their digests.
    return !whole || contentDigest(path, readLimit) != sha256(*whole);
}
