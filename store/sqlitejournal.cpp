#include "sqlitejournal.h"

#include <QFile>
#include <QSqlQuery>

#include <sys/vfs.h>

namespace {
// f_type values of statfs(2) for network file systems (and FUSE, which may
// be one), where the write-ahead log's shared memory cannot be trusted.
constexpr unsigned long kNfs = 0x6969;
constexpr unsigned long kSmb = 0x517B;
constexpr unsigned long kCifs = 0xFF534D42;
constexpr unsigned long kSmb2 = 0xFE534D42;
constexpr unsigned long kFuse = 0x65735546;
constexpr unsigned long kNineP = 0x01021997;
constexpr unsigned long kCeph = 0x00C36400;
// The write-ahead log's length at which a commit checkpoints it: about 40 MB
// of 4 kB pages.
constexpr int kPagesBetweenCheckpoints = 10000;
} // namespace

bool isOnNetworkFileSystem(const QString& path) {
    struct statfs info {};
    if (::statfs(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    const auto type = static_cast<unsigned long>(info.f_type);
    return type == kNfs || type == kSmb || type == kCifs || type == kSmb2 || type == kFuse ||
           type == kNineP || type == kCeph;
}

void useDurableJournal(QSqlDatabase& db, const QString& filePath) {
    QSqlQuery query(db);
    // The mode is kept in the file; a file on a network share is set back to
    // the rollback journal should it have been switched elsewhere.
    const bool network = isOnNetworkFileSystem(filePath);
    query.exec(network ? QStringLiteral("PRAGMA journal_mode=DELETE")
                       : QStringLiteral("PRAGMA journal_mode=WAL"));
    query.finish();
    if (!network) {
        // A checkpoint copies each page changed since the last one once,
        // however often it changed: a version changes some fifty pages, mostly
        // the same index pages, and checkpoints every 1,000 pages (the
        // default) copied those again after every twenty versions of a drain.
        query.exec(QStringLiteral("PRAGMA wal_autocheckpoint=%1").arg(kPagesBetweenCheckpoints));
        query.finish();
    }
    query.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    query.finish();
    // Up to 16 MB of pages kept by the connection (2 MB by default): the
    // upper pages of every index of a large history stay read.
    query.exec(QStringLiteral("PRAGMA cache_size=-16384"));
    query.finish();
}
