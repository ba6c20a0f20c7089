#include "groupcommit.h"
#include "testdatabase.h"
#include "testhome.h"
#include "threadconnection.h"

#include <QSqlQuery>
#include <QTest>
#include <QThread>

// Commits made durable in groups: the cycle's commits do not wait for the
// disk, and one durable commit before its files leave the folder answers for
// them, unless the session they were made on was lost in between.
class TestGroupCommit : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lostSessionIsNotVouchedFor_data() { addEngineRows(); }
    void lostSessionIsNotVouchedFor();
};

namespace {

QVariant valueOf(const QString& connectionText, const QString& sql) {
    QSqlQuery query(threadConnection(connectionText));
    return query.exec(sql) && query.next() ? query.value(0) : QVariant();
}

// Whether the thread's connection commits without waiting for the disk.
bool relaxed(TestEngine engine, const QString& connectionText) {
    if (engine == TestEngine::Sqlite)
        return valueOf(connectionText, QStringLiteral("PRAGMA synchronous")).toInt() == 1;
    return valueOf(connectionText, QStringLiteral("SHOW synchronous_commit")).toString() ==
           QLatin1String("off");
}

bool setBeat(QSqlDatabase& db, const QString& beat) {
    QSqlQuery query(db);
    return query.exec(QStringLiteral("UPDATE AMGATEWAY SET BEAT_MS = '%1' WHERE GW_ID = 'G'")
                          .arg(beat)) &&
           query.numRowsAffected() == 1;
}

} // namespace

void TestGroupCommit::lostSessionIsNotVouchedFor() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const QString text = db.connectionText();
    db.selectRows(QStringLiteral("INSERT INTO AMGATEWAY (GW_ID, BEAT_MS) VALUES ('G', '0')"));
    const auto beat = [](QSqlDatabase& connection) { return setBeat(connection, QStringLiteral("1")); };

    commitWithoutWaitingOnThisThread(text);
    QVERIFY(relaxed(engine, text));
    runInThreadTransaction(text, [&] {
        QSqlDatabase connection = threadConnection(text);
        QVERIFY(setBeat(connection, QStringLiteral("2")));
    });
    QVERIFY(makeThreadCommitsDurable(text, beat));
    QVERIFY(relaxed(engine, text));
    // A durable commit that writes nothing waits for nothing: not vouched for.
    QVERIFY(!makeThreadCommitsDurable(text, [](QSqlDatabase&) { return false; }));

    runInThreadTransaction(text, [&] {
        QSqlDatabase connection = threadConnection(text);
        QVERIFY(setBeat(connection, QStringLiteral("3")));
    });
    if (engine == TestEngine::Sqlite) {
        // A failed statement always opens the file afresh; the log is the same.
        closeThreadConnection(text);
    } else {
        // The session that made the commit dies before it is made durable
        // (as in a server restart, which may take its commits with it).
        const qint64 pid = valueOf(text, QStringLiteral("SELECT pg_backend_pid()")).toLongLong();
        QThread* killer = QThread::create([&] {
            valueOf(text, QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid));
            closeThreadConnections();
        });
        killer->start();
        QVERIFY(killer->wait(10000));
        delete killer;
        QVERIFY(!checkThreadConnection(text));
    }
    // The new session's durable commit cannot answer for the old one's.
    QCOMPARE(makeThreadCommitsDurable(text, beat), engine == TestEngine::Sqlite);
    QVERIFY(relaxed(engine, text));
    QVERIFY(makeThreadCommitsDurable(text, beat));
    QCOMPARE(valueOf(text, QStringLiteral("SELECT BEAT_MS FROM AMGATEWAY")).toString(),
             QStringLiteral("1"));
}

QTEST_GUILESS_MAIN(TestGroupCommit)
#include "test_groupcommit.moc"
