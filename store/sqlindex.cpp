#include "sqlindex.h"

#include "connectionstring.h"
#include "opendb.h"
#include "storeerror.h"
#include "threadconnection.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {

struct IndexDef {
    const char* name;
    const char* columns;
};

struct TableIndexes {
    const char* table;
    QList<IndexDef> indexes;
};

// Tables in script order, each with its indexes in order.
const QList<TableIndexes>& indexPlan() {
    static const QList<TableIndexes> plan = {
        {"AMAMD", {{"AMAMD1", "RECLOC,SER_NO"}, {"AMAMD2", "FILE_NM"}}},
        {"AMAMDD", {{"AMAMDD1", "RECLOC,SER_NO,I_INDEX"}}},
        {"AMHEAD", {{"AMHEAD1", "RECLOC,SER_NO"}}},
        {"AMPAX", {{"AMPAX1", "RECLOC,SER_NO,SEG_TP,H_INDEX,H_INDEX1"}}},
        {"AMPNR", {{"AMPNR1", "RECLOC,SER_NO,SEG_TP,H_INDEX,H_INDEX1"}}},
        {"AMTKT", {{"AMTKT1", "RECLOC,SER_NO,MSGTAG,SEG_TP,TTONBR,SEGNBR"}}},
    };
    return plan;
}

QString sqlServerScript() {
    const QLatin1String crlf("\r\n");
    QString script = QStringLiteral("SET NOCOUNT OFF") + crlf;
    for (const TableIndexes& table : indexPlan()) {
        const QString t = QLatin1String(table.table);
        script += QStringLiteral("--") + t + crlf;
        for (const IndexDef& index : table.indexes) {
            const QString name = QLatin1String(index.name);
            script += QStringLiteral("IF EXISTS (SELECT name FROM sysindexes") + crlf;
            script += QStringLiteral("      WHERE name = '") + name + QStringLiteral("')") + crlf;
            script += QStringLiteral("   DROP INDEX ") + t + QLatin1Char('.') + name + crlf;
        }
        for (const IndexDef& index : table.indexes) {
            script += QStringLiteral("CREATE INDEX ") + QLatin1String(index.name) + crlf;
            script += QStringLiteral("   ON ") + t + QStringLiteral(" (") +
                      QLatin1String(index.columns) + QLatin1Char(')') + crlf;
        }
    }
    return script;
}

SqlIndexOutcome failure(const StoreError& error) {
    return {false, QStringLiteral("ERROR=") + QString::number(error.number()) +
                       QStringLiteral(" : ") + error.description()};
}

} // namespace

QStringList sqlIndexStatements(DbEngine) {
    QStringList statements;
    for (const TableIndexes& table : indexPlan()) {
        for (const IndexDef& index : table.indexes)
            statements.append(QStringLiteral("DROP INDEX IF EXISTS ") + QLatin1String(index.name));
        for (const IndexDef& index : table.indexes)
            statements.append(QStringLiteral("CREATE INDEX ") + QLatin1String(index.name) +
                              QStringLiteral(" ON ") + QLatin1String(table.table) +
                              QStringLiteral(" (") + QLatin1String(index.columns) +
                              QLatin1Char(')'));
    }
    return statements;
}

QString sqlIndexScript(DbEngine engine) {
    if (engine == DbEngine::SqlServer)
        return sqlServerScript();
    QString script;
    for (const QString& statement : sqlIndexStatements(engine))
        script += statement + QStringLiteral(";\r\n");
    return script;
}

SqlIndexOutcome runSqlIndexScript() {
    const QString text = ConnectionString();
    if (!isDatabaseOpen() || text.isEmpty())
        return failure(StoreError(StoreError::kProviderFailure,
                                  QStringLiteral("No database is open; start a run first")));
    try {
        QSqlDatabase db = threadConnection(text);
        const DbEngine engine = engineOf(db);
        // SQL Server takes the script as one batch; the others run it statement by statement.
        const QStringList statements = engine == DbEngine::SqlServer
                                           ? QStringList{sqlServerScript()}
                                           : sqlIndexStatements(engine);
        for (const QString& statement : statements) {
            QSqlQuery query(db);
            query.setForwardOnly(true);
            bool ok = query.exec(statement);
            // A batch reports the errors of its later statements only as its
            // results are walked through.
            while (ok && query.nextResult()) {
            }
            ok = ok && !query.lastError().isValid();
            if (!ok) {
                const StoreError error = StoreError::fromSqlError(query.lastError());
                query.finish();
                db = QSqlDatabase();
                checkThreadConnection(text);
                return failure(error);
            }
        }
    } catch (const StoreError& error) {
        return failure(error);
    }
    return {true, QStringLiteral("SQL Index 建立成功 !!!")};
}
