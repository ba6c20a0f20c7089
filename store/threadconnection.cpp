#include "threadconnection.h"

#include "connectiontext.h"
#include "storeerror.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

namespace {

std::atomic<quint64> g_nextConnection{1};

// The calling thread's connection names by connection text. Removing them when
// a worker thread ends keeps QtSql's registry clean; on the main thread the
// application object is gone by then, and the process is ending anyway.
struct ThreadConnections {
    QHash<QString, QString> names;
    ~ThreadConnections() {
        if (QCoreApplication::instance() == nullptr)
            return;
        for (const QString& name : std::as_const(names))
            QSqlDatabase::removeDatabase(name);
    }
};

thread_local ThreadConnections t_connections;

void removeConnection(const QString& name) {
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
                             QStringLiteral("Could not find file '%1'.").arg(target.filePath));
        if (!file.isFile())
            throw StoreError(StoreError::kProviderFailure,
                             QStringLiteral("'%1' is not a file.").arg(target.filePath));
        // Viewers read while the cycle writes: wait for a lock rather than fail.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    } else {
        db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=15"));
    }
    if (!db.open())
        throw StoreError::fromSqlError(db.lastError());
    if (target.engine == DbEngine::Sqlite) {
        // SQLite opens any file lazily; reading the catalogue finds a damaged one.
        QSqlQuery probe(db);
        if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
            throw StoreError::fromSqlError(probe.lastError());
    }
}

} // namespace

QSqlDatabase threadConnection(const QString& connectionText) {
    const auto found = t_connections.names.constFind(connectionText);
    if (found != t_connections.names.constEnd()) {
        QSqlDatabase db = QSqlDatabase::database(*found, false);
        if (db.isOpen())
            return db;
        removeConnection(*found);
        t_connections.names.remove(connectionText);
    }
    const ConnectionTarget target = translateConnectionText(connectionText);
    if (!target.valid)
        throw StoreError(StoreError::kProviderFailure,
                         QStringLiteral("Unrecognised connection text: %1").arg(connectionText));
    const QString name = QStringLiteral("kesto-store-%1").arg(g_nextConnection++);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(target.qtDriver, name);
        if (!db.isValid()) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw StoreError(
                StoreError::kProviderFailure,
                QStringLiteral("Database driver %1 is not available").arg(target.qtDriver));
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
    return QSqlDatabase::database(name, false);
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

void checkThreadConnection(const QString& connectionText) {
    const auto found = t_connections.names.constFind(connectionText);
    if (found == t_connections.names.constEnd())
        return;
    bool alive = false;
    {
        QSqlDatabase db = QSqlDatabase::database(*found, false);
        // An embedded database file that was moved or replaced while open can
        // still be read through the old handle but never written again, so a
        // failed SQLite connection is always opened afresh (which is cheap).
        if (engineOf(db) != DbEngine::Sqlite) {
            QSqlQuery ping(db);
            alive = db.isOpen() && ping.exec(QStringLiteral("SELECT 1"));
        }
    }
    if (!alive) {
        removeConnection(*found);
        t_connections.names.remove(connectionText);
    }
}

void closeThreadConnection(const QString& connectionText) {
    const QString name = t_connections.names.take(connectionText);
    if (!name.isEmpty())
        removeConnection(name);
}

void closeThreadConnections() {
    const QHash<QString, QString> names = std::exchange(t_connections.names, {});
    for (const QString& name : names)
        removeConnection(name);
}
