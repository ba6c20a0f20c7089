#include "opendb.h"
#include "sqlindex.h"
#include "testdatabase.h"
#include "testhome.h"

#include <QTest>

class TestSqlIndex : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sqlServerScriptIsExact();
    void portableScriptMatchesTheIndexes();
    void withoutOpenDatabase();
    void runsTwice_data();
    void runsTwice();
    void reportsFailure_data();
    void reportsFailure();
};

void TestSqlIndex::sqlServerScriptIsExact() {
    const QString expected =
        QStringLiteral("SET NOCOUNT OFF\r\n"
                       "--AMAMD\r\n"
                       "IF EXISTS (SELECT name FROM sysindexes\r\n"
                       "      WHERE name = 'AMAMD1')\r\n"
                       "   DROP INDEX AMAMD.AMAMD1\r\n"
                       "IF EXISTS (SELECT name FROM sysindexes\r\n"
                       "      WHERE name = 'AMAMD2')\r\n"
                       "   DROP INDEX AMAMD.AMAMD2\r\n"
                       "CREATE INDEX AMAMD1\r\n"
                       "   ON AMAMD (RECLOC,SER_NO)\r\n"
                       "CREATE INDEX AMAMD2\r\n"
                       "   ON AMAMD (FILE_NM)\r\n"
                       "--AMAMDD\r\n"
                       "IF EXISTS (SELECT name FROM sysindexes\r\n"
                       "      WHERE name = 'AMAMDD1')\r\n"
                       "   DROP INDEX AMAMDD.AMAMDD1\r\n"
                       "CREATE INDEX AMAMDD1\r\n"
                       "   ON AMAMDD (RECLOC,SER_NO,I_INDEX)\r\n"
                       "--AMHEAD\r\n"
                       "IF EXISTS (SELECT name FROM sysindexes\r\n"
                       "      WHERE name = 'AMHEAD1')\r\n"
                       "   DROP INDEX AMHEAD.AMHEAD1\r\n"
                       "CREATE INDEX AMHEAD1\r\n"
                       "   ON AMHEAD (RECLOC,SER_NO)\r\n"
                       "--AMPAX\r\n"
                       "IF EXISTS (SELECT name FROM sysindexes\r\n"
                       "      WHERE name = 'AMPAX1')\r\n"
                       "   DROP INDEX AMPAX.AMPAX1\r\n"
                       "CREATE INDEX AMPAX1\r\n"
                       "   ON AMPAX (RECLOC,SER_NO,SEG_TP,H_INDEX,H_INDEX1)\r\n"
                       "--AMPNR\r\n"
                       "IF EXISTS (SELECT name FROM sysindexes\r\n"
                       "      WHERE name = 'AMPNR1')\r\n"
                       "   DROP INDEX AMPNR.AMPNR1\r\n"
                       "CREATE INDEX AMPNR1\r\n"
                       "   ON AMPNR (RECLOC,SER_NO,SEG_TP,H_INDEX,H_INDEX1)\r\n"
                       "--AMTKT\r\n"
                       "IF EXISTS (SELECT name FROM sysindexes\r\n"
                       "      WHERE name = 'AMTKT1')\r\n"
                       "   DROP INDEX AMTKT.AMTKT1\r\n"
                       "CREATE INDEX AMTKT1\r\n"
                       "   ON AMTKT (RECLOC,SER_NO,MSGTAG,SEG_TP,TTONBR,SEGNBR)\r\n");
    QCOMPARE(sqlIndexScript(DbEngine::SqlServer), expected);
}

void TestSqlIndex::portableScriptMatchesTheIndexes() {
    const QStringList statements = sqlIndexStatements(DbEngine::PostgreSql);
    QCOMPARE(statements.size(), 14);
    QCOMPARE(statements.first(), QStringLiteral("DROP INDEX IF EXISTS AMAMD1"));
    QCOMPARE(statements.at(2), QStringLiteral("CREATE INDEX AMAMD1 ON AMAMD (RECLOC,SER_NO)"));
    QCOMPARE(
        statements.last(),
        QStringLiteral("CREATE INDEX AMTKT1 ON AMTKT (RECLOC,SER_NO,MSGTAG,SEG_TP,TTONBR,SEGNBR)"));
}

void TestSqlIndex::withoutOpenDatabase() {
    TestHome home;
    GatewaySettings settings;
    settings.MirDataSource = home.folder(QStringLiteral("empty"));
    QVERIFY(!Open_DB(settings).ok);
    const SqlIndexOutcome outcome = runSqlIndexScript();
    QVERIFY(!outcome.ok);
    QVERIFY2(outcome.message.startsWith(QLatin1String("ERROR=-2147467259 : ")),
             qPrintable(outcome.message));
}

void TestSqlIndex::runsTwice_data() {
    addEngineRows();
}

void TestSqlIndex::runsTwice() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    QVERIFY(Open_DB(db.settings()).ok);
    const QString success = QStringLiteral("SQL Index 建立成功 !!!");
    for (int run = 0; run < 2; ++run) {
        const SqlIndexOutcome outcome = runSqlIndexScript();
        QCOMPARE(outcome.message, success);
        QVERIFY(outcome.ok);
    }
    const QString catalogue =
        engine == TestEngine::Sqlite
            ? QStringLiteral("SELECT upper(name) FROM sqlite_master WHERE type='index' ORDER BY 1")
            : QStringLiteral(
                  "SELECT upper(indexname) FROM pg_indexes WHERE schemaname='public' AND "
                  "indexname NOT LIKE '%_pkey' ORDER BY 1"); // a primary key's own index
    QStringList names;
    for (const QVariantList& row : db.selectRows(catalogue))
        names.append(row.first().toString());
    // The unique keys of a version and of a gateway, and the indexes of the
    // ledgers, the error rows and the documents survive the script.
    QCOMPARE(names,
             QStringList({"AMAMD1", "AMAMD2", "AMAMD3", "AMAMDD1", "AMAMDK", "AMERROR1", "AMFILE1",
                          "AMFILE2", "AMFOREIGN1", "AMGATEWAYK", "AMHEAD1", "AMPAX1", "AMPNR1",
                          "AMTKT1", "KDOCEVT1", "KDOCEVT2", "KDOCFILEK", "KDOCFOP1", "KDOCTAX1"}));
}

void TestSqlIndex::reportsFailure_data() {
    addEngineRows();
}

// A table that went missing makes its CREATE INDEX fail: the message carries
// the number and the description, and the program goes on.
void TestSqlIndex::reportsFailure() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    QVERIFY(Open_DB(db.settings()).ok);
    db.selectRows(QStringLiteral("DROP TABLE AMTKT"));
    const SqlIndexOutcome outcome = runSqlIndexScript();
    QVERIFY(!outcome.ok);
    QVERIFY2(outcome.message.startsWith(QLatin1String("ERROR=")), qPrintable(outcome.message));
    QVERIFY(outcome.message.contains(QLatin1String(" : ")));
    QVERIFY(!outcome.message.startsWith(QLatin1String("ERROR=0 ")));
}

QTEST_GUILESS_MAIN(TestSqlIndex)
#include "test_sqlindex.moc"
