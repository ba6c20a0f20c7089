#pragma once

#include <QSqlDatabase>
#include <QString>

// How the embedded database file keeps its commits durable. A local file uses
// the write-ahead log with synchronous=FULL: a commit costs one sync of the
// log, and readers (the viewers) never wait for the writer. A file on a
// network file system (NFS, SMB/CIFS, 9p, Ceph, or FUSE, which may be one)
// keeps the rollback journal, because the write-ahead log needs shared memory
// that such file systems do not give.
bool isOnNetworkFileSystem(const QString& path);
void useDurableJournal(QSqlDatabase& db, const QString& filePath);
