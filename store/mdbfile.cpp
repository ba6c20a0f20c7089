#include "mdbfile.h"

#include "schema.h"
#include "storeerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>

#include <atomic>

namespace {
std::atomic<quint64> g_nextCreation{1};
} // namespace

void createMdbFile(const QString& filePath) {
    const QFileInfo info(filePath);
    if (info.exists() || info.isSymLink())
        throw StoreError(StoreError::kProviderFailure,
                         QStringLiteral("the file already exists and is left as it is"));
    if (!QDir().mkpath(info.absolutePath()))
        throw StoreError(StoreError::kProviderFailure,
                         QStringLiteral("cannot create the folder %1").arg(info.absolutePath()));
    // Claim the name first so that a file appearing meanwhile is not overwritten.
    {
        QFile file(filePath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            throw StoreError(StoreError::kProviderFailure, file.errorString());
    }
    const QString name = QStringLiteral("kesto-create-%1").arg(g_nextCreation++);
    bool created = false;
    QString failure;
    qint32 number = StoreError::kProviderFailure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(filePath);
        if (!db.open()) {
            const StoreError error = StoreError::fromSqlError(db.lastError());
            number = error.number();
            failure = error.description();
        } else {
            try {
                createSchema(db, DbEngine::Sqlite);
                created = true;
            } catch (const StoreError& error) {
                number = error.number();
                failure = error.description();
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!created) {
        QFile::remove(filePath);
        throw StoreError(number, failure);
    }
}
