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
#include <utility>

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

// The process's umask, from /proc, read once: setting it to read it back
// would let another thread create a file with no mask in between, and
// nothing in the gateway changes it.
mode_t currentUmask() {
    static const mode_t mask = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("Umask:"))
                    return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
            }
        }
        return mode_t(022);
    }();
    return mask;
}

// The mode a filed file has: the source's permission bits narrowed by the
// umask (a file dropped world-writable does not make a world-writable archive).
mode_t filedMode(const struct stat& source) {
    return source.st_mode & 0777 & ~currentUmask();
}

// The copy under a temporary name in the folder, with the source's times and
// filed mode; "" and errno set when it fails. Its bytes reach the disk with
// the next sync of the file system, or at once when `flush`.
QByteArray temporaryCopy(int in, const struct stat& source, const QByteArray& folder,
                         bool flush) {
    QByteArray path = folder + kPartialPrefix + "XXXXXX";
    Descriptor out(::mkostemp(path.data(), O_CLOEXEC));
    if (out.get() < 0)
        return {};
    // It keeps the source's modification time too, which operators sort the
    // backup folders by.
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (copyData(in, out.get(), source.st_size) && ::fchmod(out.get(), filedMode(source)) == 0 &&
        ::futimens(out.get(), times) == 0 && (!flush || ::fsync(out.get()) == 0) &&
        ::close(out.release()) == 0)
        return path;
    const int error = errno;
    ::unlink(path.constData());
    errno = error;
    return {};
}

// Gives the file its name unless that name is taken; 0 or errno.
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

// Gives the file a second name in the folder unless that name is taken; 0 or errno.
int linkWithoutReplacing(const QByteArray& from, const QByteArray& to) {
    return ::link(from.constData(), to.constData()) == 0 ? 0 : errno;
}

// Whether the file in hand may be filed as it is, under a second name: on the
// folder's file system, its only link (another name would still reach the
// archived bytes once the original is deleted), and with the filed mode, which
// it is given here when it lacks it.
bool linkable(int in, const struct stat& source, dev_t folderDevice) {
    if (source.st_dev != folderDevice || source.st_nlink != 1)
        return false;
    const mode_t mode = filedMode(source);
    return (source.st_mode & 07777) == mode || ::fchmod(in, mode) == 0;
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

BackupFiling::BackupFiling(const QByteArray& sourcePath, const QByteArray& folder,
                           dev_t folderDevice, bool flushNow)
    : m_source(sourcePath), m_folder(folder), m_in(openRegularFile(sourcePath)) {
    if (m_in.get() < 0 || ::fstat(m_in.get(), &m_info) != 0) {
        m_failure = stepFailureFromErrno(errno);
        return;
    }
    if (linkable(m_in.get(), m_info, folderDevice)) {
        if (flushNow && ::fsync(m_in.get()) != 0)
            m_failure = stepFailureFromErrno(errno);
        return;
    }
    m_temporary = temporaryCopy(m_in.get(), m_info, folder, flushNow);
    if (m_temporary.isEmpty())
        m_failure = stepFailureFromErrno(errno, true);
}

BackupFiling::BackupFiling(BackupFiling&& other) noexcept
    : m_source(std::move(other.m_source)), m_folder(std::move(other.m_folder)),
      m_in(std::move(other.m_in)), m_info(other.m_info),
      m_temporary(std::exchange(other.m_temporary, QByteArray())),
      m_failure(std::move(other.m_failure)) {}

BackupFiling::~BackupFiling() {
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
}

BackupCopy BackupFiling::place(const QByteArray& name) {
    BackupCopy result;
    if (m_failure) {
        result.failure = m_failure;
        return result;
    }
    for (int n = 0; n <= kMostClashes; ++n) {
        const QByteArray candidate = n == 0 ? name : clashName(name, n);
        const QByteArray target = m_folder + candidate;
        struct stat existing {};
        if (::lstat(target.constData(), &existing) == 0) {
            if (S_ISREG(existing.st_mode) && sameBytes(m_in.get(), m_info.st_size, target)) {
                result.filedAs = candidate;
                return result;
            }
            continue;
        }
        if (errno != ENOENT) {
            result.failure = stepFailureFromErrno(errno, true);
            return result;
        }
        const int error = isCopy() ? placeWithoutReplacing(m_temporary, target)
                                   : linkWithoutReplacing(m_source, target);
        if (error == EEXIST) {
            --n; // taken meanwhile: look at what took it
            continue;
        }
        if (error != 0 && !isCopy()) {
            // Another mount of the same file system, a file the kernel will
            // not let this user link, or too many links: copied after all, and
            // this copy, made after the sync, is flushed on its own.
            m_temporary = temporaryCopy(m_in.get(), m_info, m_folder, true);
            if (m_temporary.isEmpty()) {
                result.failure = stepFailureFromErrno(errno, true);
                return result;
            }
            --n;
            continue;
        }
        if (error != 0) {
            result.failure = stepFailureFromErrno(error, false);
            return result;
        }
        result.filedAs = candidate;
        m_temporary.clear();
        return result;
    }
    result.failure = stepFailureFromErrno(EEXIST, false);
    return result;
}

bool syncFileSystem(const QByteArray& folder) {
    Descriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.get() >= 0 && ::syncfs(fd.get()) == 0;
}

void syncFolder(const QByteArray& folder) {
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
