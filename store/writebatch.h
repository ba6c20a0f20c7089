#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <optional>

// Writes that wait to go to a database server together. Every statement sent
// to a server is a round trip, and a booking's rows went in about twenty of
// them; inside a batch's scope the rows and status updates of a version wait
// and go in one message of several statements when the batch is flushed.
//
// Only a PostgreSQL connection batches: an embedded engine has no round trip
// to save. Any other statement that runs on the connection meanwhile (through
// PreparedQuery) sends the waiting writes first, so reads always see them. A
// write that fails fails at the flush, with the server's own error; the
// caller's transaction then rolls back whatever the batch sent.
class WriteBatch {
public:
    // Opens a batch on the calling thread's connection for the text.
    explicit WriteBatch(const QString& connectionText);
    // Writes still waiting are dropped: the scope ended by an exception, and
    // the transaction they belonged to rolls back.
    ~WriteBatch();
    WriteBatch(const WriteBatch&) = delete;
    WriteBatch& operator=(const WriteBatch&) = delete;

    // Whether writes wait in it: the connection is one that batches.
    bool isOpen() const { return !m_connectionName.isEmpty(); }
    // Sends the waiting writes. Throws StoreError.
    void flush();

private:
    QString m_connectionText;
    QString m_connectionName;
};

// Runs the statement with its values, or adds it to the batch open on the
// connection. Throws StoreError.
void runOrBatch(QSqlDatabase& db, const QString& sql, const QVariantList& values);

// Sends the connection's waiting writes, if any, before another statement.
// Throws StoreError.
void flushWaitingWrites(QSqlDatabase& db);

// A read that takes the connection's waiting writes along: on a server, with
// writes waiting, sends them and the statement, its values written into its
// text (see withValuesInlined), in one message, and returns the query at the
// statement's rows. Nothing, having sent nothing, when no write waits or the
// values cannot be written into the text. Throws StoreError.
std::optional<QSqlQuery> readWithWaitingWrites(QSqlDatabase& db, const QString& select,
                                               const QVariantList& values);
