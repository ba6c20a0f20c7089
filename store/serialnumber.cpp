#include "serialnumber.h"

#include "connectionstring.h"
#include "leadingnumber.h"
#include "preparedquery.h"
#include "recordwriters.h"
#include "storecall.h"
#include "storeerror.h"
#include "writebatch.h"

#include <QMap>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The number for a record locator whose serials are all used (overflow).
constexpr qint32 kSerialsUsedUp = StoreError::kOverflow;

const QString kDigits = u"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"_s;

int digitValue(QChar c) {
    return static_cast<int>(kDigits.indexOf(c));
}

bool isDecimalDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Whether a stored serial has one of the serials' two forms, whose text
// order is their order: three digits, or a capital letter and two digits or capitals.
bool inSerialOrder(const QString& stored) {
    if (stored.size() != 3)
        return false;
    if (isDecimalDigit(stored.at(0)))
        return isDecimalDigit(stored.at(1)) && isDecimalDigit(stored.at(2));
    return stored.at(0) >= u'A' && stored.at(0) <= u'Z' && digitValue(stored.at(1)) >= 0 &&
           digitValue(stored.at(2)) >= 0;
}

// The stored serial of the record locator that comes last in text order,
// found in the key's index; "" when none is stored.
QString lastInTextOrder(QSqlDatabase& db, const QString& recordLocator) {
    const QString sql = lastSerialSelect();
    const auto firstValue = [](QSqlQuery& query) {
        const QString last = query.next() ? query.value(0).toString() : QString();
        if (query.lastError().isValid())
            throw StoreError::fromSqlError(query.lastError());
        query.finish();
        return last;
    };
    // The first statement of a version's transaction: as a text, its
    // transaction's BEGIN goes with it.
    if (std::optional<QSqlQuery> sent = readAsText(db, sql, {recordLocator}))
        return firstValue(*sent);
    PreparedQuery lookup(db, sql);
    lookup.bind(recordLocator);
    lookup.exec();
    return firstValue(lookup.query());
}

// The highest of every stored serial of the record locator by its place in
// the order: for a locator whose last text is of neither form ("abc" sorts
// after "ZZZ" and counts as 0), which only another program can have stored.
QString highestByPlace(QSqlDatabase& db, const QString& recordLocator) {
    PreparedQuery lookup(db, u"SELECT SER_NO FROM AMAMD WHERE RECLOC = ?"_s);
    lookup.bind(recordLocator);
    lookup.exec();
    QSqlQuery& query = lookup.query();
    QString highest;
    int highestValue = 0;
    while (query.next()) {
        const QString serial = query.value(0).toString();
        if (serialValue(serial) >= highestValue) {
            highestValue = serialValue(serial);
            highest = serial;
        }
    }
    if (query.lastError().isValid())
        throw StoreError::fromSqlError(query.lastError());
    return highest;
}

// The serial after the locator's last one in text order, which is the
// highest whatever number of versions the locator has, unless another
// program stored one of neither form.
QString serialFollowing(QSqlDatabase& db, const QString& recordLocator, const QString& lastInText) {
    QString highest = lastInText;
    if (!highest.isEmpty() && !inSerialOrder(highest))
        highest = highestByPlace(db, recordLocator);
    const std::optional<QString> next = nextSerialNumber(highest);
    if (!next)
        throw StoreError(kSerialsUsedUp,
                         u"No serial number left for record locator %1: %2 is used"_s.arg(
                             recordLocator, highest));
    return *next;
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

QString serialText(int place) {
    if (place <= 999)
        return QString::number(place).rightJustified(3, u'0');
    const int rest = place - 1000;
    return QString(QChar(u'A' + rest / (36 * 36))) + kDigits.at(rest / 36 % 36) +
           kDigits.at(rest % 36);
}

std::optional<QString> nextSerialNumber(const QString& highestStored) {
    const int next = serialValue(highestStored) + 1;
    if (next > kLastSerial)
        return std::nullopt;
    return serialText(next);
}

QString lastSerialSelect() {
    return u"SELECT MAX(SER_NO) FROM AMAMD WHERE RECLOC = ?"_s;
}

QString GET_XSER_NO(const QString& recordLocator) {
    // The record locator is bound, or written into the text as a quoted
    // literal where it is safe to (see readAsText).
    return withThreadConnection(ConnectionString(), [&](QSqlDatabase& db) {
        return serialFollowing(db, recordLocator, lastInTextOrder(db, recordLocator));
    });
}

QString serialAfter(const QString& recordLocator, const QString& lastInText) {
    return withThreadConnection(ConnectionString(), [&](QSqlDatabase& db) {
        return serialFollowing(db, recordLocator, lastInText);
    });
}

QList<CrowdedLocator> crowdedLocators(QSqlDatabase& db) {
    // The text of the bound is the schema's, so that the index of the
    // versions past it serves the query; the highest of each locator is
    // taken here, since grouping would lead a planner to a scan in the
    // order of the locators.
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(u"SELECT RECLOC, SER_NO FROM AMAMD WHERE SER_NO >= '%1'"_s.arg(
            serialText(kCrowdedSerial))))
        throw StoreError::fromSqlError(query.lastError());
    QMap<QString, int> highest;
    while (query.next()) {
        int& used = highest[query.value(0).toString()];
        used = std::max(used, serialValue(query.value(1).toString()));
    }
    if (query.lastError().isValid())
        throw StoreError::fromSqlError(query.lastError());
    QList<CrowdedLocator> crowded;
    for (auto it = highest.cbegin(); it != highest.cend(); ++it) {
        if (it.value() >= kCrowdedSerial)
            crowded.append({it.key(), it.value()});
    }
    return crowded;
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
