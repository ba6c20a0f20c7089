#include "connectiontext.h"
#include "gatewaysettings.h"

#include <QTest>

class TestConnectionText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void mdbText_data();
    void mdbText();
    void sqlText_data();
    void sqlText();
    void odbcTranslation_data();
    void odbcTranslation();
    void mdbTranslationKeepsThePath();
    void unknownTextIsInvalid();
};

void TestConnectionText::mdbText_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");
    QTest::newRow("windows folder")
        << "d:\\data\\"
        << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=d:\\data\\PALVA.mdb";
    QTest::newRow("posix folder")
        << "/srv/kesto/vela_data/"
        << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/kesto/vela_data/PALVA.mdb";
    QTest::newRow("semicolon in folder")
        << "/srv/a;b/"
        << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/a;b/PALVA.mdb";
}

void TestConnectionText::mdbText() {
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    GatewaySettings settings;
    settings.Provider = QStringLiteral("   "); // blanks only: MDB mode
    settings.MirDataSource = folder;
    QCOMPARE(connectionTextFor(settings), expected);
}

void TestConnectionText::sqlText_data() {
    QTest::addColumn<QString>("provider");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("uid");
    QTest::addColumn<QString>("pwd");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("expected");
    QTest::newRow("all set") << "SQLOLEDB"
                             << "db01"
                             << "sa"
                             << "secret"
                             << "TRAVEL"
                             << "Provider=SQLOLEDB;SERVER=db01;uid=sa;pwd=secret;database=TRAVEL";
    QTest::newRow("empty uid and pwd") << "SQLOLEDB"
                                       << "db01"
                                       << ""
                                       << ""
                                       << "TRAVEL"
                                       << "Provider=SQLOLEDB;SERVER=db01;uid=;pwd=;database=TRAVEL";
    QTest::newRow("values untrimmed")
        << " SQLOLEDB "
        << " db01"
        << "sa "
        << " p "
        << "T "
        << "Provider= SQLOLEDB ;SERVER= db01;uid=sa ;pwd= p ;database=T ";
}

void TestConnectionText::sqlText() {
    QFETCH(QString, provider);
    QFETCH(QString, server);
    QFETCH(QString, uid);
    QFETCH(QString, pwd);
    QFETCH(QString, database);
    QFETCH(QString, expected);
    GatewaySettings settings;
    settings.Provider = provider;
    settings.Server = server;
    settings.uid = uid;
    settings.pwd = pwd;
    settings.database = database;
    settings.MirDataSource = QStringLiteral("/ignored/");
    QCOMPARE(connectionTextFor(settings), expected);
}

void TestConnectionText::odbcTranslation_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("odbc");
    QTest::addColumn<int>("engine");
    QTest::newRow("sql server keeps host,port")
        << "Provider=ODBC Driver 18 for SQL Server;SERVER=db01,1433;uid=sa;pwd=x;database=TRAVEL"
        << "DRIVER={ODBC Driver 18 for SQL Server};SERVER=db01,1433;UID=sa;PWD=x;DATABASE=TRAVEL"
        << int(DbEngine::SqlServer);
    QTest::newRow("psqlodbc gets PORT")
        << "Provider=PostgreSQL Unicode;SERVER=127.0.0.1,5433;uid=kesto;pwd=k;database=travel"
        << "DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=5433;UID=kesto;PWD=k;DATABASE=travel;Protocol=7.4-0"
        << int(DbEngine::PostgreSql);
    QTest::newRow("psqlodbc without port")
        << "Provider=PostgreSQL ANSI;SERVER=db02;uid=;pwd=;database=travel"
        << "DRIVER={PostgreSQL ANSI};SERVER=db02;UID=;PWD=;DATABASE=travel;Protocol=7.4-0"
        << int(DbEngine::PostgreSql);
    QTest::newRow("password with semicolon and brace is braced")
        << "Provider=PostgreSQL Unicode;SERVER=h;uid=u;pwd=a;b}c;database=d"
        << "DRIVER={PostgreSQL Unicode};SERVER=h;UID=u;PWD={a;b}}c};DATABASE=d;Protocol=7.4-0"
        << int(DbEngine::PostgreSql);
    QTest::newRow("injected attribute stays inside the password")
        << "Provider=FreeTDS;SERVER=h;uid=u;pwd=x;DRIVER={Other};database=d"
        << "DRIVER={FreeTDS};SERVER=h;UID=u;PWD={x;DRIVER={Other}}};DATABASE=d"
        << int(DbEngine::SqlServer);
    QTest::newRow("provider blanks trimmed for the driver")
        << "Provider= FreeTDS ;SERVER=h;uid=u;pwd=p;database=d"
        << "DRIVER={FreeTDS};SERVER=h;UID=u;PWD=p;DATABASE=d" << int(DbEngine::SqlServer);
}

void TestConnectionText::odbcTranslation() {
    QFETCH(QString, text);
    QFETCH(QString, odbc);
    QFETCH(int, engine);
    const ConnectionTarget target = translateConnectionText(text);
    QVERIFY(target.valid);
    QCOMPARE(target.qtDriver, QStringLiteral("QODBC"));
    QCOMPARE(target.databaseName, odbc);
    QCOMPARE(int(target.engine), engine);
}

void TestConnectionText::mdbTranslationKeepsThePath() {
    const ConnectionTarget target =
        translateConnectionText(mdbConnectionText(QStringLiteral("/srv/a;b/")));
    QVERIFY(target.valid);
    QCOMPARE(target.qtDriver, QStringLiteral("QSQLITE"));
    QCOMPARE(target.filePath, QStringLiteral("/srv/a;b/PALVA.mdb"));
    QCOMPARE(int(target.engine), int(DbEngine::Sqlite));
}

void TestConnectionText::unknownTextIsInvalid() {
    QVERIFY(!translateConnectionText(QString()).valid);
    QVERIFY(!translateConnectionText(QStringLiteral("DSN=x")).valid);
    QVERIFY(!translateConnectionText(QStringLiteral("Provider=x;SERVER=y")).valid);
}

QTEST_GUILESS_MAIN(TestConnectionText)
#include "test_connectiontext.moc"
