#include "historyrows.h"

#include "gatewayrun.h"
#include "serialnumber.h"

#include <QDate>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <stdexcept>

namespace {

const QString kConnection = QStringLiteral("history");
const QString kPlaceholder = QStringLiteral("ZZZZZZ");

// The booking tables and the ledger: rows of a version by (RECLOC, SER_NO).
const QStringList kVersionTables = {QStringLiteral("AMAMD"),  QStringLiteral("AMAMDD"),
                                    QStringLiteral("AMHEAD"), QStringLiteral("AMTKT"),
                                    QStringLiteral("AMPAX"),  QStringLiteral("AMPNR"),
                                    QStringLiteral("AMFILE")};
// The document tables under a file's digest, copied before their KDOCFILE rows.
const QStringList kDocumentTables = {QStringLiteral("KDOCEVT"), QStringLiteral("KDOCTAX"),
                                     QStringLiteral("KDOCFOP")};

void exec(QSqlQuery& query) {
    if (!query.exec())
        throw std::runtime_error(
            qPrintable(query.lastQuery() + QStringLiteral(": ") + query.lastError().text()));
}

QSqlQuery exec(QSqlDatabase& db, const QString& sql) {
    QSqlQuery query(db);
    if (!query.exec(sql))
        throw std::runtime_error(qPrintable(sql + QStringLiteral(": ") + query.lastError().text()));
    return query;
}

qint64 count(QSqlDatabase& db, const QString& sql) {
    QSqlQuery query = exec(db, sql);
    return query.next() ? query.value(0).toLongLong() : 0;
}

// Seed files: distinct record locators with one version (ticketed), two
// (the same booking ticketed twice) and two from one file (two records),
// and voids and refunds under the placeholder locator.
QMap<QString, QByteArray> seedFiles() {
    QMap<QString, QByteArray> files;
    for (int i = 0; i < 350; ++i) {
        const QByteArray locator = "S" + QByteArray::number(i).rightJustified(5, '0');
        files.insert(QString::fromLatin1(locator + "_1.MIR"), ticketedBooking(locator));
        if (i >= 250)
            files.insert(QString::fromLatin1(locator + "_2.MIR"), ticketedBooking(locator));
    }
    for (int i = 350; i < 400; ++i) {
        const QByteArray locator = "S" + QByteArray::number(i).rightJustified(5, '0');
        files.insert(QString::fromLatin1(locator + "_1.MIR"), twoRecordBooking(locator));
    }
    const QMap<QString, QByteArray> kinds = sweepFiles(1);
    for (int i = 0; i < 5; ++i) {
        files.insert(QStringLiteral("ZV%1.MIR").arg(i), kinds.value(QStringLiteral("VOID001.MIR")));
        files.insert(QStringLiteral("ZR%1.MIR").arg(i), kinds.value(QStringLiteral("RFND001.MIR")));
    }
    return files;
}

// A record locator of "G" and five base-36 digits.
QString copyLocator(qint64 number) {
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    QString text(6, QLatin1Char('G'));
    for (int place = 5; place >= 1; --place, number /= 36)
        text[place] = QLatin1Char(digits[number % 36]);
    return text;
}

struct Version {
    QString locator, serial;
};

// VMAP: for each copy, the seed version it copies, its new key, a running
// number (for new file names, digests and document numbers) and its day.
class VersionMap {
public:
    VersionMap(QSqlDatabase& db, const QDate& today, int days)
        : m_insert(db), m_today(today), m_days(days) {
        exec(db, QStringLiteral("CREATE TEMP TABLE VMAP (OLD_LOC TEXT, OLD_SER TEXT, NEW_LOC "
                                "TEXT, NEW_SER TEXT, N INTEGER, DAY_US TEXT, DAY_ISO TEXT)"));
        m_insert.prepare(QStringLiteral("INSERT INTO VMAP VALUES (?, ?, ?, ?, ?, ?, ?)"));
    }

    // `progress` from 0 (the oldest day) to 1 (yesterday).
    void add(const Version& seed, const QString& locator, const QString& serial, double progress) {
        const QDate day = m_today.addDays(-qMax(1, m_days - int(progress * m_days)));
        m_insert.addBindValue(seed.locator);
        m_insert.addBindValue(seed.serial);
        m_insert.addBindValue(locator);
        m_insert.addBindValue(serial);
        m_insert.addBindValue(++m_number);
        m_insert.addBindValue(day.toString(QStringLiteral("MM-dd-yyyy")));
        m_insert.addBindValue(day.toString(Qt::ISODate));
        exec(m_insert);
    }

private:
    QSqlQuery m_insert;
    QDate m_today;
    int m_days;
    qint64 m_number = 0;
};

void mapCopies(QSqlDatabase& db, const HistoryShape& shape, const QDate& today) {
    QList<Version> seeds, placeholderSeeds;
    QSqlQuery versions = exec(db, QStringLiteral("SELECT RECLOC, SER_NO FROM AMAMD ORDER BY 1, 2"));
    while (versions.next()) {
        const Version version{versions.value(0).toString(), versions.value(1).toString()};
        (version.locator == kPlaceholder ? placeholderSeeds : seeds).append(version);
    }
    if (seeds.isEmpty() || placeholderSeeds.isEmpty())
        throw std::runtime_error("the seed files were not stored");
    QHash<QString, int> locatorIndex;
    for (const Version& seed : std::as_const(seeds)) {
        if (!locatorIndex.contains(seed.locator))
            locatorIndex.insert(seed.locator, int(locatorIndex.size()));
    }

    VersionMap map(db, today, shape.years * 365);
    const qint64 wanted = qint64(shape.years) * shape.versionsPerYear;
    const qint64 copies = (wanted + seeds.size() - 1) / seeds.size();
    for (qint64 copy = 0; copy < copies; ++copy) {
        for (const Version& seed : std::as_const(seeds))
            map.add(seed,
                    copyLocator(copy * locatorIndex.size() + locatorIndex.value(seed.locator)),
                    seed.serial, double(copy) / double(copies));
    }
    QString serial = placeholderSeeds.last().serial;
    for (qsizetype k = placeholderSeeds.size(); k < shape.placeholderVersions; ++k) {
        serial = nextSerialNumber(serial).value();
        map.add(placeholderSeeds[k % placeholderSeeds.size()], kPlaceholder, serial,
                double(k) / shape.placeholderVersions);
    }
}

QStringList columnsOf(QSqlDatabase& db, const QString& table) {
    QStringList columns;
    QSqlQuery info = exec(db, QStringLiteral("PRAGMA table_info(%1)").arg(table));
    while (info.next())
        columns.append(info.value(1).toString());
    return columns;
}

// What a copied row holds in a column: the copy's key, day, names, digest and
// document numbers; everything else as the seed row has it.
QString copiedValue(const QString& column) {
    static const QHash<QString, QString> changed = {
        {QStringLiteral("RECLOC"), QStringLiteral("m.NEW_LOC")},
        {QStringLiteral("SER_NO"), QStringLiteral("m.NEW_SER")},
        {QStringLiteral("DATE_1"), QStringLiteral("m.DAY_US")},
        {QStringLiteral("ISSUE_DT"), QStringLiteral("m.DAY_ISO")},
        {QStringLiteral("FILE_NM"), QStringLiteral("t.FILE_NM || '.' || m.N")},
        {QStringLiteral("FILE_SHA"),
         QStringLiteral("substr(t.FILE_SHA, 1, 52) || printf('%012d', m.N)")},
        {QStringLiteral("DOC_NO"),
         QStringLiteral("substr(t.DOC_NO, 1, 3) || printf('%010d', m.N * 16 + t.EVT_NO)")},
    };
    return changed.value(column, QStringLiteral("t.") + column);
}

void copyTable(QSqlDatabase& db, const QString& table, const QString& joins) {
    const QStringList columns = columnsOf(db, table);
    QStringList values;
    for (const QString& column : columns)
        values.append(copiedValue(column));
    // Day by day, as a gateway writes them: a day's rows side by side.
    exec(db, QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %1 t %4 ORDER BY m.DAY_ISO, m.N")
                 .arg(table, columns.join(QLatin1Char(',')), values.join(QLatin1Char(',')), joins));
}

void copyRows(QSqlDatabase& db) {
    for (const QString& table : kVersionTables)
        copyTable(db, table,
                  QStringLiteral("JOIN VMAP m ON m.OLD_LOC = t.RECLOC AND m.OLD_SER = t.SER_NO"));
    for (const QString& table : kDocumentTables)
        copyTable(db, table,
                  QStringLiteral("JOIN KDOCFILE f ON f.FILE_SHA = t.FILE_SHA "
                                 "JOIN VMAP m ON m.OLD_LOC = f.RECLOC AND m.OLD_SER = f.SER_NO"));
    copyTable(db, QStringLiteral("KDOCFILE"),
              QStringLiteral("JOIN VMAP m ON m.OLD_LOC = t.RECLOC AND m.OLD_SER = t.SER_NO"));
}

void addErrorRows(QSqlDatabase& db, const HistoryShape& shape, const QDate& today) {
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
        "INSERT INTO AMERROR (DATE_1, TIME_1, MESSAGE) "
        "SELECT strftime('%m-%d-%Y', date(?, '-' || (1 + i % ?) || ' days')), "
        "printf('%02d:%02d:%02d', i % 24, i % 60, i * 7 % 60), "
        "'H' || i || '.MIR-->53:File not found[FileCopy]' FROM n"));
    insert.addBindValue(qint64(shape.years) * shape.errorRowsPerYear);
    insert.addBindValue(today.toString(Qt::ISODate));
    insert.addBindValue(shape.years * 365);
    exec(insert);
}

HistorySample sampleOf(QSqlDatabase& db, const QDate& today) {
    HistorySample sample;
    sample.day = today.addDays(-1).toString(Qt::ISODate);
    const qint64 events = count(db, QStringLiteral("SELECT COUNT(*) FROM KDOCEVT"));
    QSqlQuery middle =
        exec(db, QStringLiteral("SELECT DOC_NO FROM KDOCEVT LIMIT 1 OFFSET %1").arg(events / 2));
    sample.documentNumber = middle.next() ? middle.value(0).toString() : QString();
    sample.counts =
        QStringLiteral("%1 versions (%2 of ZZZZZZ), %3 ledger rows, %4 error rows, %5 document "
                       "files, %6 document events")
            .arg(count(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD")))
            .arg(count(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD WHERE RECLOC = 'ZZZZZZ'")))
            .arg(count(db, QStringLiteral("SELECT COUNT(*) FROM AMFILE")))
            .arg(count(db, QStringLiteral("SELECT COUNT(*) FROM AMERROR")))
            .arg(count(db, QStringLiteral("SELECT COUNT(*) FROM KDOCFILE")))
            .arg(events);
    return sample;
}

} // namespace

HistorySample makeHistory(const GatewayHome& gateway, const HistoryShape& shape) {
    dropFiles(gateway.downloadFolder(), seedFiles());
    HistorySample sample;
    const RunEnd seeded = runOnce(gateway.environment());
    if (seeded.exitCode != 0) {
        sample.error =
            QStringLiteral("the seed run ended with %1: %2").arg(seeded.exitCode).arg(seeded.err);
        return sample;
    }
    const QDate today = QDate::currentDate();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kConnection);
        db.setDatabaseName(gateway.db().dataFolder() + QStringLiteral("PALVA.mdb"));
        try {
            if (!db.open())
                throw std::runtime_error(qPrintable(db.lastError().text()));
            // A bulk load: nothing of it needs to survive a crash of this program.
            exec(db, QStringLiteral("PRAGMA synchronous=OFF"));
            db.transaction();
            mapCopies(db, shape, today);
            copyRows(db);
            addErrorRows(db, shape, today);
            db.commit();
            sample = sampleOf(db, today);
            exec(db, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        } catch (const std::exception& failure) {
            sample.error = QString::fromLocal8Bit(failure.what());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(kConnection);
    return sample;
}
