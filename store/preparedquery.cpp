#include "preparedquery.h"

#include "storeerror.h"
#include "threadconnection.h"

#include <QSqlError>

#include <exception>

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
    if (m_query->exec())
        return;
    m_failed = true;
    throw StoreError::fromSqlError(m_query->lastError());
}
