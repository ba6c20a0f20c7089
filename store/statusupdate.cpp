#include "statusupdate.h"

#include "connectionstring.h"
#include "storecall.h"

#include <QSqlError>
#include <QSqlQuery>

void updateBookingStatus(const QString& recordLocator, const QString& serialNumber,
                         const QString& fileName, const QString& kind) {
    withThreadConnection(ConnectionString(), [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        if (!query.prepare(QStringLiteral("UPDATE AMAMD SET PROC_TP = ?, KIND = ? WHERE RECLOC = ? "
                                          "AND SER_NO = ? AND FILE_NM = ? AND PROC_TP = ?")))
            throw StoreError::fromSqlError(query.lastError());
        query.addBindValue(QStringLiteral("N"));
        // A null QString binds as NULL; the column holds text.
        query.addBindValue(kind.isNull() ? QString(QLatin1String("")) : kind);
        query.addBindValue(recordLocator);
        query.addBindValue(serialNumber);
        query.addBindValue(fileName);
        query.addBindValue(QStringLiteral("*"));
        if (!query.exec())
            throw StoreError::fromSqlError(query.lastError());
    });
}
