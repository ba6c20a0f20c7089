#include "serialnumber.h"

#include "connectionstring.h"
#include "leadingnumber.h"
#include "preparedquery.h"
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
// The number for a record locator whose serials are all used (overflow).
constexpr qint32 kSerialsUsedUp = StoreError::kOverflow;
} // namespace

namespace {

const QString kDigits = u"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"_s;

int digitValue(QChar c) {
    return static_cast<int>(kDigits.indexOf(c));
}

} // namespace

int serialValue(const QString& stored) {
    if (stored.size() == 3 && stored.at(0) >= u'A' && stored.at(0) <= u'Z' &&
        digitValue(stored.at(1)) >= 0 && digitValue(stored.at(2)) >= 0)
        return 1000 + (stored.at(0).unicode() - u'A') * 36 * 36 + digitValue(stored.at(1)) * 36 +
               digitValue(stored.at(2));
    qsizetype start = 0;
    while (start < stored.size() && stored.at(start) == u' ')
        ++start;
    const double value = numericPrefixValue(numericPrefix(QStringView(stored).mid(start)));
    return value >= 0 && value <= kLastSerial ? static_cast<int>(value) : 0;
}

std::optional<QString> nextSerialNumber(const QString& highestStored) {
    const int next = serialValue(highestStored) + 1;
    if (next > kLastSerial)
        return std::nullopt;
    if (next <= 999)
        return QString::number(next).rightJustified(3, u'0');
    const int rest = next - 1000;
    return QString(QChar(u'A' + rest / (36 * 36))) + kDigits.at(rest / 36 % 36) +
           kDigits.at(rest % 36);
}

QString GET_XSER_NO(const QString& recordLocator) {
    return withThreadConnection(ConnectionString(), [&recordLocator](QSqlDatabase& db) {
        // The record locator is bound, never joined into the text.
        PreparedQuery lookup(db, u"SELECT * FROM AMAMD WHERE RECLOC=? ORDER BY RECLOC,SER_NO"_s);
        lookup.bind(recordLocator);
        lookup.exec();
        QSqlQuery& query = lookup.query();
        // Read every row and finish, so no read stays open on SQLite. Column
        // names come back in lower case on PostgreSQL; indexOf() compares
        // them without regard to case.
        const int column = query.record().indexOf(u"SER_NO"_s);
        if (column < 0)
            throw StoreError(kItemNotFound, u"AMAMD has no column SER_NO"_s,
                             StoreError::Cause::Statement);
        // The highest serial by its place in the serials' own order, which
        // is their text order whatever the database's collation.
        QString highest;
        int highestValue = 0;
        while (query.next()) {
            const QString serial = query.value(column).toString();
            if (serialValue(serial) >= highestValue) {
                highestValue = serialValue(serial);
                highest = serial;
            }
        }
        if (query.lastError().isValid())
            throw StoreError::fromSqlError(query.lastError());
        const std::optional<QString> next = nextSerialNumber(highest);
        if (!next)
            throw StoreError(kSerialsUsedUp,
                             u"No serial number left for record locator %1: %2 is used"_s.arg(
                                 recordLocator, highest));
        return *next;
    });
}

bool serialTaken(const QString& recordLocator, const QString& serial) {
    return withThreadConnection(ConnectionString(), [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.prepare(u"SELECT RECLOC FROM AMAMD WHERE RECLOC = ? AND SER_NO = ?"_s))
            throw StoreError::fromSqlError(query.lastError());
        query.addBindValue(recordLocator);
        query.addBindValue(serial);
        if (!query.exec())
            throw StoreError::fromSqlError(query.lastError());
        const bool taken = query.next();
        query.finish();
        return taken;
    });
}
