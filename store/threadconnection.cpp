#include "threadconnection.h"

#include "connectiontext.h"
#include "groupcommit.h"
#include "preparedquery.h"
#include "sqlitejournal.h"
#include "sqlitewrite.h"
#include "storeerror.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <optional>

#include <sys/stat.h>

namespace {

std::atomic<quint64> g_nextConnection{1};

// The calling thread's connection names by connection text. Removing them when
// a worker thread ends keeps QtSql's registry clean; on the main thread the
// application object is gone by then, and the process is ending anyway.
struct ThreadConnections {
    QHash<QString, QString> names;
    ~ThreadConnections() {
        // The statements prepared on a connection go before it does.
        for (const QString& name : std::as_const(names))
            forgetPreparedStatements(name);
        if (QCoreApplication::instance() == nullptr)
            return;
        for (const QString& name : std::as_const(names))
            QSqlDatabase::removeDatabase(name);
    }
};

thread_local ThreadConnections t_connections;
// Connection texts with a version transaction open on this thread.
thread_local QSet<QString> t_inTransaction;

// The transaction the thread's versions share on a connection.
struct SharedTransaction {
    bool open = false;
    int versions = 0;  // released into it
    bool lost = false; // versions released into one were not stored
};
thread_local QHash<QString, SharedTransaction> t_shared;
// The most versions one shared transaction takes.
constexpr int kSharedVersions = 16;

// A shared transaction that ended without its commit: the versions released
// into it are lost.
void sharedEndedUncommitted(SharedTransaction& shared) {
    shared.lost = shared.lost || shared.versions > 0;
    shared.open = false;
    shared.versions = 0;
}

// The shared transaction of a connection that is closed ends with it.
void sharedEndsWithConnection(const QString& connectionText) {
    const auto found = t_shared.find(connectionText);
    if (found != t_shared.end() && found->open)
        sharedEndedUncommitted(*found);
}

// The file an embedded database connection opened, by device and inode.
struct OpenedFile {
    QString path;
    dev_t device = 0;
    ino_t inode = 0;
};
thread_local QHash<QString, OpenedFile> t_openedFiles;

std::optional<OpenedFile> fileAt(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return OpenedFile{path, info.st_dev, info.st_ino};
}

// Whether the embedded database file a connection opened is still the one at
// its path: a file moved away or replaced underneath is opened afresh.
bool stillTheOpenedFile(const QString& connectionText) {
    const auto opened = t_openedFiles.constFind(connectionText);
    if (opened == t_openedFiles.cend() || t_inTransaction.contains(connectionText))
        return true;
    const std::optional<OpenedFile> now = fileAt(opened->path);
    return now && now->device == opened->device && now->inode == opened->inode;
}

// SQLite result codes that say the file cannot be used now rather than that
// it refuses a statement: busy, locked, no memory, read-only, I/O error,
// damaged, full, cannot open, lock protocol, not a database.
bool isUnusableSqliteCode(qint32 number) {
    switch (number & 0xff) {
    case 5:
    case 6:
    case 7:
    case 8:
    case 10:
    case 11:
    case 13:
    case 14:
    case 15:
    case 26:
        return true;
    default:
        return false;
    }
}

void removeConnection(const QString& name) {
    forgetPreparedStatements(name);
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void openOrThrow(QSqlDatabase& db, const ConnectionTarget& target) {
    if (target.engine == DbEngine::Sqlite) {
        const QFileInfo file(target.filePath);
        if (!file.exists())
            throw StoreError(StoreError::kProviderFailure,
                             QStringLiteral("Could not find file '%1'.").arg(target.filePath),
                             StoreError::Cause::Connection);
        if (!file.isFile())
            throw StoreError(StoreError::kProviderFailure,
                             QStringLiteral("'%1' is not a file.").arg(target.filePath),
                             StoreError::Cause::Connection);
        // Viewers read while the cycle writes: wait for a lock rather than fail.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    } else {
        db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=15"));
    }
    if (!db.open())
        throw StoreError::fromSqlError(db.lastError(), StoreError::Cause::Connection);
    if (target.engine == DbEngine::Sqlite) {
        // SQLite opens any file lazily; reading the catalogue finds a damaged one.
        QSqlQuery probe(db);
        if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
            throw StoreError::fromSqlError(probe.lastError(), StoreError::Cause::Connection);
        probe.finish();
        useDurableJournal(db, target.filePath);
    }
}

} // namespace

QSqlDatabase threadConnection(const QString& connectionText) {
    const auto found = t_connections.names.constFind(connectionText);
    if (found != t_connections.names.constEnd()) {
        {
            QSqlDatabase db = QSqlDatabase::database(*found, false);
            if (db.isOpen() && stillTheOpenedFile(connectionText))
                return db;
        }
        // A fresh connection would go on outside the open transaction and
        // commit the rest of a version row by row.
        if (t_inTransaction.contains(connectionText))
            throw StoreError(StoreError::kProviderFailure,
                             QStringLiteral("The connection was lost inside a transaction"),
                             StoreError::Cause::Connection);
        removeConnection(*found);
        t_connections.names.remove(connectionText);
        t_openedFiles.remove(connectionText);
        sharedEndsWithConnection(connectionText);
    }
    const ConnectionTarget target = translateConnectionText(connectionText);
    if (!target.valid)
        throw StoreError(StoreError::kProviderFailure,
                         QStringLiteral("Unrecognised connection text: %1").arg(connectionText),
                         StoreError::Cause::Connection);
    const QString name = QStringLiteral("kesto-store-%1").arg(g_nextConnection++);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(target.qtDriver, name);
        if (!db.isValid()) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw StoreError(
                StoreError::kProviderFailure,
                QStringLiteral("Database driver %1 is not available").arg(target.qtDriver),
                StoreError::Cause::Connection);
        }
        db.setDatabaseName(target.databaseName);
        try {
            openOrThrow(db, target);
        } catch (const StoreError&) {
            db = QSqlDatabase();
            removeConnection(name);
            throw;
        }
    }
    t_connections.names.insert(connectionText, name);
    if (target.engine == DbEngine::Sqlite) {
        if (const std::optional<OpenedFile> file = fileAt(target.filePath))
            t_openedFiles.insert(connectionText, *file);
    }
    QSqlDatabase db = QSqlDatabase::database(name, false);
    connectionOpenedOnThisThread(db, connectionText);
    return db;
}

DbEngine engineOf(const QSqlDatabase& db) {
    if (db.driverName() == QLatin1String("QSQLITE"))
        return DbEngine::Sqlite;
    switch (db.driver() ? db.driver()->dbmsType() : QSqlDriver::UnknownDbms) {
    case QSqlDriver::PostgreSQL:
        return DbEngine::PostgreSql;
    case QSqlDriver::MSSqlServer:
        return DbEngine::SqlServer;
    default:
        return engineForOdbcDriver(db.databaseName().section(QLatin1Char('}'), 0, 0).mid(8));
    }
}

bool checkThreadConnection(const QString& connectionText) {
    if (t_inTransaction.contains(connectionText))
        return true;
    const auto found = t_connections.names.constFind(connectionText);
    if (found == t_connections.names.constEnd())
        return true;
    bool sqlite = false;
    bool alive = false;
    {
        QSqlDatabase db = QSqlDatabase::database(*found, false);
        // An embedded database file that was moved or replaced while open can
        // still be read through the old handle but never written again, so a
        // failed SQLite connection is always opened afresh (at the cost of a
        // checkpoint and a cold page cache, so only after a failed statement).
        sqlite = engineOf(db) == DbEngine::Sqlite;
        if (!sqlite) {
            QSqlQuery ping(db);
            alive = db.isOpen() && ping.exec(QStringLiteral("SELECT 1"));
        }
    }
    if (!alive) {
        removeConnection(*found);
        t_connections.names.remove(connectionText);
        t_openedFiles.remove(connectionText);
        sharedEndsWithConnection(connectionText);
    }
    return alive || sqlite;
}

StoreError afterFailedStatement(const QString& connectionText, DbEngine engine,
                                const StoreError& error) {
    if (error.cause() != StoreError::Cause::Statement)
        return error;
    const bool answers = checkThreadConnection(connectionText);
    const bool unusable =
        engine == DbEngine::Sqlite ? isUnusableSqliteCode(error.number()) : !answers;
    if (!unusable)
        return error;
    return StoreError(error.number(), error.description(), StoreError::Cause::Connection);
}

namespace {

void beginTransaction(const QString& connectionText) {
    QSqlDatabase db = threadConnection(connectionText);
    const DbEngine engine = engineOf(db);
    bool begun = false;
    QSqlError failure;
    if (engine == DbEngine::Sqlite) {
        QSqlQuery begin(db);
        begun = begin.exec(QStringLiteral("BEGIN IMMEDIATE"));
        failure = begin.lastError();
    } else {
        begun = db.transaction();
        failure = db.lastError();
    }
    if (!begun) {
        db = QSqlDatabase();
        throw afterFailedStatement(connectionText, engine, StoreError::fromSqlError(failure));
    }
    t_inTransaction.insert(connectionText);
}

void commitTransaction(const QString& connectionText) {
    QSqlDatabase db = threadConnection(connectionText);
    if (db.commit()) {
        t_inTransaction.remove(connectionText);
        committedOnThisThread(connectionText);
        return;
    }
    const StoreError error = StoreError::fromSqlError(db.lastError());
    const DbEngine engine = engineOf(db);
    db = QSqlDatabase();
    throw afterFailedStatement(connectionText, engine, error);
}

// Rolls back the open transaction; whether the server still answers. After a
// failure that may lie with the connection (`suspect`), the connection is
// checked, and a SQLite one opened afresh.
bool rollbackTransaction(const QString& connectionText, bool suspect = true) {
    if (!t_inTransaction.remove(connectionText))
        return true;
    const auto found = t_connections.names.constFind(connectionText);
    if (found == t_connections.names.constEnd())
        return false;
    bool rolledBack = false;
    bool sqlite = false;
    {
        QSqlDatabase db = QSqlDatabase::database(*found, false);
        sqlite = engineOf(db) == DbEngine::Sqlite;
        rolledBack = db.rollback();
        if (!rolledBack && sqlite) {
            // SQLite may have rolled back by itself already (after a full disk
            // or an I/O error); a statement rolls back whatever is left.
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        }
    }
    if (!rolledBack && !sqlite) {
        // The connection may be left outside autocommit: it is not used again.
        const bool answers = checkThreadConnection(connectionText);
        closeThreadConnection(connectionText);
        return answers;
    }
    if (rolledBack && !suspect)
        return true;
    return checkThreadConnection(connectionText);
}

// Whether a failure may lie with the connection. A value the store refused
// before its statement ran does not: the connection answered every statement,
// and opening it afresh would cost a SQLite file its checkpoint, its log and
// its page cache.
bool connectionSuspect(const StoreError& error) {
    return error.cause() != StoreError::Cause::Data;
}

// Commits the shared transaction if it is open; when that fails, its
// versions are lost.
void commitOpenShared(const QString& connectionText, SharedTransaction& shared) {
    if (!shared.open)
        return;
    try {
        commitTransaction(connectionText);
        shared.open = false;
        shared.versions = 0;
    } catch (const StoreError&) {
        sharedEndedUncommitted(shared);
        rollbackTransaction(connectionText);
    }
}

} // namespace

void runInThreadTransaction(const QString& connectionText, const std::function<void()>& work) {
    // SQLite has no transaction inside another: the shared one goes first.
    if (const auto found = t_shared.find(connectionText); found != t_shared.end())
        commitOpenShared(connectionText, *found);
    beginTransaction(connectionText);
    try {
        work();
        commitTransaction(connectionText);
    } catch (const StoreError& error) {
        // A server that no longer answers after the rollback cut the work off.
        const bool answers = rollbackTransaction(connectionText, connectionSuspect(error));
        if (!answers && error.cause() == StoreError::Cause::Statement)
            throw StoreError(error.number(), error.description(), StoreError::Cause::Connection);
        throw;
    } catch (...) {
        rollbackTransaction(connectionText);
        throw;
    }
}

void closeThreadConnection(const QString& connectionText) {
    sharedEndsWithConnection(connectionText);
    t_inTransaction.remove(connectionText);
    t_openedFiles.remove(connectionText);
    const QString name = t_connections.names.take(connectionText);
    if (!name.isEmpty())
        removeConnection(name);
}

void closeThreadConnections() {
    for (auto it = t_shared.begin(); it != t_shared.end(); ++it)
        sharedEndsWithConnection(it.key());
    t_inTransaction.clear();
    t_openedFiles.clear();
    const QHash<QString, QString> names = std::exchange(t_connections.names, {});
    for (const QString& name : names)
        removeConnection(name);
}

namespace {

// A savepoint statement of the shared transaction, kept prepared: Qt's
// driver would prepare it again for each version.
void execOrThrow(const QString& connectionText, const QString& statement) {
    QSqlDatabase db = threadConnection(connectionText);
    try {
        execStatement(db, statement);
    } catch (const StoreError& error) {
        db = QSqlDatabase();
        throw afterFailedStatement(connectionText, DbEngine::Sqlite, error);
    }
}

bool execQuietly(const QString& connectionText, const QString& statement) {
    const auto found = t_connections.names.constFind(connectionText);
    if (found == t_connections.names.constEnd())
        return false;
    QSqlDatabase db = QSqlDatabase::database(*found, false);
    return QSqlQuery(db).exec(statement);
}

// After a version failed: its savepoint is undone and the versions before it
// are committed.
void endSharedAfterFailure(const QString& connectionText, SharedTransaction& shared) {
    // A statement that failed may have rolled the whole transaction back
    // (SQLite does on a full disk or an I/O error): then the savepoint is gone.
    if (execQuietly(connectionText, QStringLiteral("ROLLBACK TO KVER")) &&
        execQuietly(connectionText, QStringLiteral("RELEASE KVER"))) {
        commitOpenShared(connectionText, shared);
        return;
    }
    sharedEndedUncommitted(shared);
    rollbackTransaction(connectionText);
}

} // namespace

void runVersionTransaction(const QString& connectionText, const std::function<void()>& work) {
    if (!versionTransactionsShared(connectionText)) {
        runInThreadTransaction(connectionText, work);
        return;
    }
    SharedTransaction& shared = t_shared[connectionText];
    if (!shared.open) {
        beginTransaction(connectionText);
        shared.open = true;
    }
    try {
        execOrThrow(connectionText, QStringLiteral("SAVEPOINT KVER"));
        work();
        execOrThrow(connectionText, QStringLiteral("RELEASE KVER"));
    } catch (const StoreError& error) {
        endSharedAfterFailure(connectionText, shared);
        if (connectionSuspect(error))
            checkThreadConnection(connectionText);
        throw;
    } catch (...) {
        endSharedAfterFailure(connectionText, shared);
        checkThreadConnection(connectionText);
        throw;
    }
    committedOnThisThread(connectionText);
    if (++shared.versions >= kSharedVersions)
        commitOpenShared(connectionText, shared);
}

bool commitSharedTransaction(const QString& connectionText) {
    const auto found = t_shared.find(connectionText);
    if (found == t_shared.end())
        return true;
    commitOpenShared(connectionText, *found);
    return !std::exchange(found->lost, false);
}
