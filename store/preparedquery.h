#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

// The statement for the SQL text prepared on the connection, once: it is kept
// with the connection and used again, so that the database parses the text of
// each row's statement once rather than for every file. Throws StoreError
// when it cannot be prepared. Use it through PreparedQuery, which finishes it
// after each use and forgets it after a failure. Like the connections, the
// statements are the calling thread's own.
QSqlQuery* preparedStatement(QSqlDatabase& db, const QString& sql);
void forgetPreparedStatement(const QSqlDatabase& db, const QString& sql);
// Whether the connection keeps the statement for the SQL text: a use of it
// through PreparedQuery ended well, and neither it nor the connection failed
// since.
bool statementKept(const QSqlDatabase& db, const QString& sql);

// Drops the calling thread's statements on the named connection. Whoever
// removes a connection calls it first: no query may outlive its connection.
void forgetPreparedStatements(const QString& connectionName);

// One use of a statement the connection keeps prepared (see
// preparedStatement()): bind its values, exec(), read its rows. When the use
// ends the statement is finished (on SQLite no read stays open to hold a lock
// or an old snapshot); when it ends by an exception, or exec() failed, the
// statement is forgotten, so that the next use prepares it afresh (a table
// mended meanwhile, a connection that failed).
class PreparedQuery {
public:
    // Throws StoreError when the statement cannot be prepared.
    PreparedQuery(QSqlDatabase& db, const QString& sql);
    ~PreparedQuery();
    PreparedQuery(const PreparedQuery&) = delete;
    PreparedQuery& operator=(const PreparedQuery&) = delete;

    void bind(const QVariant& value) { m_query->bindValue(m_bound++, value); }
    // Runs it with the values bound; throws StoreError when it fails.
    void exec();
    QSqlQuery& query() { return *m_query; }

private:
    QSqlDatabase m_db;
    QString m_sql;
    QSqlQuery* m_query;
    int m_bound = 0;
    int m_exceptions;
    bool m_failed = false;
};
