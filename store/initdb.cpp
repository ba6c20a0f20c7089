#include "initdb.h"

#include "connectiontext.h"
#include "gatewaysettings.h"
#include "mdbfile.h"
#include "schema.h"
#include "storeerror.h"
#include "threadconnection.h"

#include <QDir>

namespace {

QString engineName(DbEngine engine) {
    switch (engine) {
    case DbEngine::Sqlite:
        return QStringLiteral("SQLite");
    case DbEngine::PostgreSql:
        return QStringLiteral("PostgreSQL");
    case DbEngine::SqlServer:
        break;
    }
    return QStringLiteral("SQL Server");
}

} // namespace

InitDbOutcome initMdbDatabase(const QString& folder) {
    if (folder.isEmpty())
        return {false, QStringLiteral("No folder for PALVA.mdb: the data folder setting is empty")};
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    path += QStringLiteral("PALVA.mdb");
    try {
        createMdbFile(path);
    } catch (const StoreError& error) {
        return {
            false,
            QStringLiteral("Cannot create %1: %2").arg(QDir::cleanPath(path), error.description())};
    }
    return {true, QStringLiteral("Created %1").arg(QDir::cleanPath(path))};
}

InitDbOutcome initServerDatabase(const GatewaySettings& settings) {
    const QString text = sqlConnectionText(settings);
    const QString where =
        QStringLiteral("database '%1' on '%2'").arg(settings.database, settings.Server);
    InitDbOutcome outcome;
    try {
        QSqlDatabase db = threadConnection(text);
        const QStringList present = existingStoreTables(db);
        if (!present.isEmpty()) {
            outcome.message = QStringLiteral("The %1 already holds %2; nothing was created")
                                  .arg(where, present.join(QStringLiteral(", ")));
        } else {
            const DbEngine engine = engineOf(db);
            createSchema(db, engine);
            outcome = {
                true,
                QStringLiteral("Created the tables of the %1 (%2)").arg(where, engineName(engine))};
        }
    } catch (const StoreError& error) {
        outcome.message = QStringLiteral("Cannot create the tables of the %1: %2 (error %3)")
                              .arg(where, error.description())
                              .arg(error.number());
    }
    closeThreadConnection(text);
    return outcome;
}
