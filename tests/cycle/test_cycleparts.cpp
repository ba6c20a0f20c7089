// The cycle's parts on their own: the limits of the error rows, the outage of
// the database, the files that wait, and the poster of owed posts. The rows
// go to a real SQLite database, the posts to a real endpoint on loopback.
#include "connectionstring.h"
#include "cyclefixture.h"
#include "deferredfiles.h"
#include "errorlog.h"
#include "errorrows.h"
#include "owedposter.h"
#include "owedposts.h"
#include "runevents.h"
#include "stopsignal.h"
#include "storeoutage.h"
#include "testendpoint.h"
#include "threadconnection.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QRegularExpression>
#include <QTest>

#include <cmath>
#include <memory>
#include <thread>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

namespace {

const QString kAddress = u"127.0.0.66"_s;
constexpr auto kFirstRetry = 50ms;

// What a run was told, from whichever thread told it.
class Told {
public:
    RunEvents::Watchers watchers() {
        return {{},
                [this](const QString& message) { append(m_rows, message); },
                [this](const QString& message) { append(m_notStored, message); },
                [this](int count) {
                    QMutexLocker lock(&m_mutex);
                    m_owed.append(count);
                },
                {}};
    }
    QStringList rows() const { return locked(m_rows); }
    QStringList notStored() const { return locked(m_notStored); }
    QList<int> owed() const { return locked(m_owed); }

private:
    void append(QStringList& list, const QString& message) {
        QMutexLocker lock(&m_mutex);
        list.append(message);
    }
    template <typename T> T locked(const T& value) const {
        QMutexLocker lock(&m_mutex);
        return value;
    }

    mutable QMutex m_mutex;
    QStringList m_rows, m_notStored;
    QList<int> m_owed;
};

// Calls on ErrorRows, one a text: "fail FILE NUMBER TAG", "final FILE NUMBER
// TAG", "recover FILE TAG", "outage FILE NUMBER", "outageEnd FILE TAG",
// "forget FILE". A failure's description is "down".
void apply(ErrorRows& rows, const QString& call) {
    const QStringList word = call.split(u' ');
    const QString& file = word[1];
    const QByteArray tag = word.last().toLatin1();
    if (word[0] == u"fail")
        rows.failed(file, {word[2].toInt(), u"down"_s}, tag.constData());
    else if (word[0] == u"final")
        rows.final(file, word[2].toInt(), u"down"_s + word[3], word[3]);
    else if (word[0] == u"recover")
        rows.recovered(file, tag.constData());
    else if (word[0] == u"outage")
        rows.outageFailed(file, {word[2].toInt(), u"down"_s});
    else if (word[0] == u"outageEnd")
        rows.outageEnded(file, tag.constData());
    else if (word[0] == u"forget")
        rows.forgetFile(file);
    else
        QFAIL(qPrintable(u"unknown call "_s + call));
}

QStringList column(const TestDatabase& db, const QString& sql) {
    QStringList values;
    for (const QVariantList& row : db.selectRows(sql))
        values.append(row[0].toString());
    return values;
}

// A booking's ledger row and its owed post, in one transaction as the record
// phase writes them.
void owePost(const GatewaySettings& settings, int number, const QString& locator) {
    const FileIdentity file{.name = u"OWED%1.MIR"_s.arg(number),
                            .size = 100,
                            .modifiedNs = 1'800'000'000'000'000'000 + number,
                            .sha256 = QString(64, QChar(u'0' + number))};
    runInThreadTransaction(ConnectionString(), [&] {
        addRecordedPass(file, {1, locator, u"001"_s, PostState::Waiting, u"TKTT"_s});
        addOwedPost({0, settings.MirDownPath, file, 1, locator, u"001"_s,
                     u"<BOOKING><RECLOC>%1</RECLOC></BOOKING>"_s.arg(locator)});
    });
}

// The next probe is `pause` after the failure that was noted between
// `before` and now.
bool probesAfter(const StoreOutage& outage, Clock::time_point before, Clock::duration pause) {
    return outage.nextProbe() >= before + pause && outage.nextProbe() <= Clock::now() + pause;
}

} // namespace

class TestCycleParts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void failureRowsAfterTheInterval();
    void errorRows_data();
    void errorRows();
    void storeOutageBacksOff();
    void deferredFilesWaitTheirTurn();
    void deferredFilesHeldBehindAnOutage();
    void posterDeliversOldestFirstAfterBackingOff();

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<TestDatabase> m_db;
    GatewaySettings m_settings;
};

void TestCycleParts::initTestCase() {
    m_home = std::make_unique<TestHome>();
    m_db = std::make_unique<TestDatabase>(TestEngine::Sqlite, m_home->folder(u"data"_s));
    if (!m_db->failure().isEmpty())
        QFAIL(qPrintable(m_db->failure()));
    m_settings = prepareCycleSettings(*m_home, *m_db, u"1"_s, u"1"_s, kAddress);
}

void TestCycleParts::init() {
    m_db->selectRows(u"DELETE FROM AMERROR"_s);
}

void TestCycleParts::cleanupTestCase() {
    closeThreadConnections();
    m_db.reset();
    m_home.reset();
}

// The hour that ErrorRows waits between two rows of one failure, made short.
void TestCycleParts::failureRowsAfterTheInterval() {
    FailureReports reports(300ms);
    const QString file = u"A.MIR"_s, step = u"[Copy]"_s;
    QVERIFY(reports.shouldWrite(file, step, 75));
    QVERIFY(!reports.shouldWrite(file, step, 75));
    QVERIFY(reports.shouldWrite(file, step, 61));
    std::this_thread::sleep_for(350ms);
    QVERIFY(reports.shouldWrite(file, step, 75));
    QVERIFY(!reports.shouldWrite(file, step, 75));
    QCOMPARE(reports.succeeded(file, step), 5);
    QCOMPARE(reports.succeeded(file, step), 0);
    QVERIFY(reports.shouldWrite(file, step, 75));
}

void TestCycleParts::errorRows_data() {
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("written");
    QTest::newRow("a repeat is held back")
        << QStringList{u"fail A 75 [Copy]"_s, u"fail A 75 [Copy]"_s, u"fail A 75 [Copy]"_s}
        << QStringList{u"A-->75:down[Copy]"_s};
    QTest::newRow("another number, file or step is written")
        << QStringList{u"fail A 75 [Copy]"_s, u"fail A 61 [Copy]"_s, u"fail B 75 [Copy]"_s,
                       u"fail A 75 [Delete]"_s, u"fail A 61 [Copy]"_s}
        << QStringList{u"A-->75:down[Copy]"_s, u"A-->61:down[Copy]"_s, u"B-->75:down[Copy]"_s,
                       u"A-->75:down[Delete]"_s};
    QTest::newRow("final is always written")
        << QStringList{u"fail A 9000 [XmlPost]"_s, u"final A 9000 [XmlPost]"_s,
                       u"final A 9000 [XmlPost]"_s, u"fail A 9000 [XmlPost]"_s}
        << QStringList{u"A-->9000:down[XmlPost]"_s, u"A-->9000:down[XmlPost]"_s,
                       u"A-->9000:down[XmlPost]"_s};
    QTest::newRow("recovered after the failures of its step")
        << QStringList{u"recover A [Copy]"_s, u"fail A 75 [Copy]"_s,   u"fail A 75 [Copy]"_s,
                       u"fail A 61 [Copy]"_s, u"fail A 75 [Delete]"_s, u"recover A [Copy]"_s,
                       u"recover A [Copy]"_s, u"fail A 75 [Copy]"_s}
        << QStringList{u"A-->75:down[Copy]"_s, u"A-->61:down[Copy]"_s, u"A-->75:down[Delete]"_s,
                       u"A-->0:Recovered after 3 failed attempt(s)[Copy]"_s,
                       u"A-->75:down[Copy]"_s};
    QTest::newRow("a forgotten file starts again")
        << QStringList{u"fail A 75 [Copy]"_s, u"forget A"_s, u"fail A 75 [Copy]"_s, u"forget A"_s,
                       u"recover A [Copy]"_s}
        << QStringList{u"A-->75:down[Copy]"_s, u"A-->75:down[Copy]"_s};
    QTest::newRow("the outage is one step for every file")
        << QStringList{u"outage A 3146"_s,
                       u"outage B 3146"_s,
                       u"outage C 3146"_s,
                       u"outage B 3604"_s,
                       u"fail A 3146 [RecordPhase]"_s,
                       u"outageEnd D [RecordPhase]"_s,
                       u"outageEnd D [RecordPhase]"_s,
                       u"recover A [RecordPhase]"_s}
        << QStringList{u"A-->3146:down"_s, u"B-->3604:down"_s, u"A-->3146:down[RecordPhase]"_s,
                       u"D-->0:Recovered after 4 failed attempt(s)[RecordPhase]"_s,
                       u"A-->0:Recovered after 1 failed attempt(s)[RecordPhase]"_s};
}

// The rows are written to the database and told, each once.
void TestCycleParts::errorRows() {
    QFETCH(QStringList, calls);
    QFETCH(QStringList, written);
    Told told;
    RunEvents events(told.watchers());
    {
        ErrorRows rows(events);
        for (const QString& call : std::as_const(calls))
            apply(rows, call);
    }
    QCOMPARE(told.rows(), written);
    QCOMPARE(column(*m_db, u"SELECT MESSAGE FROM AMERROR ORDER BY rowid"_s), written);
    QCOMPARE(told.notStored(), QStringList());
    QCOMPARE(events.summary().errorRows, written.size());
}

void TestCycleParts::storeOutageBacksOff() {
    StoreOutage outage(1min);
    QVERIFY(outage.mayTry());
    QVERIFY(!outage.ended());
    for (const Clock::duration pause : {1min, 2min, 4min, 5min, 5min}) {
        const Clock::time_point before = Clock::now();
        outage.failed(WaitReason::Database);
        QVERIFY(probesAfter(outage, before, pause));
        QVERIFY(!outage.mayTry());
    }
    outage.failed(WaitReason::Ledger);
    QCOMPARE(outage.reason(), WaitReason::Ledger);
    QVERIFY(outage.ended());
    QVERIFY(!outage.isDown());
    QVERIFY(outage.mayTry());
    QVERIFY(!outage.ended());
    // The next outage starts again from the first retry delay.
    Clock::time_point before = Clock::now();
    outage.failed(WaitReason::Database);
    QVERIFY(probesAfter(outage, before, 1min));

    // A probe is let through once it is due, and the outage lasts until it ends.
    StoreOutage brief(kFirstRetry);
    brief.failed(WaitReason::Database);
    std::this_thread::sleep_until(brief.nextProbe());
    QVERIFY(brief.mayTry());
    QVERIFY(brief.isDown());
    before = Clock::now();
    brief.failed(WaitReason::Database);
    QVERIFY(probesAfter(brief, before, 2 * kFirstRetry));
}

void TestCycleParts::deferredFilesWaitTheirTurn() {
    DeferredFiles files(1min);
    files.defer("A.MIR", u"fa"_s, false, WaitReason::Database);
    files.defer("B.MIR", u"fb"_s, true, WaitReason::Endpoint);
    files.defer("C.MIR", u"fc"_s, false, WaitReason::Endpoint);
    QVERIFY(files.isWaiting("A.MIR") && files.isWaiting("B.MIR") && files.isWaiting("C.MIR"));
    QVERIFY(!files.isWaiting("D.MIR"));
    files.release(WaitReason::Endpoint);
    QVERIFY(files.isWaiting("A.MIR"));
    QVERIFY(!files.isWaiting("B.MIR") && !files.isWaiting("C.MIR"));

    QVERIFY(files.wasRecorded("B.MIR", u"fb"_s));
    QVERIFY(!files.wasRecorded("B.MIR", u"other"_s));
    QVERIFY(!files.wasRecorded("A.MIR", u"fa"_s));
    // Deferred again as the same file it stays recorded; another file under
    // its name is new.
    files.defer("B.MIR", u"fb"_s, false, WaitReason::Database);
    QVERIFY(files.wasRecorded("B.MIR", u"fb"_s));
    files.defer("B.MIR", u"fb2"_s, false, WaitReason::Database);
    QVERIFY(!files.wasRecorded("B.MIR", u"fb"_s));
    QVERIFY(!files.wasRecorded("B.MIR", u"fb2"_s));
}

// Every file behind an outage waits for its one probe time, whatever its own
// back-off was, and a later deferral backs off from the first retry delay.
void TestCycleParts::deferredFilesHeldBehindAnOutage() {
    DeferredFiles files(100ms);
    for (int i = 0; i < 4; ++i) // its own pause is 800 ms now
        files.defer("A.MIR", u"fa"_s, true, WaitReason::Endpoint);
    files.holdUntil("A.MIR", u"fa"_s, WaitReason::Database, Clock::now() - 1ms);
    files.holdUntil("B.MIR", u"fb"_s, WaitReason::Database, Clock::now() + 1min);
    QVERIFY(!files.isWaiting("A.MIR"));
    QVERIFY(files.isWaiting("B.MIR"));
    QVERIFY(files.wasRecorded("A.MIR", u"fa"_s));

    files.defer("A.MIR", u"fa"_s, true, WaitReason::Database);
    std::this_thread::sleep_for(250ms);
    QVERIFY(!files.isWaiting("A.MIR"));
}

// Three posts owed to an endpoint that answers 503: the poster probes with the
// oldest only, backing off; once it answers, each arrives in the order stored.
void TestCycleParts::posterDeliversOldestFirstAfterBackingOff() {
    TestEndpoint endpoint(kAddress);
    QVERIFY(endpoint.isListening());
    endpoint.setStatus("503 Service Unavailable");
    endpoint.setAnswer("busy");
    const QStringList stored = {u"OWDC03"_s, u"OWDA01"_s, u"OWDB02"_s}; // not in name order
    for (int i = 0; i < stored.size(); ++i)
        owePost(m_settings, i + 1, stored[i]);

    Told told;
    RunEvents events(told.watchers());
    StopSignal stop;
    OwedPoster poster({m_settings, 2000, kFirstRetry}, stop, events);
    QElapsedTimer since;
    since.start();
    poster.start();
    QTRY_VERIFY(endpoint.requests().size() >= 4);
    // The n-th probe comes no sooner than first retry * (2^(n-1) - 1).
    const QList<TestEndpoint::Request> probes = endpoint.requests();
    const qint64 elapsedMs = since.elapsed();
    QVERIFY2(probes.size() <= 1 + std::log2(double(elapsedMs) / kFirstRetry.count() + 1),
             qPrintable(u"%1 probes in %2 ms"_s.arg(probes.size()).arg(elapsedMs)));
    QCOMPARE(postedLocators(probes), QStringList(probes.size(), stored.first()));

    // The answer first: a 200 with the old text would be a refusal.
    endpoint.setAnswer("RECLOC OK");
    endpoint.setStatus("200 OK");
    QTRY_COMPARE(told.owed(), QList<int>({3, 2, 1, 0}));
    poster.finish(false);
    QCOMPARE(poster.owed(), 0);

    const QStringList posted = postedLocators(endpoint.requests());
    const qsizetype firstTries = posted.count(stored.first());
    QCOMPARE(posted.first(firstTries), QStringList(firstTries, stored.first()));
    QCOMPARE(posted.sliced(firstTries), stored.sliced(1));
    QCOMPARE(countRows(*m_db, u"SELECT COUNT(*) FROM AMPOST"_s), 0);
    QCOMPARE(column(*m_db, u"SELECT DISTINCT POST_ST FROM AMFILE"_s), QStringList(u"A"_s));
    const QStringList rows = column(*m_db, u"SELECT MESSAGE FROM AMERROR ORDER BY rowid"_s);
    QCOMPARE(told.rows(), rows);
    QCOMPARE(rows.size(), 2);
    QVERIFY2(rows[0].startsWith(u"OWED1.MIR-->9996:Post of OWDC03/001: HTTP status 503"_s),
             qPrintable(rows[0]));
    QCOMPARE(rows[1],
             errorLogMessage(u"OWED1.MIR"_s, 0,
                             recoveredText(int(firstTries - 1), QLatin1String("[XmlPost]"))));
}

QTEST_GUILESS_MAIN(TestCycleParts)
#include "test_cycleparts.moc"
