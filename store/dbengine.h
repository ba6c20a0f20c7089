#pragma once

#include <QString>

// The database engines the record store runs on: the embedded PALVA.mdb is
// SQLite; SQL mode reaches PostgreSQL or SQL Server through ODBC.
enum class DbEngine { Sqlite, PostgreSql, SqlServer };

// Guesses the engine behind an ODBC driver name before connecting: psqlODBC's
// drivers name PostgreSQL; every other driver is taken for SQL Server.
DbEngine engineForOdbcDriver(const QString& driverName);
