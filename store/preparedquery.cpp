#include "preparedquery.h"

#include "sqlitewrite.h"
#include "storeerror.h"
#include "threadstatements.h"
#include "writebatch.h"

#include <QSqlError>

#include <exception>
#include <memory>

namespace {

using KeptQueries = ThreadStatements<std::shared_ptr<QSqlQuery>>;

} // namespace

QSqlQuery* preparedStatement(QSqlDatabase& db, const QString& sql) {
    QHash<QString, std::shared_ptr<QSqlQuery>>& prepared = KeptQueries::on(db.connectionName());
    std::shared_ptr<QSqlQuery>& statement = prepared[sql];
    if (!statement) {
        auto query = std::make_shared<QSqlQuery>(db);
        query->setForwardOnly(true);
        if (!query->prepare(sql)) {
            const QSqlError error = query->lastError();
            prepared.remove(sql);
            throw StoreError::fromSqlError(error);
        }
        statement = std::move(query);
    }
    return statement.get();
}

void forgetPreparedStatement(const QSqlDatabase& db, const QString& sql) {
    KeptQueries::forget(db.connectionName(), sql);
}

bool statementKept(const QSqlDatabase& db, const QString& sql) {
    return KeptQueries::holds(db.connectionName(), sql);
}

void forgetPreparedStatements(const QString& connectionName) {
    forgetSqliteStatements(connectionName);
    KeptQueries::forgetConnection(connectionName);
}

PreparedQuery::PreparedQuery(QSqlDatabase& db, const QString& sql)
    : m_db(db), m_sql(sql), m_query(preparedStatement(db, sql)),
      m_exceptions(std::uncaught_exceptions()) {}

PreparedQuery::~PreparedQuery() {
    if (m_failed || std::uncaught_exceptions() > m_exceptions) {
        forgetPreparedStatement(m_db, m_sql);
        return;
    }
    m_query->finish();
}

void PreparedQuery::exec() {
    m_bound = 0;
    flushWaitingWrites(m_db);
    if (m_query->exec())
        return;
    m_failed = true;
    throw StoreError::fromSqlError(m_query->lastError());
}
