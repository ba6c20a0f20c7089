#include "recordwriters.h"
#include "rowappender.h"
#include "serialnumber.h"
#include "storecall.h"
#include "storeerror.h"
#include "testhome.h"
#include "writerfixture.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestSerialNumber : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void nextSerial_data();
    void nextSerial();
    void everySerialSortsAfterTheLast();
    void fromStore_data();
    void fromStore();
    void serialsUsedUpAreRefused_data();
    void serialsUsedUpAreRefused();
    void missingTableFails_data();
    void missingTableFails();
    void crowdedLocators_data();
    void crowdedLocators();
};

void TestSerialNumber::nextSerial_data() {
    QTest::addColumn<QString>("highest");
    QTest::addColumn<QString>("next");
    QTest::newRow("first after 001") << "001"
                                     << "002";
    QTest::newRow("carry into tens") << "009"
                                     << "010";
    QTest::newRow("carry into hundreds") << "099"
                                         << "100";
    QTest::newRow("last three-digit") << "998"
                                      << "999";
    QTest::newRow("after 999 comes A00") << "999"
                                         << "A00";
    QTest::newRow("digits before letters") << "A09"
                                           << "A0A";
    QTest::newRow("carry after Z") << "A0Z"
                                   << "A10";
    QTest::newRow("next letter in front") << "AZZ"
                                          << "B00";
    QTest::newRow("the last but one") << "ZZY"
                                      << "ZZZ";
    QTest::newRow("letters only") << "ABC"
                                  << "ABD";
    QTest::newRow("neither form counts as 0") << "abc"
                                              << "001";
    QTest::newRow("empty counts as 0") << ""
                                       << "001";
    QTest::newRow("leading blanks skipped") << "  12"
                                            << "013";
    QTest::newRow("number then letters") << "12A"
                                         << "013";
}

void TestSerialNumber::nextSerial() {
    QFETCH(QString, highest);
    QFETCH(QString, next);
    QCOMPARE(nextSerialNumber(highest), std::optional<QString>(next));
}

// Each serial sorts after the one before it in text order, as readers of the
// tables rely on, from "001" to "ZZZ"; then none is left.

void TestSerialNumber::everySerialSortsAfterTheLast() {
    QString serial = u"001"_s;
    int count = 1;
    while (const std::optional<QString> next = nextSerialNumber(serial)) {
        QVERIFY2(*next > serial, qPrintable(*next + u" after "_s + serial));
        serial = *next;
        ++count;
    }
    QCOMPARE(serial, u"ZZZ"_s);
    QCOMPARE(count, kLastSerial);
}

void TestSerialNumber::fromStore_data() {
    addEngineColumn();
    QTest::addColumn<QString>("locator");
    QTest::addColumn<QStringList>("stored"); // AMAMD rows as "LOCATOR SERIAL", in insertion order
    QTest::addColumn<QString>("expected");
    const QString tricky = u"AB'C;D--"_s;
    for (TestEngine engine : {TestEngine::Sqlite, TestEngine::PostgreSql}) {
        newEngineRow(engine, "nothing stored") << "ABC123" << QStringList{} << "001";
        newEngineRow(engine, "three stored")
            << "ABC123" << QStringList{"ABC123 001", "ABC123 002", "ABC123 003"} << "004";
        newEngineRow(engine, "highest in text order, not insertion order")
            << "ABC123" << QStringList{"ABC123 002", "ABC123 010", "ABC123 009"} << "011";
        newEngineRow(engine, "after 999 a letter in front")
            << "ABC123" << QStringList{"ABC123 999", "ABC123 998"} << "A00";
        newEngineRow(engine, "letters and digits past 999")
            << "ABC123" << QStringList{"ABC123 A0Z", "ABC123 999", "ABC123 A09"} << "A10";
        newEngineRow(engine, "an old 000 after 999 counts as 0")
            << "ABC123" << QStringList{"ABC123 999", "ABC123 000"} << "A00";
        newEngineRow(engine, "other locators do not count")
            << "ABC123" << QStringList{"ABC124 005", "ABC12 007", "ABC123 001"} << "002";
        newEngineRow(engine, "exact text equality")
            << "ABC123" << QStringList{"abc123 004", "ABC123  003"} << "001";
        // Serials only another program stores: the last in text order is of
        // neither form, so every serial of the locator is read by its number.
        newEngineRow(engine, "lower case sorts last and counts as 0")
            << "ABC123" << QStringList{"ABC123 abc", "ABC123 007"} << "008";
        newEngineRow(engine, "a number with a letter after it counts by the number")
            << "ABC123" << QStringList{"ABC123 12A", "ABC123 011"} << "013";
        newEngineRow(engine, "quote and semicolon are data")
            << tricky << QStringList{tricky + u" 001"_s, u"X 009"_s} << "002";
        newEngineRow(engine, "a backslash is data")
            << u"AB\\C"_s << QStringList{u"AB\\C 004"_s, u"ABC 009"_s} << "005";
    }
}

void TestSerialNumber::fromStore() {
    QFETCH(TestEngine, engine);
    QFETCH(QString, locator);
    QFETCH(QStringList, stored);
    QFETCH(QString, expected);
    TestHome home;
    KESTO_WRITER_DATABASE(db, engine, home);
    for (const QString& entry : std::as_const(stored)) {
        NewRow row(u"AMAMD"_s);
        row.set(u"RECLOC"_s, entry.section(u' ', 0, -2));
        row.set(u"SER_NO"_s, entry.section(u' ', -1));
        appendRow(db.connectionText(), row);
    }
    QCOMPARE(GET_XSER_NO(locator), expected);
    // The lookup reads only: the table holds what it held.
    QCOMPARE(db.selectRows(u"SELECT RECLOC FROM AMAMD"_s).size(), stored.size());
}

void TestSerialNumber::serialsUsedUpAreRefused_data() {
    addEngineRows();
}

// With "ZZZ" stored there is no serial left: the version cannot be stored.
void TestSerialNumber::serialsUsedUpAreRefused() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_WRITER_DATABASE(db, engine, home);
    NewRow row(u"AMAMD"_s);
    row.set(u"RECLOC"_s, u"ZZZZZZ"_s);
    row.set(u"SER_NO"_s, u"ZZZ"_s);
    appendRow(db.connectionText(), row);
    try {
        GET_XSER_NO(u"ZZZZZZ"_s);
        QFAIL("a serial after ZZZ");
    } catch (const StoreError& error) {
        QCOMPARE(error.cause(), StoreError::Cause::Data);
        QVERIFY2(error.description().contains(u"ZZZ is used"_s), qPrintable(error.description()));
    }
}

void TestSerialNumber::missingTableFails_data() {
    addEngineRows();
}

// A failure to read goes to the caller; no serial is made up.
void TestSerialNumber::missingTableFails() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_WRITER_DATABASE(db, engine, home);
    execOn(db, u"DROP TABLE AMAMD"_s);
    QVERIFY_THROWS_EXCEPTION(StoreError, GET_XSER_NO(u"ABC123"_s));
}

void TestSerialNumber::crowdedLocators_data() {
    addEngineRows();
}

// Past "XBM" a record locator has used more than 90 % of its serials; each
// such locator is told once, with its highest serial, whatever else it holds.
void TestSerialNumber::crowdedLocators() {
    QFETCH(TestEngine, engine);
    QCOMPARE(serialText(kCrowdedSerial), u"XBM"_s);
    QCOMPARE(serialValue(u"XBL"_s), kCrowdedSerial - 1);
    TestHome home;
    KESTO_WRITER_DATABASE(db, engine, home);
    for (const char* entry : {"ABC123 XBL", "ABC123 999", "ZZZZZZ XC0", "ZZZZZZ XBM", "ZZZZZZ 001",
                              "DEF456 ZZZ", "GHI789 abc"}) {
        NewRow row(u"AMAMD"_s);
        row.set(u"RECLOC"_s, QString::fromLatin1(entry).left(6));
        row.set(u"SER_NO"_s, QString::fromLatin1(entry).mid(7));
        appendRow(db.connectionText(), row);
    }
    QList<QPair<QString, int>> found;
    withThreadConnection(db.connectionText(), [&](QSqlDatabase& connection) {
        for (const CrowdedLocator& crowded : ::crowdedLocators(connection))
            found.append({crowded.recordLocator, crowded.used});
    });
    const QList<QPair<QString, int>> expected{{u"DEF456"_s, kLastSerial},
                                              {u"ZZZZZZ"_s, serialValue(u"XC0"_s)}};
    QCOMPARE(found, expected);
}

QTEST_GUILESS_MAIN(TestSerialNumber)
#include "test_serialnumber.moc"
