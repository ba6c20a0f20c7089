#pragma once

#include "dbengine.h"

#include <QString>
#include <QStringList>

struct SqlIndexOutcome {
    bool ok = false;
    QString message; // exactly the text of the message box
};

// The index script. For SQL Server it is the T-SQL batch, every line ending in
// CR LF; for PostgreSQL and SQLite it makes the same indexes with
// DROP INDEX IF EXISTS / CREATE INDEX statements, one per line.
QString sqlIndexScript(DbEngine engine);
// The PostgreSQL and SQLite script as single statements, in script order.
QStringList sqlIndexStatements(DbEngine engine);

// Drops and recreates the indexes on the database that Open_DB opened, using
// the calling thread's connection. Reports a failure, without touching
// anything, when no Open_DB has succeeded. Indexes dropped before a failing
// statement stay dropped.
SqlIndexOutcome runSqlIndexScript();
