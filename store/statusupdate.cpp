#include "statusupdate.h"

#include "connectionstring.h"
#include "preparedquery.h"
#include "storecall.h"

#include <QSqlError>
#include <QSqlQuery>

void updateBookingStatus(const QString& recordLocator, const QString& serialNumber,
                         const QString& fileName, const QString& kind) {
    withThreadConnection(ConnectionString(), [&](QSqlDatabase& db) {
        PreparedQuery query(db, QStringLiteral("UPDATE AMAMD SET PROC_TP = ?, KIND = ? WHERE "
                                               "RECLOC = ? AND SER_NO = ? AND FILE_NM = ? AND "
                                               "PROC_TP = ?"));
        query.bind(QStringLiteral("N"));
        // A null QString binds as NULL; the column holds text.
        query.bind(kind.isNull() ? QString(QLatin1String("")) : kind);
        query.bind(recordLocator);
        query.bind(serialNumber);
        query.bind(fileName);
        query.bind(QStringLiteral("*"));
        query.exec();
    });
}
