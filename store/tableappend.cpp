#include "tableappend.h"

#include "connectionstring.h"
#include "storeerror.h"
#include "threadconnection.h"

#include <QSqlError>
#include <QSqlQuery>

void openForAppend(const QString& openingQuery) {
    const QString connectionText = ConnectionString();
    std::optional<StoreError> failure;
    {
        QSqlQuery query(threadConnection(connectionText));
        query.setForwardOnly(true);
        if (query.exec(openingQuery)) {
            // Finished at once: on SQLite an open read would hold its lock
            // while the rows are written.
            while (query.next()) {
            }
            query.finish();
        } else {
            failure = StoreError::fromSqlError(query.lastError());
        }
    }
    if (failure) {
        checkThreadConnection(connectionText);
        throw *failure;
    }
}

void saveRow(const NewRow& row) {
    appendRow(ConnectionString(), row);
}
