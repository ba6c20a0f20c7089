#include "clock.h"
#include "connectionstring.h"
#include "errorlog.h"
#include "opendb.h"
#include "testdatabase.h"
#include "testhome.h"

#include <QFileInfo>
#include <QTest>

class TestErrorLog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void message_data();
    void message();
    void writesOneRow_data();
    void writesOneRow();
    void clockIsReadTwice_data();
    void clockIsReadTwice();
    void unreachableDatabase_data();
    void unreachableDatabase();
    void rowIsSavedWithoutAColumnTheTableLacks_data();
    void rowIsSavedWithoutAColumnTheTableLacks();
};

void TestErrorLog::message_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("documented example") << "ABC123.MIR" << 9000 << "refused"
                                        << "ABC123.MIR-->9000:refused";
    QTest::newRow("empty source and text") << "" << 9999 << ""
                                           << "-->9999:";
    QTest::newRow("negative code") << "F.MIR" << -2147467259 << "x[Open_DB]"
                                   << "F.MIR-->-2147467259:x[Open_DB]";
    const QString longText = QStringLiteral("E").repeated(300);
    QTest::newRow("cut to 255") << "S.MIR" << 53 << longText
                                << QString(QStringLiteral("S.MIR-->53:") + longText).left(255);
    const QString chinese = QString::fromUtf8("錯誤").repeated(200);
    QTest::newRow("cut by characters, not bytes")
        << "S" << 1 << chinese << QString(QStringLiteral("S-->1:") + chinese).left(255);
}

void TestErrorLog::message() {
    QFETCH(QString, source);
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const QString message = errorLogMessage(source, code, text);
    QCOMPARE(message, expected);
    QVERIFY(message.size() <= 255);
}

void TestErrorLog::writesOneRow_data() {
    addEngineRows();
}

void TestErrorLog::writesOneRow() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    QVERIFY(Open_DB(db.settings()).ok);
    ManualClock clock(QDateTime(QDate(2026, 12, 6), QTime(7, 5, 9)));
    ScopedClock installed(clock);

    const QString longText = QString::fromUtf8("說明").repeated(200);
    LogError(QStringLiteral("ABC123.MIR"), 9000, QStringLiteral("refused"));
    LogError(QStringLiteral("LONG.MIR"), 9999, longText);

    const QList<QVariantList> rows = db.selectRows(
        QStringLiteral("SELECT DATE_1, TIME_1, MESSAGE FROM AMERROR ORDER BY MESSAGE"));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0], QVariantList({"12-06-2026", "07:05:09", "ABC123.MIR-->9000:refused"}));
    QCOMPARE(rows[1][2].toString(),
             QString(QStringLiteral("LONG.MIR-->9999:") + longText).left(255));
}

void TestErrorLog::clockIsReadTwice_data() {
    addEngineRows();
}

// The date and the time come from two readings: across midnight they belong
// to different days, as the documented behaviour has it.
void TestErrorLog::clockIsReadTwice() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    QVERIFY(Open_DB(db.settings()).ok);
    ManualClock clock(QDateTime(QDate(2027, 2, 28), QTime(23, 59, 59, 999)), 1);
    ScopedClock installed(clock);
    LogError(QStringLiteral("M.MIR"), 1, QStringLiteral("x"));
    const QList<QVariantList> rows =
        db.selectRows(QStringLiteral("SELECT DATE_1, TIME_1 FROM AMERROR"));
    QCOMPARE(rows, QList<QVariantList>({{"02-28-2027", "00:00:00"}}));
}

void TestErrorLog::unreachableDatabase_data() {
    QTest::addColumn<QString>("connectionText");
    QTest::newRow("no connection text yet") << QString();
    QTest::newRow("missing PALVA.mdb")
        << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/nonexistent/kesto/PALVA.mdb";
    QTest::newRow("closed port")
        << "Provider=PostgreSQL Unicode;SERVER=127.0.0.1,1;uid=k;pwd=k;database=k";
    QTest::newRow("driver not installed") << "Provider=SQLOLEDB;SERVER=h;uid=;pwd=;database=d";
}

// The row is not lost: it goes to the local error log, line by line.
void TestErrorLog::unreachableDatabase() {
    QFETCH(QString, connectionText);
    TestHome home;
    const QString local = home.folder(QStringLiteral("state")) + QStringLiteral("errors.log");
    setLocalErrorLog(local);
    setConnectionString(connectionText);
    ManualClock clock(QDateTime(QDate(2026, 12, 6), QTime(7, 5, 9)));
    ScopedClock installed(clock);
    QVERIFY(!LogError(QStringLiteral("A.MIR"), 9000, QStringLiteral("refused")));
    QVERIFY(!LogError(QStringLiteral("B.MIR"), 53, QStringLiteral("File not found[FileCopy]")));
    setLocalErrorLog(QString());
    QVERIFY(!QFileInfo::exists(QStringLiteral("/nonexistent/kesto/PALVA.mdb")));
    QCOMPARE(readFileBytes(local), QByteArray("12-06-2026 07:05:09 A.MIR-->9000:refused\n"
                                              "12-06-2026 07:05:09 B.MIR-->53:File not "
                                              "found[FileCopy]\n"));
}

void TestErrorLog::rowIsSavedWithoutAColumnTheTableLacks_data() {
    addEngineRows();
}

void TestErrorLog::rowIsSavedWithoutAColumnTheTableLacks() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    QVERIFY(Open_DB(db.settings()).ok);
    // selectRows runs any statement on the test's connection.
    db.selectRows(QStringLiteral("DROP TABLE AMERROR"));
    db.selectRows(
        QStringLiteral("CREATE TABLE AMERROR (DATE_1 VARCHAR(10), MESSAGE VARCHAR(255))"));
    ManualClock clock(QDateTime(QDate(2026, 12, 6), QTime(7, 5, 9)));
    ScopedClock installed(clock);

    LogError(QStringLiteral("A.MIR"), 53, QStringLiteral("File not found[FileCopy]"));

    QCOMPARE(db.selectRows(QStringLiteral("SELECT DATE_1, MESSAGE FROM AMERROR")),
             QList<QVariantList>({{"12-06-2026", "A.MIR-->53:File not found[FileCopy]"}}));
}

QTEST_GUILESS_MAIN(TestErrorLog)
#include "test_errorlog.moc"
