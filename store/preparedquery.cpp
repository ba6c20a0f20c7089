#include "preparedquery.h"

#include "sqlitewrite.h"
#include "storeerror.h"
#include "writebatch.h"

#include <QHash>
#include <QSqlError>

#include <exception>
#include <memory>

namespace {

// The calling thread's statements by connection name and SQL text.
struct ThreadStatements {
    QHash<QString, QHash<QString, std::shared_ptr<QSqlQuery>>> byConnection;
    ~ThreadStatements();
};

// Set when the thread's statements are destroyed at its end. Its connections
// are removed at its end too, each forgetting its statements first; a thread's
// objects go in the reverse order of their first use, so the connections may
// come after this, when there is nothing left to forget.
thread_local bool t_statementsGone = false;
thread_local ThreadStatements t_statements;

ThreadStatements::~ThreadStatements() {
    t_statementsGone = true;
}

} // namespace

QSqlQuery* preparedStatement(QSqlDatabase& db, const QString& sql) {
    QHash<QString, std::shared_ptr<QSqlQuery>>& prepared =
        t_statements.byConnection[db.connectionName()];
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
    const auto found = t_statements.byConnection.find(db.connectionName());
    if (found != t_statements.byConnection.end())
        found->remove(sql);
}

bool statementKept(const QSqlDatabase& db, const QString& sql) {
    const auto found = t_statements.byConnection.constFind(db.connectionName());
    return found != t_statements.byConnection.constEnd() && found->contains(sql);
}

void forgetPreparedStatements(const QString& connectionName) {
    forgetSqliteStatements(connectionName);
    if (!t_statementsGone)
        t_statements.byConnection.remove(connectionName);
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
