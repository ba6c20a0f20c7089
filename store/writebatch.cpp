#include "writebatch.h"

#include "dbengine.h"
#include "inlinedvalues.h"
#include "preparedquery.h"
#include "sqlitewrite.h"
#include "storecall.h"
#include "storeerror.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <utility>

namespace {

struct Waiting {
    QStringList statements;
    QVariantList values;
};

// The open batches of the calling thread, by connection name.
thread_local QHash<QString, Waiting> t_batches;

// Runs a text with its values already in it: one query, answered in one
// round trip however many statements it holds; a failure of any of them
// fails the whole execution.
QSqlQuery execText(QSqlDatabase& db, const QString& text) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(text))
        throw StoreError::fromSqlError(query.lastError());
    return query;
}

// One message of several statements. Values that cannot be written into the
// text here are bound, and psqlODBC writes them in.
void send(QSqlDatabase& db, const Waiting& waiting) {
    const QString sql = waiting.statements.join(QLatin1Char(';'));
    if (const std::optional<QString> text = withValuesInlined(sql, waiting.values)) {
        execText(db, *text);
        return;
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throw StoreError::fromSqlError(query.lastError());
    for (const QVariant& value : std::as_const(waiting.values))
        query.addBindValue(value);
    if (!query.exec())
        throw StoreError::fromSqlError(query.lastError());
}

} // namespace

bool batchesWrites(const QSqlDatabase& db) {
    return engineOf(db) == DbEngine::PostgreSql;
}

WriteBatch::WriteBatch(const QString& connectionText) : m_connectionText(connectionText) {
    withThreadConnection(connectionText, [this](QSqlDatabase& db) {
        if (!batchesWrites(db))
            return;
        m_connectionName = db.connectionName();
        t_batches.insert(m_connectionName, Waiting());
    });
}

WriteBatch::~WriteBatch() {
    if (isOpen())
        t_batches.remove(m_connectionName);
}

void WriteBatch::flush() {
    if (!isOpen())
        return;
    withThreadConnection(m_connectionText, [](QSqlDatabase& db) { flushWaitingWrites(db); });
}

void runOrBatch(QSqlDatabase& db, const QString& sql, const QVariantList& values) {
    const auto batch = t_batches.find(db.connectionName());
    if (batch != t_batches.end()) {
        batch->statements.append(sql);
        batch->values.append(values);
        return;
    }
    if (execOnSqlite(db, sql, values))
        return;
    PreparedQuery query(db, sql);
    for (const QVariant& value : values)
        query.bind(value);
    query.exec();
}

void flushWaitingWrites(QSqlDatabase& db) {
    const auto batch = t_batches.find(db.connectionName());
    if (batch == t_batches.end() || batch->statements.isEmpty())
        return;
    // Taken out first: after a failure nothing of it is sent again.
    const Waiting waiting = std::exchange(*batch, Waiting());
    send(db, waiting);
}

std::optional<QSqlQuery> readAsText(QSqlDatabase& db, const QString& select,
                                    const QVariantList& values) {
    if (!batchesWrites(db))
        return std::nullopt;
    const auto batch = t_batches.find(db.connectionName());
    const bool waiting = batch != t_batches.end() && !batch->statements.isEmpty();
    const std::optional<QString> text =
        waiting ? withValuesInlined(batch->statements.join(QLatin1Char(';')) + QLatin1Char(';') +
                                        select,
                                    batch->values + values)
                : withValuesInlined(select, values);
    if (!text)
        return std::nullopt;
    // Taken out first, as by a flush.
    if (waiting)
        *batch = Waiting();
    QSqlQuery query = execText(db, *text);
    // The writes' results come first, then the reads' rows.
    while (!query.isSelect() && query.nextResult()) {
    }
    return query;
}
