#pragma once

#include "dbengine.h"

#include <QSqlDatabase>
#include <QString>

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
// next threadConnection() opens a fresh one.
void checkThreadConnection(const QString& connectionText);

// Removes the calling thread's connection for the text, or all of them. No
// query object of that connection may still exist. A worker thread's
// connections are also removed when the thread ends.
void closeThreadConnection(const QString& connectionText);
void closeThreadConnections();
