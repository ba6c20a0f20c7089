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
    void sharedVersionsStandOrFallTogether();
    void refusedValueKeepsTheConnection();
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

// The versions another connection sees: rows of AMGATEWAY named V1, V2...
QString versionsSeenElsewhere(const QString& connectionText) {
    QString seen;
    QThread* reader = QThread::create([&] {
        QSqlQuery query(threadConnection(connectionText));
        query.exec(QStringLiteral("SELECT GW_ID FROM AMGATEWAY WHERE GW_ID LIKE 'V%' ORDER BY GW_ID"));
        while (query.next())
            seen += query.value(0).toString();
        query = QSqlQuery();
        closeThreadConnections();
    });
    reader->start();
    reader->wait(10000);
    delete reader;
    return seen;
}

// A version that inserts its row, then fails when `failure` says so.
void storeVersion(const QString& connectionText, const QString& id,
                  const std::function<void(QSqlDatabase&)>& failure = {}) {
    runVersionTransaction(connectionText, [&] {
        QSqlDatabase connection = threadConnection(connectionText);
        QSqlQuery(connection).exec(
            QStringLiteral("INSERT INTO AMGATEWAY (GW_ID, BEAT_MS) VALUES ('%1', '0')").arg(id));
        if (failure)
            failure(connection);
    });
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

// On a SQLite file a drain's versions share one transaction: other
// connections see them at its commit, a version that fails leaves those
// before it stored, and a transaction SQLite rolled back by itself is told.
void TestGroupCommit::sharedVersionsStandOrFallTogether() {
    TestHome home;
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const QString text = db.connectionText();
    db.selectRows(QStringLiteral("INSERT INTO AMGATEWAY (GW_ID, BEAT_MS) VALUES ('G', '0')"));
    const auto beat = [](QSqlDatabase& connection) { return setBeat(connection, QStringLiteral("1")); };
    const StoreError refused(1, QStringLiteral("refused"), StoreError::Cause::Statement);
    shareVersionTransactionsOnThisThread(text);
    QVERIFY(versionTransactionsShared(text));

    storeVersion(text, QStringLiteral("V1"));
    storeVersion(text, QStringLiteral("V2"));
    QCOMPARE(versionsSeenElsewhere(text), QString());
    QVERIFY_THROWS_EXCEPTION(StoreError, storeVersion(text, QStringLiteral("V3"), [&](QSqlDatabase&) {
        throw refused;
    }));
    QCOMPARE(versionsSeenElsewhere(text), QStringLiteral("V1V2"));
    QVERIFY(commitSharedTransaction(text));

    // SQLite may roll the whole transaction back after a full disk.
    storeVersion(text, QStringLiteral("V4"));
    storeVersion(text, QStringLiteral("V5"));
    QVERIFY_THROWS_EXCEPTION(StoreError, storeVersion(text, QStringLiteral("V6"), [&](QSqlDatabase& connection) {
        QSqlQuery(connection).exec(QStringLiteral("ROLLBACK"));
        throw refused;
    }));
    storeVersion(text, QStringLiteral("V7"));
    QVERIFY(!makeThreadCommitsDurable(text, beat));
    QCOMPARE(versionsSeenElsewhere(text), QStringLiteral("V1V2V7"));

    // A connection closed with versions in its transaction loses them.
    storeVersion(text, QStringLiteral("V8"));
    closeThreadConnection(text);
    QVERIFY(!commitSharedTransaction(text));
    QVERIFY(commitSharedTransaction(text));
    storeVersion(text, QStringLiteral("V9"));
    QVERIFY(makeThreadCommitsDurable(text, beat));
    QCOMPARE(versionsSeenElsewhere(text), QStringLiteral("V1V2V7V9"));
}

// A value refused before its statement ran leaves the SQLite connection, and
// with it its page cache and open log, as it was; a failed statement opens
// the file afresh. A temporary table lives as long as its connection.
void TestGroupCommit::refusedValueKeepsTheConnection() {
    TestHome home;
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const QString text = db.connectionText();
    const auto sameConnection = [&] {
        return valueOf(text, QStringLiteral("SELECT count(*) FROM temp.sqlite_master")).toInt() == 1;
    };
    const auto refuse = [](StoreError::Cause cause) {
        return [cause](QSqlDatabase&) { throw StoreError(6, QStringLiteral("Overflow"), cause); };
    };
    const auto unshared = [&](StoreError::Cause cause) {
        runInThreadTransaction(text, [&] {
            QSqlDatabase connection = threadConnection(text);
            refuse(cause)(connection);
        });
    };
    valueOf(text, QStringLiteral("CREATE TEMP TABLE MARK (X)"));
    QVERIFY(sameConnection());
    QVERIFY_THROWS_EXCEPTION(StoreError, unshared(StoreError::Cause::Data));
    QVERIFY(sameConnection());
    QVERIFY_THROWS_EXCEPTION(StoreError, unshared(StoreError::Cause::Statement));
    QVERIFY(!sameConnection());

    shareVersionTransactionsOnThisThread(text);
    valueOf(text, QStringLiteral("CREATE TEMP TABLE MARK (X)"));
    storeVersion(text, QStringLiteral("V1"));
    QVERIFY_THROWS_EXCEPTION(StoreError, storeVersion(text, QStringLiteral("V2"),
                                                      refuse(StoreError::Cause::Data)));
    QVERIFY(sameConnection());
    QVERIFY_THROWS_EXCEPTION(StoreError, storeVersion(text, QStringLiteral("V3"),
                                                      refuse(StoreError::Cause::Statement)));
    QVERIFY(!sameConnection());
    QVERIFY(commitSharedTransaction(text));
    QCOMPARE(versionsSeenElsewhere(text), QStringLiteral("V1"));
}

QTEST_GUILESS_MAIN(TestGroupCommit)
#include "test_groupcommit.moc"
