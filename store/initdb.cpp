#include "initdb.h"

#include "connectiontext.h"
#include "gatewaysettings.h"
#include "mdbfile.h"
#include "schema.h"
#include "storeerror.h"
#include "threadconnection.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The database file in a data folder given with or without its trailing '/'.
QString mdbPathIn(const QString& folder) {
    return QDir::cleanPath(folder + QStringLiteral("/PALVA.mdb"));
}

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

// The tables of the document ledger that the database lacks.
QStringList missingDocumentTables(const QSqlDatabase& db) {
    const QStringList present = db.tables(QSql::Tables);
    QStringList missing;
    for (const QString& name : {QStringLiteral("KDOCFILE"), QStringLiteral("KDOCEVT"),
                                QStringLiteral("KDOCTAX"), QStringLiteral("KDOCFOP")}) {
        if (!present.contains(name, Qt::CaseInsensitive))
            missing.append(name);
    }
    return missing;
}

// Adds to a database of the store what it lacks; changes nothing when
// stored versions already share a key. Throws StoreError.
InitDbOutcome upgradeTables(QSqlDatabase& db, const QString& where) {
    const DbEngine engine = engineOf(db);
    const QStringList present = existingStoreTables(db);
    if (!present.contains(QLatin1String("AMAMD")))
        return {false,
                QStringLiteral("The %1 holds no KESTO tables; create them with kesto init-db")
                    .arg(where)};
    QStringList added;
    QStringList statements;
    if (!present.contains(QLatin1String("AMFILE"))) {
        added.append(QStringLiteral("AMFILE, the ledger of recorded files"));
        statements += statementsNaming(engine, QStringLiteral("AMFILE"));
    }
    if (!present.contains(QLatin1String("AMFOREIGN"))) {
        added.append(QStringLiteral("AMFOREIGN, the entries reported as not regular files"));
        statements += statementsNaming(engine, QStringLiteral("AMFOREIGN"));
    }
    if (!present.contains(QLatin1String("AMPOST"))) {
        added.append(QStringLiteral("AMPOST, the posts owed to the endpoint"));
        statements += statementsNaming(engine, QStringLiteral("AMPOST"));
    }
    if (!present.contains(QLatin1String("AMGATEWAY"))) {
        added.append(QStringLiteral("AMGATEWAY, the gateways that share the database"));
        statements += statementsNaming(engine, QStringLiteral("AMGATEWAY"));
    }
    if (!hasVersionKey(db, engine)) {
        // Versions that already share a key keep it from being made.
        const QStringList duplicates = duplicateVersionKeys(db);
        if (!duplicates.isEmpty())
            return {false, QStringLiteral("The %1 holds versions that share RECLOC and SER_NO, so "
                                          "the unique key AMAMDK cannot be made; nothing was "
                                          "changed. Shared: %2")
                               .arg(where, duplicates.join(QStringLiteral(", ")))};
        added.append(QStringLiteral("AMAMDK, the unique key of a version"));
        statements += statementsNaming(engine, QStringLiteral("AMAMDK"));
    }
    const QStringList documentTables = missingDocumentTables(db);
    if (!documentTables.isEmpty()) {
        added.append(QStringLiteral("the document ledger (%1)")
                         .arg(documentTables.join(QStringLiteral(", "))));
        for (const QString& table : documentTables)
            statements += statementsNaming(engine, table);
    }
    // Tables of an earlier version gain the columns added since: the
    // gateway's identity on the rows of several gateways (those written
    // before keep it empty), the document reader's.
    QStringList columns;
    for (const QString& table : {QStringLiteral("AMFILE"), QStringLiteral("AMFOREIGN"),
                                 QStringLiteral("AMPOST")}) {
        if (present.contains(table))
            statements += missingColumnStatements(db, engine, table, columns);
    }
    if (!columns.isEmpty())
        added.append(QStringLiteral("the gateway's identity on its rows (%1)")
                         .arg(columns.join(QStringLiteral(", "))));
    QStringList documentColumns;
    for (const QString& table : {QStringLiteral("KDOCFILE"), QStringLiteral("KDOCEVT"),
                                 QStringLiteral("KDOCTAX"), QStringLiteral("KDOCFOP")}) {
        if (documentTables.contains(table))
            continue;
        QStringList tableColumns;
        statements += missingColumnStatements(db, engine, table, tableColumns);
        // The taxes and payments of a file take its issue date from its file row.
        if (tableColumns.contains(table + QStringLiteral(" ISSUE_DT")))
            statements += QStringLiteral("UPDATE %1 SET ISSUE_DT = (SELECT f.ISSUE_DT FROM "
                                         "KDOCFILE f WHERE f.FILE_SHA = %1.FILE_SHA)")
                              .arg(table);
        documentColumns += tableColumns;
    }
    if (!documentColumns.isEmpty())
        added.append(QStringLiteral("the document ledger's columns %1 (kesto documents --import "
                                    "reads the backup folders again for them)")
                         .arg(documentColumns.join(QStringLiteral(", "))));
    // Indexes made since, on the tables that were already there.
    QStringList tables = present;
    for (const QString& table : {QStringLiteral("KDOCFILE"), QStringLiteral("KDOCEVT"),
                                 QStringLiteral("KDOCTAX"), QStringLiteral("KDOCFOP")}) {
        if (!documentTables.contains(table))
            tables.append(table);
    }
    QStringList indexes;
    statements += missingIndexStatements(db, engine, tables, indexes);
    if (!indexes.isEmpty())
        added.append(QStringLiteral("the indexes %1").arg(indexes.join(QStringLiteral(", "))));
    if (added.isEmpty())
        return {true, QStringLiteral("The %1 is up to date; nothing was changed").arg(where)};
    runSchemaStatements(db, statements);
    return {true,
            QStringLiteral("Added to the %1: %2").arg(where, added.join(QStringLiteral("; ")))};
}

InitDbOutcome upgradeDatabase(const QString& connectionText, const QString& where) {
    InitDbOutcome outcome;
    try {
        QSqlDatabase db = threadConnection(connectionText);
        outcome = upgradeTables(db, where);
    } catch (const StoreError& error) {
        outcome.message = QStringLiteral("Cannot upgrade the %1: %2 (error %3)")
                              .arg(where, error.description())
                              .arg(error.number());
    }
    closeThreadConnection(connectionText);
    return outcome;
}

QString serverPlace(const GatewaySettings& settings) {
    return QStringLiteral("database '%1' on '%2'").arg(settings.database, settings.Server);
}

} // namespace

InitDbOutcome initMdbDatabase(const QString& folder) {
    if (folder.isEmpty())
        return {false, QStringLiteral("No folder for PALVA.mdb: the data folder setting is empty")};
    const QString path = mdbPathIn(folder);
    try {
        createMdbFile(path);
    } catch (const StoreError& error) {
        return {false, QStringLiteral("Cannot create %1: %2").arg(path, error.description())};
    }
    return {true, QStringLiteral("Created %1").arg(path)};
}

InitDbOutcome upgradeMdbDatabase(const QString& folder) {
    const QString path = mdbPathIn(folder);
    if (!QFileInfo(path).isFile())
        return {false, QStringLiteral("No database to upgrade: %1 does not exist").arg(path)};
    return upgradeDatabase(mdbConnectionText(QFileInfo(path).path() + QLatin1Char('/')), path);
}

InitDbOutcome upgradeServerDatabase(const GatewaySettings& settings) {
    return upgradeDatabase(sqlConnectionText(settings), serverPlace(settings));
}

InitDbOutcome initServerDatabase(const GatewaySettings& settings) {
    const QString text = sqlConnectionText(settings);
    const QString where = serverPlace(settings);
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
