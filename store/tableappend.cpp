#include "tableappend.h"

#include "connectionstring.h"
#include "storecall.h"
#include "storeerror.h"

#include <QSqlError>
#include <QSqlQuery>

void openForAppend(const QString& openingQuery) {
    withThreadConnection(ConnectionString(), [&openingQuery](QSqlDatabase& db) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(openingQuery))
            throw StoreError::fromSqlError(query.lastError());
        // Finished at once: on SQLite an open read would hold its lock
        // while the rows are written.
        while (query.next()) {
        }
        query.finish();
    });
}

void saveRow(const NewRow& row) {
    appendRow(ConnectionString(), row);
}
