#include "statusupdate.h"

#include "connectionstring.h"
#include "storeerror.h"
#include "threadconnection.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

void updateBookingStatus(const QString& recordLocator, const QString& serialNumber,
                         const QString& kind) {
    const QString text = ConnectionString();
    QSqlDatabase db = threadConnection(text);
    bool ok = false;
    {
        QSqlQuery query(db);
        ok = query.prepare(QStringLiteral(
            "UPDATE AMAMD SET PROC_TP = ?, KIND = ? WHERE RECLOC = ? AND SER_NO = ?"));
        if (ok) {
            query.addBindValue(QStringLiteral("N"));
            query.addBindValue(kind);
            query.addBindValue(recordLocator);
            query.addBindValue(serialNumber);
            ok = query.exec();
        }
        if (!ok) {
            const StoreError error = StoreError::fromSqlError(query.lastError());
            query.finish();
            checkThreadConnection(text);
            throw error;
        }
    }
}
