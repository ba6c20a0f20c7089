#include "backupcopy.h"

#include "descriptor.h"
#include "fileops.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMostClashes = 9999;
constexpr qsizetype kLongestName = 255;
constexpr qsizetype kLongestExtension = 16;
constexpr qsizetype kChunk = 64 * 1024;
constexpr char kPartialPrefix[] = ".kesto-partial-";

bool copyByReading(int in, int out, off_t offset, off_t length) {
    char buffer[kChunk];
    while (length > 0) {
        const ssize_t got = ::pread(in, buffer, std::min<off_t>(length, kChunk), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0;
        for (ssize_t done = 0; done < got;) {
            const ssize_t written = ::pwrite(out, buffer + done, got - done, offset + done);
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0)
                return false;
            done += written;
        }
        offset += got;
        length -= got;
    }
    return true;
}

// Copies one stretch of data inside the kernel, or by reading where the file
// systems cannot (another file system on older kernels, or no support).
bool copyRange(int in, int out, off_t offset, off_t length) {
    loff_t inOffset = offset;
    loff_t outOffset = offset;
    while (length > 0) {
        const ssize_t copied =
            ::copy_file_range(in, &inOffset, out, &outOffset, static_cast<size_t>(length), 0);
        if (copied > 0) {
            length -= copied;
            continue;
        }
        if (copied == 0)
            return true; // the source is shorter than it was
        if (errno == EINTR)
            continue;
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
            return copyByReading(in, out, inOffset, length);
        return false;
    }
    return true;
}

// Copies the data stretches of the source and leaves its holes as holes.
bool copyData(int in, int out, off_t size) {
    for (off_t position = 0; position < size;) {
        off_t data = ::lseek(in, position, SEEK_DATA);
        if (data < 0 && errno == ENXIO)
            break; // only a hole is left
        if (data < 0)
            data = position; // the file system does not say where its holes are
        off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0 || hole > size)
            hole = size;
        if (!copyRange(in, out, data, hole - data))
            return false;
        position = hole;
    }
    return ::ftruncate(out, size) == 0;
}

bool sameBytes(int in, off_t size, const QByteArray& path) {
    Descriptor other(openRegularFile(path));
    struct stat info {};
    if (other.get() < 0 || ::fstat(other.get(), &info) != 0 || info.st_size != size)
        return false;
    QByteArray ours(kChunk, Qt::Uninitialized);
    QByteArray theirs(kChunk, Qt::Uninitialized);
    for (off_t offset = 0; offset < size;) {
        const ssize_t got = ::pread(in, ours.data(), kChunk, offset);
        if (got <= 0 || ::pread(other.get(), theirs.data(), got, offset) != got ||
            std::memcmp(ours.constData(), theirs.constData(), got) != 0)
            return false;
        offset += got;
    }
    return true;
}

// The process's umask, from /proc: setting it to read it back would let
// another thread create a file with no mask in between.
mode_t currentUmask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:"))
                return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
        }
    }
    return 022;
}

// The copy under a temporary name in the folder, on disk, with the source's
// times and its permission bits narrowed by the umask (a file dropped world-writable does
// not make a world-writable archive); "" and errno set when it fails.
QByteArray temporaryCopy(int in, const struct stat& source, const QByteArray& folder) {
    QByteArray path = folder + kPartialPrefix + "XXXXXX";
    Descriptor out(::mkostemp(path.data(), O_CLOEXEC));
    if (out.get() < 0)
        return {};
    // It keeps the source's modification time too, which operators sort the
    // backup folders by.
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (copyData(in, out.get(), source.st_size) &&
        ::fchmod(out.get(), source.st_mode & 0777 & ~currentUmask()) == 0 &&
        ::futimens(out.get(), times) == 0 && ::fsync(out.get()) == 0 && ::close(out.release()) == 0)
        return path;
    const int error = errno;
    ::unlink(path.constData());
    errno = error;
    return {};
}

// Gives the copy its name unless that name is taken.
int placeWithoutReplacing(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // No such rename here: a new link too fails when the name is taken.
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    ::unlink(from.constData());
    return 0;
}

} // namespace

QByteArray clashName(const QByteArray& name, int n) {
    qsizetype dot = name.lastIndexOf('.');
    if (dot <= 0 || name.size() - dot > kLongestExtension)
        dot = name.size();
    const QByteArray suffix = '.' + QByteArray::number(n);
    const QByteArray extension = name.mid(dot);
    return name.left(std::min(dot, kLongestName - suffix.size() - extension.size())) + suffix +
           extension;
}

BackupCopy copyIntoBackup(const QByteArray& sourcePath, const QByteArray& folder,
                          const QByteArray& name) {
    BackupCopy result;
    QByteArray temporary;
    const auto failWith = [&](int error, bool missingIsPath) {
        if (!temporary.isEmpty())
            ::unlink(temporary.constData());
        result.failure = stepFailureFromErrno(error, missingIsPath);
        return result;
    };
    Descriptor in(openRegularFile(sourcePath));
    struct stat source {};
    if (in.get() < 0 || ::fstat(in.get(), &source) != 0)
        return failWith(errno, false);

    for (int n = 0; n <= kMostClashes; ++n) {
        const QByteArray candidate = n == 0 ? name : clashName(name, n);
        const QByteArray target = folder + candidate;
        struct stat existing {};
        if (::lstat(target.constData(), &existing) == 0) {
            if (S_ISREG(existing.st_mode) && sameBytes(in.get(), source.st_size, target)) {
                if (!temporary.isEmpty())
                    ::unlink(temporary.constData());
                result.filedAs = candidate;
                return result;
            }
            continue;
        }
        if (errno != ENOENT)
            return failWith(errno, true);
        if (temporary.isEmpty() && (temporary = temporaryCopy(in.get(), source, folder)).isEmpty())
            return failWith(errno, true);
        const int error = placeWithoutReplacing(temporary, target);
        if (error == EEXIST) {
            --n; // taken meanwhile: look at what took it
            continue;
        }
        if (error != 0)
            return failWith(error, false);
        result.filedAs = candidate;
        return result;
    }
    return failWith(EEXIST, false);
}

void syncBackupFolder(const QByteArray& folder) {
    Descriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

int removeStalePartialCopies(const QByteArray& backupFolder, std::chrono::seconds age) {
    namespace fs = std::filesystem;
    const auto oldest = fs::file_time_type::clock::now() - age;
    int removed = 0;
    std::error_code error;
    // The backup folder, its month folders and their day folders; links are not followed.
    fs::recursive_directory_iterator it(backupFolder.toStdString(),
                                        fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it.depth() >= 2)
            it.disable_recursion_pending();
        std::error_code entryError;
        const bool stale = it->path().filename().string().rfind(kPartialPrefix, 0) == 0 &&
                           it->symlink_status(entryError).type() == fs::file_type::regular &&
                           it->last_write_time(entryError) <= oldest && !entryError;
        if (stale && fs::remove(it->path(), entryError))
            ++removed;
    }
    return removed;
}
