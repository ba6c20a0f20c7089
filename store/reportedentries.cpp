#include "reportedentries.h"

#include "clock.h"
#include "connectionstring.h"
#include "fixedforms.h"
#include "gatewayidentity.h"
#include "preparedquery.h"
#include "rowappender.h"
#include "storecall.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

bool wasReported(const ReportedEntry& entry) {
    return withThreadConnection(ConnectionString(), [&entry](QSqlDatabase& db) {
        PreparedQuery query(db, u"SELECT FILE_NM FROM AMFOREIGN WHERE DIR_NM = ? AND FILE_NM = ? "
                                "AND FILE_DEV = ? AND FILE_INO = ?"_s +
                                    ownRowsCondition());
        query.bind(entry.folder);
        query.bind(entry.name);
        query.bind(QString::number(entry.device));
        query.bind(QString::number(entry.inode));
        bindOwnRows(query);
        query.exec();
        return query.query().next();
    });
}

void addReportedEntry(const ReportedEntry& entry) {
    NewRow row(u"AMFOREIGN"_s);
    row.set(u"DIR_NM"_s, entry.folder);
    row.set(u"FILE_NM"_s, entry.name);
    row.set(u"ENTRY_KIND"_s, entry.kind);
    row.set(u"FILE_DEV"_s, QString::number(entry.device));
    row.set(u"FILE_INO"_s, QString::number(entry.inode));
    row.set(u"DATE_1"_s, dateTextMdy(currentClock().now().date()));
    row.set(u"TIME_1"_s, timeTextHms(currentClock().now().time()));
    if (!GatewayId().isEmpty())
        row.set(u"GW_ID"_s, GatewayId());
    appendRow(ConnectionString(), row);
}
