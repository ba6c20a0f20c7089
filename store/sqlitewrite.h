#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

// Runs a statement that returns no rows on a SQLite connection through
// SQLite's own interface, kept prepared per connection and SQL text like the
// statements of preparedquery.h, and bound as Qt's driver binds (Qt's own binding makes and hashes a name for every
// value, a sixth of a drain's instructions). False, having done nothing, when
// the connection is not SQLite's or a value is of a type left to Qt. Throws
// StoreError, with the number and text Qt's driver gives, when it fails.
bool execOnSqlite(QSqlDatabase& db, const QString& sql, const QVariantList& values);

// Runs a statement without values or rows at once (a savepoint's, say): on
// SQLite through execOnSqlite, kept prepared, elsewhere through Qt. Throws
// StoreError when it fails.
void execStatement(QSqlDatabase& db, const QString& sql);

// Drops the calling thread's SQLite statements on the named connection:
// forgetPreparedStatements() calls it, so that they go before the connection.
void forgetSqliteStatements(const QString& connectionName);
