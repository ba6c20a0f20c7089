#include "schema.h"

#include "storeerror.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace Qt::StringLiterals;

namespace {

QString resourcePath(DbEngine engine) {
    switch (engine) {
    case DbEngine::Sqlite:
        return QStringLiteral(":/store/schema/sqlite.sql");
    case DbEngine::PostgreSql:
        return QStringLiteral(":/store/schema/postgresql.sql");
    case DbEngine::SqlServer:
        break;
    }
    return QStringLiteral(":/store/schema/sqlserver.sql");
}

} // namespace

QStringList storeTableNames() {
    return {QStringLiteral("AMAMD"),   QStringLiteral("AMAMDD"), QStringLiteral("AMHEAD"),
            QStringLiteral("AMTKT"),   QStringLiteral("AMPAX"),  QStringLiteral("AMPNR"),
            QStringLiteral("AMERROR"), QStringLiteral("AMFILE"), QStringLiteral("AMFOREIGN"),
            QStringLiteral("AMPOST"),  QStringLiteral("AMGATEWAY")};
}

QStringList statementsNaming(DbEngine engine, const QString& name) {
    QStringList statements;
    for (const QString& statement : schemaStatements(engine)) {
        if (statement.contains(QLatin1Char(' ') + name + QLatin1Char(' ')))
            statements.append(statement);
    }
    return statements;
}

QStringList missingColumnStatements(const QSqlDatabase& db, DbEngine engine, const QString& table,
                                    QStringList& added) {
    const QString create = QStringLiteral("CREATE TABLE %1 (").arg(table);
    QStringList statements;
    const QSqlRecord present = db.record(table);
    for (const QString& statement : schemaStatements(engine)) {
        if (!statement.startsWith(create))
            continue;
        // One column a line between the opening line and the closing ")".
        QStringList lines = statement.split(QLatin1Char('\n'));
        lines = lines.mid(1, lines.size() - 2);
        for (QString definition : std::as_const(lines)) {
            if (definition.endsWith(QLatin1Char(',')))
                definition.chop(1);
            const QString column = definition.section(QLatin1Char(' '), 0, 0);
            if (present.contains(column))
                continue;
            added.append(table + QLatin1Char(' ') + column);
            statements.append(QStringLiteral("ALTER TABLE %1 ADD %2").arg(table, definition));
        }
    }
    return statements;
}

QStringList existingIndexNames(const QSqlDatabase& db, DbEngine engine) {
    QString sql;
    switch (engine) {
    case DbEngine::Sqlite:
        sql = QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index'");
        break;
    case DbEngine::PostgreSql:
        sql =
            QStringLiteral("SELECT indexname FROM pg_indexes WHERE schemaname = current_schema()");
        break;
    case DbEngine::SqlServer:
        sql = QStringLiteral("SELECT name FROM sys.indexes WHERE name IS NOT NULL");
        break;
    }
    QSqlQuery query(db);
    if (!query.exec(sql))
        throw StoreError::fromSqlError(query.lastError());
    QStringList names;
    while (query.next())
        names.append(query.value(0).toString().toUpper());
    return names;
}

bool hasVersionKey(const QSqlDatabase& db, DbEngine engine) {
    return existingIndexNames(db, engine).contains(QLatin1String("AMAMDK"));
}

QStringList missingIndexStatements(const QSqlDatabase& db, DbEngine engine,
                                   const QStringList& tables, QStringList& added) {
    const QStringList present = existingIndexNames(db, engine);
    QStringList statements;
    for (const QString& statement : schemaStatements(engine)) {
        // "CREATE INDEX name ON table (...)". A unique index comes with its
        // table, or has its own check of the rows it would refuse (AMAMDK).
        const QStringList words = statement.split(QLatin1Char(' '));
        if (words.size() < 5 || words[0] != QLatin1String("CREATE") ||
            words[1] != QLatin1String("INDEX") || words[3] != QLatin1String("ON"))
            continue;
        const QString& name = words[2];
        if (present.contains(name.toUpper()) || !tables.contains(words[4]))
            continue;
        added.append(name);
        statements.append(statement);
    }
    return statements;
}

QStringList duplicateVersionKeys(const QSqlDatabase& db) {
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT RECLOC, SER_NO, COUNT(*) FROM AMAMD GROUP BY RECLOC, "
                                   "SER_NO HAVING COUNT(*) > 1 ORDER BY RECLOC, SER_NO")))
        throw StoreError::fromSqlError(query.lastError());
    QStringList keys;
    while (query.next()) {
        keys.append(QStringLiteral("%1/%2 (%3 rows)")
                        .arg(query.value(0).toString(), query.value(1).toString(),
                             query.value(2).toString()));
    }
    return keys;
}

bool isCurrencyColumn(const QString& table, const QString& column) {
    // Compared in place: making upper-case copies of the names cost a twentieth
    // of a file's instructions, asked as it is for every value of every row.
    const auto is = [](const QString& name, QLatin1StringView expected) {
        return name.compare(expected, Qt::CaseInsensitive) == 0;
    };
    // The tables compared below have five letters and the columns seven.
    if (table.size() != 5 || column.size() != 7)
        return false;
    const bool ticket = is(table, "AMPAX"_L1);
    if (!ticket && !is(table, "AMPNR"_L1))
        return false;
    return is(column, "TKT_AMS"_L1) || is(column, "TKT_NET"_L1) || is(column, "TKT_TAX"_L1) ||
           (ticket && is(column, "TKT_AMT"_L1));
}

QString schemaScript(DbEngine engine) {
    QFile file(resourcePath(engine));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QStringList schemaStatements(DbEngine engine) {
    // The files are plain: a statement ends with ';' at the end of a line and
    // comments are whole lines starting with "--".
    QStringList statements;
    QString current;
    const QStringList lines = schemaScript(engine).split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1String("--")))
            continue;
        current += (current.isEmpty() ? QString() : QStringLiteral("\n")) + line;
        if (line.endsWith(QLatin1Char(';'))) {
            current.chop(1);
            statements.append(current);
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        statements.append(current);
    return statements;
}

QStringList existingStoreTables(const QSqlDatabase& db) {
    QStringList present;
    const QStringList tables = db.tables(QSql::Tables);
    for (const QString& name : storeTableNames()) {
        for (const QString& table : tables) {
            if (table.compare(name, Qt::CaseInsensitive) == 0) {
                present.append(name);
                break;
            }
        }
    }
    return present;
}

void createSchema(QSqlDatabase& db, DbEngine engine) {
    runSchemaStatements(db, schemaStatements(engine));
}

void runSchemaStatements(QSqlDatabase& db, const QStringList& statements) {
    if (statements.isEmpty())
        throw StoreError(StoreError::kProviderFailure,
                         QStringLiteral("The schema file is missing"));
    const bool inTransaction = db.transaction();
    for (const QString& statement : statements) {
        QSqlQuery query(db);
        if (!query.exec(statement)) {
            const StoreError error = StoreError::fromSqlError(query.lastError());
            query.finish();
            if (inTransaction)
                db.rollback();
            throw error;
        }
    }
    if (inTransaction && !db.commit())
        throw StoreError::fromSqlError(db.lastError());
}
