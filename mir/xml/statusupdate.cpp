#include "statusupdate.h"

#include "connectionstring.h"
#include "storeerror.h"
#include "threadconnection.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <optional>

void updateBookingStatus(const QString& recordLocator, const QString& serialNumber,
                         const QString& kind) {
    const QString text = ConnectionString();
    std::optional<StoreError> failure;
    {
        QSqlQuery query(threadConnection(text));
        bool ok = query.prepare(QStringLiteral(
            "UPDATE AMAMD SET PROC_TP = ?, KIND = ? WHERE RECLOC = ? AND SER_NO = ?"));
        if (ok) {
            query.addBindValue(QStringLiteral("N"));
            query.addBindValue(kind);
            query.addBindValue(recordLocator);
            query.addBindValue(serialNumber);
            ok = query.exec();
        }
        if (!ok)
            failure = StoreError::fromSqlError(query.lastError());
    }
    // Only once the query is gone may a dead connection be dropped.
    if (failure) {
        checkThreadConnection(text);
        throw *failure;
    }
}
