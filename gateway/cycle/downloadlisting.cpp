#include "downloadlisting.h"

#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace {

bool isOrdinaryFile(DIR* dir, const dirent* entry) {
    if (entry->d_type == DT_REG)
        return true;
    if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK)
        return false;
    // File systems that do not fill d_type, and links to files, need a look.
    struct stat info {};
    return ::fstatat(::dirfd(dir), entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
}

} // namespace

DownloadListing listDownloadFolder(const QString& folder) {
    DownloadListing listing;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        listing.failure = stepFailure(kBadFileNameOrNumber);
        return listing;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0)
                listing.failure = stepFailureFromErrno(errno);
            break;
        }
        if (isOrdinaryFile(dir, entry))
            listing.names.append(QFile::decodeName(entry->d_name));
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
