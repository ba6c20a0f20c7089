#pragma once

#include "storeerror.h"
#include "threadconnection.h"

#include <QSqlDatabase>
#include <QString>

// Runs `body(QSqlDatabase&)` on the calling thread's connection for the text
// and returns what it returns. When it throws StoreError, its queries are gone
// by the time the error is looked at: a connection that died is dropped (so
// that the next call reconnects) and the error says so by its cause.
template <typename Body> auto withThreadConnection(const QString& connectionText, Body&& body) {
    DbEngine engine = DbEngine::Sqlite;
    try {
        QSqlDatabase db = threadConnection(connectionText);
        engine = engineOf(db);
        return body(db);
    } catch (const StoreError& error) {
        throw afterFailedStatement(connectionText, engine, error);
    }
}
