#pragma once

#include "dbengine.h"
#include "storeerror.h"

#include <QSqlDatabase>
#include <QString>

#include <functional>

// QtSql connections belong to the thread that opened them: the processing
// cycle writes on its worker thread while the viewers read on the GUI thread.
// These functions give each thread its own named connection per connection
// text. All of them act on the calling thread's connections only.

// The calling thread's open connection for the text: opened on first use and
// reused afterwards. Throws StoreError when it cannot be opened. The embedded
// database file is never created here: a missing file is an error, and a file
// that is not a database is found out at once by a cheap query.
QSqlDatabase threadConnection(const QString& connectionText);

// The engine behind an open connection, as the connection itself reports it.
DbEngine engineOf(const QSqlDatabase& db);

// Call after a statement failed: when the connection no longer answers (the
// server went away), or always for the embedded SQLite file (which may have
// been moved or replaced underneath), it is closed and removed so that the
// next threadConnection() opens a fresh one. Returns whether the server still
// answered (always true for SQLite). Does nothing while a version
// transaction is open on the connection: its owner rolls back first.
bool checkThreadConnection(const QString& connectionText);

// The error of a failed statement as the caller should see it: after the
// check above, with the cause Connection when the database can no longer be
// reached (a server that stopped answering; on SQLite a file that is busy,
// locked, unreadable, full or damaged), so that the work may be done again
// later instead of being refused.
StoreError afterFailedStatement(const QString& connectionText, DbEngine engine,
                                const StoreError& error);

// Runs `work` as one transaction on the calling thread's connection for the
// text (on SQLite it takes the write lock at once, so that what is read
// inside it stays true until the commit): committed when `work` returns,
// rolled back when it or the commit throws. A StoreError goes on with the
// cause Connection when the database can no longer be reached. A value
// refused before its statement ran (the cause Data) keeps the connection.
void runInThreadTransaction(const QString& connectionText, const std::function<void()>& work);

// A version's transaction: as runInThreadTransaction, or, where the thread's
// version transactions are shared (groupcommit.h), a savepoint in the
// transaction they share, which takes SQLite's write lock until it is
// committed: when commitSharedTransaction is called, after 16 versions,
// before any other transaction on the connection, and when a version fails
// (the ones before it are kept). A version released into it is not stored
// before that commit.
void runVersionTransaction(const QString& connectionText, const std::function<void()>& work);

// Commits the transaction the calling thread's versions share, if one is
// open. False when a version released since the last call is not stored: the
// commit failed, or the transaction ended without one (a failure rolled it
// back, or its connection was closed). Never throws.
bool commitSharedTransaction(const QString& connectionText);

// Removes the calling thread's connection for the text, or all of them. No
// query object of that connection may still exist. A worker thread's
// connections are also removed when the thread ends.
void closeThreadConnection(const QString& connectionText);
void closeThreadConnections();
