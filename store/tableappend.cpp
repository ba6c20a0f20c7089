#include "tableappend.h"

#include "connectionstring.h"
#include "preparedquery.h"
#include "storecall.h"
#include "storeerror.h"

#include <QSqlError>
#include <QSqlQuery>

void openForAppend(const QString& openingQuery) {
    withThreadConnection(ConnectionString(), [&openingQuery](QSqlDatabase& db) {
        if (statementKept(db, openingQuery))
            return;
        // Finished at once when the use ends: on SQLite an open read would
        // hold its lock while the rows are written.
        PreparedQuery query(db, openingQuery);
        query.exec();
        while (query.query().next()) {
        }
    });
}

void saveRow(const NewRow& row) {
    appendRow(ConnectionString(), row);
}

void saveRows(const QList<NewRow>& rows) {
    appendRows(ConnectionString(), rows);
}
