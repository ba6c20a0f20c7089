#include "serialnumber.h"

#include "connectionstring.h"
#include "leadingnumber.h"
#include "recordwriters.h"
#include "storecall.h"
#include "storeerror.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace Qt::StringLiterals;

namespace {
// The number a result set reports for a column it does not have.
constexpr qint32 kItemNotFound = 3265;
} // namespace

QString nextSerialNumber(const QString& highestStored) {
    qsizetype start = 0;
    while (start < highestStored.size() && highestStored.at(start) == u' ')
        ++start;
    const double value = numericPrefixValue(numericPrefix(QStringView(highestStored).mid(start)));
    return QString(u"000"_s + plainDecimal(value + 1)).right(3);
}

QString GET_XSER_NO(const QString& recordLocator) {
    return withThreadConnection(ConnectionString(), [&recordLocator](QSqlDatabase& db) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        // The record locator is bound, never joined into the text.
        if (!query.prepare(u"SELECT * FROM AMAMD WHERE RECLOC=? ORDER BY RECLOC,SER_NO"_s))
            throw StoreError::fromSqlError(query.lastError());
        query.addBindValue(recordLocator);
        if (!query.exec())
            throw StoreError::fromSqlError(query.lastError());
        // Read to the last row (the highest SER_NO in the database's text
        // order) and finish, so no read stays open on SQLite. Column names
        // come back in lower case on PostgreSQL; indexOf() compares them
        // without regard to case.
        const int column = query.record().indexOf(u"SER_NO"_s);
        if (column < 0)
            throw StoreError(kItemNotFound, u"AMAMD has no column SER_NO"_s,
                             StoreError::Cause::Statement);
        bool found = false;
        QString highest;
        while (query.next()) {
            found = true;
            highest = query.value(column).toString();
        }
        if (query.lastError().isValid())
            throw StoreError::fromSqlError(query.lastError());
        query.finish();
        return found ? nextSerialNumber(highest) : u"001"_s;
    });
}
