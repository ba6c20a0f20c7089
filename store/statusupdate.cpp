#include "statusupdate.h"

#include "connectionstring.h"
#include "storecall.h"
#include "writebatch.h"

void updateBookingStatus(const QString& recordLocator, const QString& serialNumber,
                         const QString& fileName, const QString& kind) {
    withThreadConnection(ConnectionString(), [&](QSqlDatabase& db) {
        // A null QString binds as NULL; the column holds text.
        runOrBatch(db,
                   QStringLiteral("UPDATE AMAMD SET PROC_TP = ?, KIND = ? WHERE RECLOC = ? AND "
                                  "SER_NO = ? AND FILE_NM = ? AND PROC_TP = ?"),
                   {QStringLiteral("N"), kind.isNull() ? QString(QLatin1String("")) : kind,
                    recordLocator, serialNumber, fileName, QStringLiteral("*")});
    });
}
