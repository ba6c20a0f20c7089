#include "downloadlisting.h"

#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// The file type of the entry without following a link; 0 when it is gone.
mode_t entryType(DIR* dir, const dirent* entry) {
    switch (entry->d_type) {
    case DT_REG:
        return S_IFREG;
    case DT_DIR:
        return S_IFDIR;
    case DT_LNK:
        return S_IFLNK;
    case DT_FIFO:
        return S_IFIFO;
    case DT_SOCK:
        return S_IFSOCK;
    case DT_CHR:
        return S_IFCHR;
    case DT_BLK:
        return S_IFBLK;
    default:
        break;
    }
    // File systems that do not fill d_type need a look.
    struct stat info {};
    if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return 0;
    return info.st_mode & S_IFMT;
}

QString foreignKind(mode_t type) {
    switch (type) {
    case S_IFLNK:
        return QStringLiteral("a symbolic link");
    case S_IFIFO:
        return QStringLiteral("a FIFO");
    case S_IFSOCK:
        return QStringLiteral("a socket");
    default:
        return QStringLiteral("a device");
    }
}

} // namespace

DownloadListing listDownloadFolder(const QString& folder) {
    DownloadListing listing;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        listing.failure = stepFailure(kBadFileNameOrNumber);
        return listing;
    }
    struct stat folderInfo {};
    const quint64 device = ::fstat(::dirfd(dir), &folderInfo) == 0 ? folderInfo.st_dev : 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0)
                listing.failure = stepFailureFromErrno(errno);
            break;
        }
        const mode_t type = entryType(dir, entry);
        if (type == S_IFREG)
            listing.names.append(QByteArray(entry->d_name));
        else if (type != S_IFDIR && type != 0)
            listing.foreign.append(
                {QByteArray(entry->d_name), foreignKind(type), device, entry->d_ino});
    }
    ::closedir(dir);
    return listing;
}

bool isSkippedName(const QString& name) {
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return true;
    const QString upper = name.toUpper();
    return upper.contains(QLatin1String("TEMP")) || upper.contains(QLatin1String("MIRFILE.TXT"));
}

bool isSkippedName(const QByteArray& name) {
    // A byte that is not UTF-8 reads as U+FFFD, which is in neither word.
    return isSkippedName(QString::fromUtf8(name));
}
