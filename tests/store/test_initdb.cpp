#include "commands.h"
#include "connectiontext.h"
#include "initdb.h"
#include "opendb.h"
#include "rowappender.h"
#include "schema.h"
#include "storeerror.h"
#include "testdatabase.h"
#include "testhome.h"
#include "threadconnection.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QTest>

class TestInitDb : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void createsPalvaMdbInTheDataFolder();
    void createsTheFolderAndRefusesToOverwrite();
    void badCommandLine_data();
    void badCommandLine();
    void createsTheServerTables();
    void upgradeAddsWhatIsMissing_data() { addEngineRows(); }
    void upgradeAddsWhatIsMissing();
};

namespace {

QStringList tablesOf(const QString& connectionText) {
    return existingStoreTables(threadConnection(connectionText));
}

} // namespace

void TestInitDb::createsPalvaMdbInTheDataFolder() {
    TestHome home;
    home.writeIni(QByteArrayLiteral("[PALVA]\r\nProvider=\r\n"));
    QCOMPARE(runInitDbCommand({}), 0);
    const QString folder = home.programFolder() + QStringLiteral("/vela_data/");
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("PALVA.mdb")));
    QCOMPARE(tablesOf(mdbConnectionText(folder)), storeTableNames());
    closeThreadConnections();
}

void TestInitDb::createsTheFolderAndRefusesToOverwrite() {
    TestHome home;
    const QString folder = home.root() + QStringLiteral("/deep/new/folder");
    QCOMPARE(runInitDbCommand({folder}), 0);
    const QString mdb = folder + QStringLiteral("/PALVA.mdb");
    QVERIFY(QFileInfo::exists(mdb));

    // Something stored in it must survive a second init-db.
    GatewaySettings settings;
    settings.MirDataSource = folder + QLatin1Char('/');
    TestDatabase probe(TestEngine::Sqlite, settings.MirDataSource, TestDatabase::Content::Empty);
    probe.selectRows(QStringLiteral("INSERT INTO AMERROR (MESSAGE) VALUES ('kept')"));
    closeThreadConnections();
    const QByteArray before = readFileBytes(mdb);

    QCOMPARE(runInitDbCommand({folder}), 1);
    const InitDbOutcome outcome = initMdbDatabase(folder);
    QVERIFY(!outcome.ok);
    QVERIFY2(outcome.message.contains(QLatin1String("already exists")),
             qPrintable(outcome.message));
    QCOMPARE(readFileBytes(mdb), before);
    QCOMPARE(probe.selectRows(QStringLiteral("SELECT MESSAGE FROM AMERROR")),
             QList<QVariantList>({{"kept"}}));
}

void TestInitDb::badCommandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("ini");
    QTest::newRow("two folders") << QStringList({"a", "b"}) << QByteArray();
    QTest::newRow("an option") << QStringList({"--force"}) << QByteArray();
    QTest::newRow("folder in SQL mode")
        << QStringList({"a"}) << QByteArray("[PALVA]\nProvider=PostgreSQL Unicode\n");
}

void TestInitDb::badCommandLine() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, ini);
    TestHome home;
    if (!ini.isEmpty())
        home.writeIni(ini);
    QCOMPARE(runInitDbCommand(args), 2);
    QVERIFY(!QFileInfo::exists(home.programFolder() + QStringLiteral("/vela_data/PALVA.mdb")));
}

void TestInitDb::createsTheServerTables() {
    TestHome home;
    KESTO_TEST_DATABASE(db, TestEngine::PostgreSql, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Empty);
    home.writeIni(db.iniText());
    QCOMPARE(tablesOf(db.connectionText()), QStringList());
    closeThreadConnections();

    QCOMPARE(runInitDbCommand({}), 0);
    QCOMPARE(tablesOf(db.connectionText()), storeTableNames());
    QVERIFY(Open_DB(db.settings()).ok);
    closeThreadConnections();

    // A second run finds the tables and creates nothing.
    const InitDbOutcome again = initServerDatabase(db.settings());
    QVERIFY(!again.ok);
    QVERIFY2(again.message.contains(QLatin1String("AMAMD")), qPrintable(again.message));
    QCOMPARE(runInitDbCommand({}), 1);

    // Only some tables present: still refused, and nothing added.
    db.selectRows(QStringLiteral("DROP TABLE AMTKT"));
    db.selectRows(QStringLiteral("DROP TABLE AMPAX"));
    QCOMPARE(runInitDbCommand({}), 1);
    QCOMPARE(tablesOf(db.connectionText()).size(), storeTableNames().size() - 2);
}

// A database made by an earlier version: --upgrade refuses, changing
// nothing, while versions share a key; once they do not, it adds the ledger,
// the unique key, the document ledger's newer columns and the newer indexes
// and keeps what is stored; run again it changes nothing.
void TestInitDb::upgradeAddsWhatIsMissing() {
    QFETCH(TestEngine, engine);
    TestHome home;
    const QString folder = home.programFolder() + QStringLiteral("/vela_data/");
    KESTO_TEST_DATABASE(db, engine, folder, TestDatabase::Content::Schema);
    home.writeIni(db.iniText());
    db.selectRows(QStringLiteral("DROP TABLE AMFILE"));
    db.selectRows(QStringLiteral("DROP TABLE AMFOREIGN"));
    db.selectRows(QStringLiteral("DROP INDEX AMAMDK"));
    // Indexes made since, on tables that were there.
    const QString laterIndexes =
        QStringLiteral("('AMAMD3', 'AMERROR1', 'KDOCEVT2', 'KDOCTAX1', 'KDOCFOP1')");
    for (const char* index : {"AMAMD3", "AMERROR1", "KDOCEVT2", "KDOCTAX1", "KDOCFOP1"})
        db.selectRows(QStringLiteral("DROP INDEX ") + QLatin1String(index));
    const auto laterIndexCount = [&] {
        return db
            .selectRows((engine == TestEngine::Sqlite
                             ? QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE "
                                              "type = 'index' AND upper(name) IN ")
                             : QStringLiteral("SELECT COUNT(*) FROM pg_indexes WHERE "
                                              "upper(indexname) IN ")) +
                        laterIndexes)[0][0]
            .toInt();
    };
    // The document ledger as the first reader's version made it.
    for (const char* column : {"KDOCFILE DROP COLUMN READER_VER", "KDOCFILE DROP COLUMN COMM_AMT",
                               "KDOCEVT DROP COLUMN RELATED_DOC", "KDOCEVT DROP COLUMN COLLECTED",
                               "KDOCTAX DROP COLUMN ISSUE_DT", "KDOCFOP DROP COLUMN ISSUE_DT"})
        db.selectRows(QStringLiteral("ALTER TABLE ") + QLatin1String(column));
    db.selectRows(QStringLiteral("INSERT INTO KDOCFILE (FILE_SHA, ISSUE_DT) VALUES ('f1', "
                                 "'2026-12-01')"));
    db.selectRows(QStringLiteral("INSERT INTO KDOCTAX (FILE_SHA, EVT_NO) VALUES ('f1', 1)"));
    // After "999" the old rule gave "000" again and again.
    for (const char* serial : {"999", "000", "000", "001"})
        db.selectRows(QStringLiteral("INSERT INTO AMAMD (RECLOC, SER_NO) VALUES ('ZZZZZZ', '%1')")
                          .arg(QLatin1String(serial)));
    closeThreadConnections();
    const auto upgrade = [&] {
        const InitDbOutcome outcome = engine == TestEngine::Sqlite
                                          ? upgradeMdbDatabase(folder)
                                          : upgradeServerDatabase(db.settings());
        closeThreadConnections();
        return outcome;
    };

    const InitDbOutcome refused = upgrade();
    QVERIFY(!refused.ok);
    QVERIFY2(refused.message.endsWith(QLatin1String("Shared: ZZZZZZ/000 (2 rows)")),
             qPrintable(refused.message));
    QCOMPARE(runInitDbCommand({QStringLiteral("--upgrade")}), 1);
    QVERIFY(!tablesOf(db.connectionText()).contains(QLatin1String("AMFILE")));
    closeThreadConnections();

    db.selectRows(QStringLiteral("DELETE FROM AMAMD WHERE SER_NO = '000'"));
    closeThreadConnections();
    QCOMPARE(runInitDbCommand({QStringLiteral("--upgrade")}), 0);
    QCOMPARE(tablesOf(db.connectionText()), storeTableNames());
    QCOMPARE(laterIndexCount(), 5);
    // A file's taxes carry its issue date, as its rows written from now on do.
    QCOMPARE(db.selectRows(QStringLiteral("SELECT ISSUE_DT FROM KDOCTAX")),
             QList<QVariantList>({{QStringLiteral("2026-12-01")}}));
    db.selectRows(QStringLiteral("SELECT READER_VER, COMM_AMT FROM KDOCFILE"));
    db.selectRows(QStringLiteral("SELECT RELATED_DOC, COLLECTED FROM KDOCEVT"));
    QCOMPARE(db.selectRows(QStringLiteral("SELECT SER_NO FROM AMAMD ORDER BY SER_NO")),
             QList<QVariantList>({{QStringLiteral("001")}, {QStringLiteral("999")}}));
    closeThreadConnections();
    // The key holds: a second version under a taken key is refused.
    QVERIFY_THROWS_EXCEPTION(StoreError, appendRow(db.connectionText(), [] {
                                 NewRow row(QStringLiteral("AMAMD"));
                                 row.set(QStringLiteral("RECLOC"), QStringLiteral("ZZZZZZ"));
                                 row.set(QStringLiteral("SER_NO"), QStringLiteral("001"));
                                 return row;
                             }()));
    closeThreadConnections();

    const InitDbOutcome again = upgrade();
    QVERIFY(again.ok);
    QVERIFY2(again.message.contains(QLatin1String("nothing was changed")),
             qPrintable(again.message));

    // A database without the store's tables is not one to upgrade.
    db.selectRows(QStringLiteral("DROP TABLE AMFILE"));
    db.selectRows(QStringLiteral("DROP TABLE AMAMD"));
    closeThreadConnections();
    QCOMPARE(runInitDbCommand({QStringLiteral("--upgrade")}), 1);
    closeThreadConnections();
}

QTEST_GUILESS_MAIN(TestInitDb)
#include "test_initdb.moc"
