#include "connectionstring.h"
#include "connectiontext.h"
#include "gatewaysettings.h"
#include "lasterror.h"
#include "opendb.h"
#include "testdatabase.h"
#include "testhome.h"
#include "threadconnection.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

class TestOpenDb : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void titles_data();
    void titles();
    void opens_data();
    void opens();
    void failures_data();
    void failures();
    void passwordWithSeparators();
};

void TestOpenDb::titles_data() {
    QTest::addColumn<QString>("provider");
    QTest::addColumn<QString>("xmlFg");
    QTest::addColumn<QString>("xmlDns");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("sqlIndexVisible");
    QTest::newRow("mdb") << ""
                         << ""
                         << ""
                         << "KESTO-MDB-V2.0" << false;
    QTest::newRow("mdb xml") << ""
                             << "1"
                             << "web01"
                             << "KESTO-MDB-V2.0.xml" << false;
    QTest::newRow("mdb xml on, no host") << ""
                                         << "1"
                                         << ""
                                         << "KESTO-MDB-V2.0" << false;
    QTest::newRow("mdb xml off, host set") << ""
                                           << "0"
                                           << "web01"
                                           << "KESTO-MDB-V2.0" << false;
    QTest::newRow("blank provider is mdb") << "  "
                                           << "1"
                                           << "web01"
                                           << "KESTO-MDB-V2.0.xml" << false;
    QTest::newRow("sql") << "No Such Driver"
                         << ""
                         << ""
                         << "KESTO-SQL-V2.0" << true;
    QTest::newRow("sql xml") << "No Such Driver"
                             << "1"
                             << "web01"
                             << "KESTO-SQL-V2.0.xml" << true;
    QTest::newRow("sql xml off, host set") << "No Such Driver"
                                           << "0"
                                           << "web01"
                                           << "KESTO-SQL-V2.0" << true;
}

// The title and the button are chosen before the connection is tried, so they
// hold on failure as well (nothing here can be opened).
void TestOpenDb::titles() {
    QFETCH(QString, provider);
    QFETCH(QString, xmlFg);
    QFETCH(QString, xmlDns);
    QFETCH(QString, title);
    QFETCH(bool, sqlIndexVisible);
    TestHome home;
    GatewaySettings settings;
    settings.Provider = provider;
    settings.XML_FG = xmlFg;
    settings.XML_DNS = xmlDns;
    settings.MirDataSource = home.folder(QStringLiteral("nothing-here"));
    const OpenDbOutcome outcome = Open_DB(settings);
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.windowTitle, title);
    QCOMPARE(outcome.sqlIndexVisible, sqlIndexVisible);
}

void TestOpenDb::opens_data() {
    addEngineRows();
}

void TestOpenDb::opens() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    setLastError(5, QStringLiteral("left over"));
    const OpenDbOutcome outcome = Open_DB(db.settings());
    QVERIFY2(outcome.ok, qPrintable(lastErrorText()));
    QVERIFY(isDatabaseOpen());
    QCOMPARE(lastErrorNumber(), 0);
    QCOMPARE(ConnectionString(), db.connectionText());
    // Opening again (the next run) works on a fresh connection.
    QVERIFY(Open_DB(db.settings()).ok);
}

void TestOpenDb::failures_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing PALVA.mdb") << "missing";
    QTest::newRow("corrupt PALVA.mdb") << "corrupt";
    QTest::newRow("PALVA.mdb is a folder") << "folder";
    QTest::newRow("closed port") << "closed port";
    QTest::newRow("driver not installed") << "no driver";
    QTest::newRow("wrong password") << "wrong password";
    QTest::newRow("no such database") << "no database";
}

void TestOpenDb::failures() {
    QFETCH(QString, kind);
    TestHome home;
    const QString data = home.folder(QStringLiteral("vela_data"));
    const QString mdb = data + QStringLiteral("PALVA.mdb");
    GatewaySettings settings;
    settings.MirDataSource = data;
    const bool needsServer =
        kind == QLatin1String("wrong password") || kind == QLatin1String("no database");
    if (needsServer) {
        KESTO_TEST_DATABASE(db, TestEngine::PostgreSql, data, TestDatabase::Content::Schema);
        settings = db.settings();
        if (kind == QLatin1String("wrong password"))
            settings.pwd += QStringLiteral("-wrong");
        else
            settings.database += QStringLiteral("_missing");
    } else if (kind == QLatin1String("corrupt")) {
        QByteArray garbage(8192, 'x');
        garbage.prepend("This is not a database file at all.");
        writeFileBytes(mdb, garbage);
    } else if (kind == QLatin1String("folder")) {
        QDir().mkpath(mdb);
    } else if (kind == QLatin1String("closed port")) {
        settings.Provider = QStringLiteral("PostgreSQL Unicode");
        settings.Server = QStringLiteral("127.0.0.1,1");
        settings.uid = QStringLiteral("kesto");
        settings.database = QStringLiteral("kesto");
    } else if (kind == QLatin1String("no driver")) {
        settings.Provider = QStringLiteral("SQLOLEDB");
        settings.Server = QStringLiteral("127.0.0.1");
    }
    const QByteArray before = readFileBytes(mdb);

    const OpenDbOutcome outcome = Open_DB(settings);

    QVERIFY(!outcome.ok);
    QVERIFY(!isDatabaseOpen());
    QVERIFY(lastErrorNumber() != 0);
    QVERIFY2(lastErrorText().endsWith(QLatin1String("[Open_DB]")), qPrintable(lastErrorText()));
    QVERIFY(lastErrorText().size() > QStringLiteral("[Open_DB]").size());
    QVERIFY(!outcome.windowTitle.isEmpty());
    QCOMPARE(ConnectionString(), connectionTextFor(settings));
    // Nothing was created or changed on disk.
    QCOMPARE(QFileInfo::exists(mdb),
             kind == QLatin1String("corrupt") || kind == QLatin1String("folder"));
    QCOMPARE(readFileBytes(mdb), before);
}

// A password holding ';' and braces reaches the server whole instead of
// ending the attribute early (or adding attributes of its own).
void TestOpenDb::passwordWithSeparators() {
    TestHome home;
    KESTO_TEST_DATABASE(db, TestEngine::PostgreSql, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    const QString role = db.database() + QStringLiteral("_role");
    const QString password = QStringLiteral("a;b}c{d;DATABASE=postgres");
    db.selectRows(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(role, password));
    GatewaySettings settings = db.settings();
    settings.uid = role;
    settings.pwd = password;
    const OpenDbOutcome outcome = Open_DB(settings);
    QVERIFY2(outcome.ok, qPrintable(lastErrorText()));
    closeThreadConnections();
    settings.pwd = QStringLiteral("a;b}c{d");
    QVERIFY(!Open_DB(settings).ok);
    closeThreadConnections();
    db.selectRows(QStringLiteral("DROP ROLE %1").arg(role));
}

QTEST_GUILESS_MAIN(TestOpenDb)
#include "test_opendb.moc"
