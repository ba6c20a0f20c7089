#pragma once

#include "dbengine.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The shipped schema: one SQL file per engine, embedded as resources.

// The tables of the record store: the seven documented ones in their order,
// then the ledger of recorded files and the entries reported as not files.
QStringList storeTableNames();

// Whether a column holds a four-decimal currency amount (AMPAX TKT_AMT,
// TKT_AMS, TKT_NET, TKT_TAX; AMPNR TKT_AMS, TKT_NET, TKT_TAX).
bool isCurrencyColumn(const QString& table, const QString& column);

// The schema file of an engine, and its statements one by one (comments and
// blank lines removed).
QString schemaScript(DbEngine engine);
QStringList schemaStatements(DbEngine engine);
// The statements of the schema that name an object (a table or an index),
// as `kesto init-db --upgrade` adds them: "AMFILE" (the ledger of recorded
// files and its index), "AMAMDK" (the unique key of a version), "AMFOREIGN"
// (the entries of the download folder reported as not regular files).
QStringList statementsNaming(DbEngine engine, const QString& name);

// The statements that add to a table the columns the shipped schema gives it
// and the database's table lacks, each "ALTER TABLE T ADD <definition>" with
// the definition of the schema file; their names go to `added`.
QStringList missingColumnStatements(const QSqlDatabase& db, DbEngine engine, const QString& table,
                                    QStringList& added);

// The names of the indexes on the connection, in capitals.
QStringList existingIndexNames(const QSqlDatabase& db, DbEngine engine);
// Whether the unique key of a version (index AMAMDK) exists on the connection.
bool hasVersionKey(const QSqlDatabase& db, DbEngine engine);
// The schema's statements that make the indexes the database lacks on the
// given tables, unique ones aside; their names go to `added`.
QStringList missingIndexStatements(const QSqlDatabase& db, DbEngine engine,
                                   const QStringList& tables, QStringList& added);

// (RECLOC, SER_NO) pairs that more than one AMAMD row holds, as "RECLOC/SER_NO
// (n rows)", which keep the unique key from being made.
QStringList duplicateVersionKeys(const QSqlDatabase& db);

// The store's tables that already exist on the connection (upper-case names).
QStringList existingStoreTables(const QSqlDatabase& db);

// Creates the tables and indexes in one transaction where the engine allows.
// Throws StoreError; on failure nothing is left behind.
void createSchema(QSqlDatabase& db, DbEngine engine);
// The same for a list of statements.
void runSchemaStatements(QSqlDatabase& db, const QStringList& statements);
