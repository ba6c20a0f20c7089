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
// PreparedQuery, or readAsText) sends the waiting writes first, so reads
// always see them. A write that fails fails at the flush, with the server's
// own error; the caller's transaction then rolls back whatever the batch sent.
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

// Whether writes on the connection wait in a batch while one is open.
bool batchesWrites(const QSqlDatabase& db);

// Runs the statement with its values, or adds it to the batch open on the
// connection. Throws StoreError.
void runOrBatch(QSqlDatabase& db, const QString& sql, const QVariantList& values);

// Sends the connection's waiting writes, if any, before another statement.
// Throws StoreError.
void flushWaitingWrites(QSqlDatabase& db);

// A read sent as a text with its values in it (see withValuesInlined), on a
// server's connection: what must reach the server before it travels in the
// same message, the transaction's BEGIN (psqlODBC puts it there; a prepared
// statement waits for a round trip of its own for it) and any writes waiting
// in a batch. Returns the query at the rows of the first read (a text of
// several reads gives the next ones with nextResult); nothing, having sent
// nothing, on an embedded database or when the values cannot be written into
// the text. Throws StoreError.
std::optional<QSqlQuery> readAsText(QSqlDatabase& db, const QString& select,
                                    const QVariantList& values);
