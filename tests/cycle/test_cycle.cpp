// The processing cycle end to end: real files, a real SQLite file or the real
// PostgreSQL server, and a real HTTP endpoint on loopback.
#include "cyclefixture.h"
#include "initdb.h"
#include "testendpoint.h"
#include "threadconnection.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QThread>

#include <cstdio>

namespace {

const QString kTicketed = QStringLiteral("K4T0001.MIR");

// A cycle on a worker thread of its own, as the window runs it.
class CycleThread {
public:
    explicit CycleThread(const ProcessingCycle::Options& options) : m_cycle(options) {
        m_cycle.moveToThread(&m_thread);
        recordTranscript(m_cycle, transcript);
        QObject::connect(&m_thread, &QThread::started, &m_cycle, &ProcessingCycle::run);
        QObject::connect(&m_cycle, &ProcessingCycle::finished, &m_thread, &QThread::quit,
                         Qt::DirectConnection);
        m_thread.start();
    }
    ~CycleThread() {
        m_cycle.requestAbort();
        m_thread.wait();
    }
    void stop() { m_cycle.requestStop(); }
    bool isFinished() const { return m_thread.isFinished(); }

    CycleTranscript transcript; // written on the worker; read after it ends

private:
    QThread m_thread;
    ProcessingCycle m_cycle;
};

QByteArray paddedT5(qsizetype size) {
    QByteArray bytes = "T51GA7000101338";
    bytes.append(size - bytes.size(), 'X');
    return bytes;
}

} // namespace

class TestCycle : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void ticketedBookingStored_data() {
        addEngineColumn();
        addEngineRows();
    }
    void ticketedBookingStored();
    void twoRecordPasses_data() {
        addEngineColumn();
        addEngineRows();
    }
    void twoRecordPasses();
    void fileKinds_data();
    void fileKinds();
    void logClearedAtThirteenthFile();
    void xmlSwitches_data();
    void xmlSwitches();
    void answers_data();
    void answers();
    void refusedBookingIsFiledWithoutRows_data() { addEngineRows(); }
    void refusedBookingIsFiledWithoutRows();
    void lostConnectionRollsBackAndStoresAgain();
    void serialTakenFirstIsTakenAgain();
    void postOnlyDeliveryWaitsForTheEndpoint();
    void worksWithoutTheLedgerAndSaysSo();
    void missingBackupFolderKeepsFileAndNeverRecordsTwice();
    void recordedFileIsNotStoredAgainAfterARestart();
    void fileReplacedAfterReadingIsReadAgain();
    void emptyFileWaitsForItsWriter();
    void databaseAwayKeepsFileUntilItReturns();
    void objectModelMissingKeepsFile();
    void stopEndsWaitAtOnce();
    void newFileEndsWait();
};

// A writer renames a second booking over the name while the first is being
// recorded: the second is neither copied nor deleted unread, but read and
// stored in its turn.
void TestCycle::fileReplacedAfterReadingIsReadAgain() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    const QByteArray first = sampleMir(QStringLiteral("ticketed-crlf.mir"));
    QByteArray second = first;
    second.replace("TPEK4T", "TPEK4V");
    writeFileBytes(settings.MirDownPath + kTicketed, first);

    CycleTranscript transcript;
    ProcessingCycle cycle(fastOptions(settings, true));
    recordTranscript(cycle, transcript);
    bool replaced = false;
    connect(&cycle, &ProcessingCycle::fileShown, &cycle, [&] {
        if (replaced)
            return;
        replaced = true;
        writeFileBytes(settings.MirDownPath + QStringLiteral("NEXT.TMP"), second);
        QVERIFY(::rename(QFile::encodeName(settings.MirDownPath + "NEXT.TMP").constData(),
                         QFile::encodeName(settings.MirDownPath + kTicketed).constData()) == 0);
    });
    cycle.run();

    QCOMPARE(filesIn(settings.MirDownPath), QStringList());
    QCOMPARE(readFileBytes(dateFolderOf(settings) + kTicketed), second);
    const auto rows = db.selectRows(QStringLiteral("SELECT RECLOC FROM AMAMD ORDER BY RECLOC"));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0][0].toString(), QStringLiteral("TPEK4T"));
    QCOMPARE(rows[1][0].toString(), QStringLiteral("TPEK4V"));
    QVERIFY(transcript.lines.join(QString()).contains(QStringLiteral("changed after it was read")));
}

// A writer that makes its file and writes into it only later, through the
// descriptor it holds: the empty file is read again as an incomplete one
// would be, rather than filed away and deleted under the writer.
void TestCycle::emptyFileWaitsForItsWriter() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    const QByteArray bytes = sampleMir(QStringLiteral("ticketed-crlf.mir"));
    QFile writer(settings.MirDownPath + kTicketed);
    QVERIFY(writer.open(QIODevice::WriteOnly));

    CycleTranscript transcript;
    ProcessingCycle cycle(fastOptions(settings, true));
    recordTranscript(cycle, transcript);
    connect(&cycle, &ProcessingCycle::fileShown, &cycle, [&] {
        if (transcript.shown.size() == 3) {
            writer.write(bytes);
            writer.close();
        }
    });
    cycle.run();

    QCOMPARE(filesIn(settings.MirDownPath), QStringList());
    QCOMPARE(readFileBytes(dateFolderOf(settings) + kTicketed), bytes);
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD")), 1);
    QCOMPARE(transcript.shown.size(), 4);
}

void TestCycle::ticketedBookingStored() {
    QFETCH(TestEngine, engine);
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    const QByteArray bytes = sampleMir(QStringLiteral("ticketed-crlf.mir"));
    writeFileBytes(settings.MirDownPath + kTicketed, bytes);

    const CycleTranscript transcript = drainOnce(settings);

    QVERIFY2(transcript.errors.isEmpty(), qPrintable(transcript.errors.join(u'|')));
    QCOMPARE(filesIn(settings.MirDownPath), QStringList());
    QCOMPARE(readFileBytes(dateFolderOf(settings) + kTicketed), bytes);
    QCOMPARE(transcript.lines.size(), 1);
    QVERIFY(transcript.lines.first().startsWith(kTicketed + QLatin1Char(':')));
    QVERIFY(transcript.lines.first().endsWith(QStringLiteral("\r\n")));
    QCOMPARE(transcript.shown.size(), 1);
    QString shown = QString::fromLatin1(bytes);
    QCOMPARE(transcript.shown.first(), shown.replace(QLatin1Char('\r'), QStringLiteral("\r\n")));
    const auto rows = db.selectRows(
        QStringLiteral("SELECT RECLOC, SER_NO, PROC_TP, FILE_NM FROM AMAMD ORDER BY SER_NO"));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][0].toString(), QStringLiteral("TPEK4T"));
    QCOMPARE(rows[0][1].toString(), QStringLiteral("001"));
    QCOMPARE(rows[0][2].toString(), QStringLiteral("N"));
    QCOMPARE(rows[0][3].toString(), kTicketed);
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMERROR")), 0);
}

void TestCycle::twoRecordPasses() {
    QFETCH(TestEngine, engine);
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    writeFileBytes(settings.MirDownPath + kTicketed, handTicketedMir());

    const CycleTranscript transcript = drainOnce(settings);

    QVERIFY2(transcript.errors.isEmpty(), qPrintable(transcript.errors.join(u'|')));
    const auto rows = db.selectRows(QStringLiteral("SELECT SER_NO FROM AMAMD ORDER BY SER_NO"));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0][0].toString(), QStringLiteral("001"));
    QCOMPARE(rows[1][0].toString(), QStringLiteral("002"));
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD WHERE PROC_TP = 'N'")), 2);
}

void TestCycle::fileKinds_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("staysInDownload");
    QTest::addColumn<int>("lines"); // List1 lines: one per reading
    QTest::addColumn<int>("bookings");
    // A "T5" file filed uninterpreted is still read for its documents: one
    // that is no conforming MIR gives one [Documents] row.
    QTest::addColumn<int>("documentRows");
    QTest::newRow("not a MIR file") << "NOTMIR.MIR" << sampleMir(QStringLiteral("not-mir.mir"))
                                    << false << false << 1 << 0 << 0;
    QTest::newRow("65536 bytes: filed uninterpreted")
        << "BIG.MIR" << paddedT5(65536) << false << false << 1 << 0 << 1;
    QTest::newRow("65535 bytes: interpreted, incomplete, read six times")
        << "EDGE.MIR" << paddedT5(65535) << false << false << 6 << 0 << 1;
    QTest::newRow("incomplete sample") << "INC.MIR" << sampleMir(QStringLiteral("incomplete.mir"))
                                       << false << false << 6 << 0 << 0;
    QTest::newRow("read-only ticketed file")
        << "RO.MIR" << sampleMir(QStringLiteral("ticketed-lf.mir")) << true << false << 1 << 1 << 0;
    QTest::newRow("skipped: mirfile.txt") << "mirfile.txt"
                                          << sampleMir(QStringLiteral("ticketed-lf.mir")) << false
                                          << true << 0 << 0 << 0;
    QTest::newRow("skipped: ATTEMPT.MIR") << "ATTEMPT.MIR"
                                          << sampleMir(QStringLiteral("ticketed-lf.mir")) << false
                                          << true << 0 << 0 << 0;
    QTest::newRow("skipped: Temp1.mir") << "Temp1.mir"
                                        << sampleMir(QStringLiteral("ticketed-lf.mir")) << false
                                        << true << 0 << 0 << 0;
}

void TestCycle::fileKinds() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, readOnly);
    QFETCH(bool, staysInDownload);
    QFETCH(int, lines);
    QFETCH(int, bookings);
    QFETCH(int, documentRows);
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    const QString path = settings.MirDownPath + name;
    writeFileBytes(path, bytes);
    if (readOnly)
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));

    const CycleTranscript transcript = drainOnce(settings);

    QCOMPARE(transcript.errors.size(), documentRows);
    for (const QString& error : transcript.errors)
        QVERIFY2(error.endsWith(QLatin1String("[Documents]")), qPrintable(error));
    QCOMPARE(transcript.lines.size(), lines);
    QCOMPARE(QFile::exists(path), staysInDownload);
    QCOMPARE(QFile::exists(dateFolderOf(settings) + name), !staysInDownload);
    if (!staysInDownload)
        QCOMPARE(readFileBytes(dateFolderOf(settings) + name), bytes);
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD")), bookings);
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMERROR")), documentRows);
}

void TestCycle::logClearedAtThirteenthFile() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    for (int i = 0; i < 27; ++i)
        writeFileBytes(settings.MirDownPath +
                           QStringLiteral("F%1.MIR").arg(i, 2, 10, QLatin1Char('0')),
                       "not a MIR file");

    const CycleTranscript transcript = drainOnce(settings);

    QCOMPARE(transcript.lines.size(), 27 + 2);
    QCOMPARE(transcript.lines.indexOf(QStringLiteral("CLEAR")), 12);
    QCOMPARE(transcript.lines.lastIndexOf(QStringLiteral("CLEAR")), 12 + 1 + 13);
}

void TestCycle::xmlSwitches_data() {
    QTest::addColumn<QString>("xmlFg");
    QTest::addColumn<QString>("tMode");
    QTest::addColumn<int>("storedRows");
    QTest::addColumn<int>("markedRows");
    QTest::addColumn<int>("posts");
    QTest::newRow("XML_FG 1, T_MODE 1: stored, posted, marked") << "1"
                                                                << "1" << 1 << 1 << 1;
    QTest::newRow("XML_FG 1, T_MODE 0: posted only") << "1"
                                                     << "0" << 0 << 0 << 1;
    QTest::newRow("XML_FG 0: stored and marked") << "0"
                                                 << "0" << 1 << 1 << 0;
}

void TestCycle::xmlSwitches() {
    QFETCH(QString, xmlFg);
    QFETCH(QString, tMode);
    QFETCH(int, storedRows);
    QFETCH(int, markedRows);
    QFETCH(int, posts);
    TestEndpoint endpoint(QStringLiteral("127.0.0.31"));
    QVERIFY(endpoint.isListening());
    endpoint.setAnswer("RECLOC TPEK4T");
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings =
        prepareCycleSettings(home, db, xmlFg, tMode, QStringLiteral("127.0.0.31"));
    writeFileBytes(settings.MirDownPath + kTicketed, sampleMir(QStringLiteral("ticketed-lf.mir")));

    const CycleTranscript transcript = drainOnce(settings);

    QVERIFY2(transcript.errors.isEmpty(), qPrintable(transcript.errors.join(u'|')));
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD")), storedRows);
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD WHERE PROC_TP = 'N'")),
             markedRows);
    const auto requests = endpoint.requests();
    QCOMPARE(requests.size(), posts);
    if (posts) {
        QVERIFY(requests[0].body.startsWith(
            "<PNR><DNS>127.0.0.31</DNS><RECLOC>TPEK4T</RECLOC><AMAMD>"));
        QVERIFY(requests[0].body.endsWith("</PNR>"));
        QCOMPARE(transcript.lines.size(), 2);
        QVERIFY(transcript.lines[1].startsWith(QStringLiteral("Xml OK:") + kTicketed +
                                               QLatin1Char(':')));
    }
    QCOMPARE(filesIn(settings.MirDownPath), QStringList());
}

void TestCycle::answers_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("linePrefix");
    QTest::addColumn<QString>("errorMessage"); // the AMERROR message after the file name
    QTest::addColumn<QByteArray>("status");
    QTest::newRow("error answer") << QByteArray("<ERROR>:seat taken") << false << "Xml Error:"
                                  << "-->9000:seat taken" << QByteArray("200 OK");
    QTest::newRow("unknown answer")
        << QByteArray("Service Unavailable") << false << "Xml Unknown Error:"
        << "-->9999:Service Unavailable" << QByteArray("200 OK");
    QTest::newRow("endpoint hangs") << QByteArray() << true << "Xml Post Failed:"
                                    << "-->9998:" << QByteArray("200 OK");
    // The body says success, the status says otherwise: the status wins.
    QTest::newRow("HTTP 500 with a RECLOC body")
        << QByteArray("RECLOC TPEK4T") << false << "Xml Post Failed:"
        << "-->9996:Post of TPEK4T/001: HTTP status 500: RECLOC TPEK4T[XmlPost]"
        << QByteArray("500 Internal Server Error");
}

void TestCycle::answers() {
    QFETCH(QByteArray, answer);
    QFETCH(bool, silent);
    QFETCH(QString, linePrefix);
    QFETCH(QString, errorMessage);
    QFETCH(QByteArray, status);
    TestEndpoint endpoint(QStringLiteral("127.0.0.32"));
    QVERIFY(endpoint.isListening());
    endpoint.setStatus(status);
    if (silent)
        endpoint.setSilent();
    else
        endpoint.setAnswer(answer);
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(
        home, db, QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("127.0.0.32"));
    writeFileBytes(settings.MirDownPath + kTicketed, sampleMir(QStringLiteral("ticketed-lf.mir")));

    const CycleTranscript transcript = drainOnce(settings);

    QCOMPARE(transcript.lines.size(), 2);
    QVERIFY(transcript.lines[1].startsWith(linePrefix + kTicketed + QLatin1Char(':')));
    const auto errors = db.selectRows(QStringLiteral("SELECT MESSAGE FROM AMERROR"));
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors[0][0].toString().startsWith(kTicketed + errorMessage),
             qPrintable(errors[0][0].toString()));
    // The failed post ends only the post: the booking is stored, marked and filed.
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD WHERE PROC_TP = 'N'")), 1);
    QCOMPARE(filesIn(dateFolderOf(settings)), QStringList(kTicketed));
}

void TestCycle::missingBackupFolderKeepsFileAndNeverRecordsTwice() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    QVERIFY(QDir(dateFolderOf(settings)).removeRecursively());
    writeFileBytes(settings.MirDownPath + kTicketed, sampleMir(QStringLiteral("ticketed-lf.mir")));
    writeFileBytes(settings.MirDownPath + QStringLiteral("NOTMIR.MIR"), "plain text");

    CycleThread cycle(fastOptions(settings, false));
    // Both files are tried; neither is deleted without its backup copy.
    QTRY_COMPARE(
        countRows(
            db,
            QStringLiteral(
                "SELECT COUNT(*) FROM AMERROR WHERE MESSAGE LIKE '%76:Path not found[FileCopy]'")),
        2);
    QCOMPARE(filesIn(settings.MirDownPath), QStringList({kTicketed, QStringLiteral("NOTMIR.MIR")}));
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD")), 1);
    // Retried several times (every 300 ms and more), logged once per file.
    QTest::qWait(1500);
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMERROR")), 2);

    // Once the folder is back, the retry files both away and stores nothing twice.
    QVERIFY(QDir().mkpath(dateFolderOf(settings)));
    QTRY_COMPARE(filesIn(dateFolderOf(settings)),
                 QStringList({kTicketed, QStringLiteral("NOTMIR.MIR")}));
    // The delete follows the copy on the cycle's thread.
    QTRY_COMPARE(filesIn(settings.MirDownPath), QStringList());
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD")), 1);
    // One row each says the copy works again.
    QTRY_COMPARE(
        countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMERROR WHERE MESSAGE LIKE "
                                     "'%-->0:Recovered after % failed attempt(s)[FileCopy]'")),
        2);
}

// A database that refuses every booking (its AMPAX table is gone): the
// version is rolled back whole, one error row is written, and the file is
// filed away instead of looping. A booking the database takes is stored
// with KIND as text, never NULL.
void TestCycle::refusedBookingIsFiledWithoutRows() {
    QFETCH(TestEngine, engine);
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    // A booking whose first passenger has no GDS ticket: an empty kind.
    QByteArray unticketed = sampleMir(QStringLiteral("ticketed-lf.mir"));
    unticketed.replace("2971234567", "          ");
    writeFileBytes(settings.MirDownPath + QStringLiteral("NOTKT.MIR"), unticketed);
    drainOnce(settings);
    QCOMPARE(db.selectRows(QStringLiteral("SELECT PROC_TP, KIND FROM AMAMD")),
             QList<QVariantList>({{QStringLiteral("N"), QStringLiteral("")}}));

    db.selectRows(QStringLiteral("DROP TABLE AMPAX"));
    writeFileBytes(settings.MirDownPath + kTicketed, sampleMir(QStringLiteral("ticketed-lf.mir")));
    const CycleTranscript transcript = drainOnce(settings);
    QCOMPARE(transcript.errors.size(), 1);
    QVERIFY2(transcript.errors[0].endsWith(QStringLiteral("[RecordPhase]")),
             qPrintable(transcript.errors[0]));
    QCOMPARE(filesIn(dateFolderOf(settings)),
             QStringList({kTicketed, QStringLiteral("NOTKT.MIR")}));
    // Only the earlier booking's rows are there.
    for (const char* table : {"AMAMD", "AMHEAD", "AMFILE"})
        QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))),
                 1);
    QCOMPARE(db.selectRows(QStringLiteral("SELECT DISTINCT SER_NO FROM AMTKT")),
             QList<QVariantList>({{QStringLiteral("001")}}));
}

// The server ends the session in the middle of a version (a restart, a
// network cut): nothing of the version stays, the file waits, and it is
// stored whole once the server takes it again.
void TestCycle::lostConnectionRollsBackAndStoresAgain() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::PostgreSql, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    db.selectRows(QStringLiteral(
        "CREATE FUNCTION kesto_go_away() RETURNS trigger AS 'BEGIN "
        "PERFORM pg_terminate_backend(pg_backend_pid()); RETURN NEW; END' LANGUAGE plpgsql"));
    db.selectRows(QStringLiteral("CREATE TRIGGER kesto_go_away BEFORE INSERT ON AMPAX FOR EACH "
                                 "ROW EXECUTE FUNCTION kesto_go_away()"));
    writeFileBytes(settings.MirDownPath + kTicketed, sampleMir(QStringLiteral("ticketed-lf.mir")));

    CycleThread cycle(fastOptions(settings, false));
    QTRY_VERIFY(!cycle.transcript.errors.isEmpty());
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD")), 0);
    QCOMPARE(filesIn(settings.MirDownPath), QStringList(kTicketed));

    db.selectRows(QStringLiteral("DROP TRIGGER kesto_go_away ON AMPAX"));
    QTRY_COMPARE(filesIn(dateFolderOf(settings)), QStringList(kTicketed));
    QCOMPARE(db.selectRows(QStringLiteral("SELECT SER_NO FROM AMAMD")),
             QList<QVariantList>({{QStringLiteral("001")}}));
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMHEAD")), 1);
    QVERIFY(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMPAX")) > 0);
}

// Another gateway takes the serial first (the server says the key is taken):
// the version takes a serial again, up to 10 times; after that the file
// waits with one clear error row, and a later try stores it.
void TestCycle::serialTakenFirstIsTakenAgain() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::PostgreSql, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    // A sequence counts the inserts across rollbacks; the first ten are refused.
    db.selectRows(QStringLiteral("CREATE SEQUENCE kesto_tries"));
    db.selectRows(QStringLiteral(
        "CREATE FUNCTION kesto_taken() RETURNS trigger AS 'BEGIN IF nextval(''kesto_tries'') <= 10 "
        "THEN RAISE unique_violation USING MESSAGE = ''duplicate key value violates unique "
        "constraint \"amamdk\"''; END IF; RETURN NEW; END' LANGUAGE plpgsql"));
    db.selectRows(QStringLiteral("CREATE TRIGGER kesto_taken BEFORE INSERT ON AMAMD FOR EACH ROW "
                                 "EXECUTE FUNCTION kesto_taken()"));
    writeFileBytes(settings.MirDownPath + kTicketed, sampleMir(QStringLiteral("ticketed-lf.mir")));

    CycleTranscript transcript = drainOnce(settings);
    QCOMPARE(transcript.errors.size(), 1);
    QVERIFY2(transcript.errors[0].contains(QStringLiteral("No free serial number for TPEK4T after "
                                                          "10 tries")),
             qPrintable(transcript.errors[0]));
    QCOMPARE(filesIn(settings.MirDownPath), QStringList(kTicketed));
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD")), 0);

    transcript = drainOnce(settings);
    QCOMPARE(filesIn(dateFolderOf(settings)), QStringList(kTicketed));
    QCOMPARE(db.selectRows(QStringLiteral("SELECT SER_NO FROM AMAMD")),
             QList<QVariantList>({{QStringLiteral("001")}}));
}

// With database writes off the post is the only delivery: while the endpoint
// answers 503 the file waits and is posted again, with one error row; once
// it is taken, the file is filed away, the ledger notes the post, and one
// row says the post works again.
void TestCycle::postOnlyDeliveryWaitsForTheEndpoint() {
    TestEndpoint endpoint(QStringLiteral("127.0.0.33"));
    QVERIFY(endpoint.isListening());
    endpoint.setAnswer("RECLOC TPEK4T");
    endpoint.setStatus("503 Service Unavailable");
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(
        home, db, QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("127.0.0.33"));
    writeFileBytes(settings.MirDownPath + kTicketed, sampleMir(QStringLiteral("ticketed-lf.mir")));

    CycleThread cycle(fastOptions(settings, false));
    QTRY_VERIFY(endpoint.requests().size() >= 3);
    QCOMPARE(filesIn(settings.MirDownPath), QStringList(kTicketed));
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMERROR WHERE MESSAGE LIKE "
                                          "'%-->9996:Post of TPEK4T/001: HTTP status 503%'")),
             1);

    endpoint.setStatus("200 OK");
    QTRY_COMPARE(filesIn(dateFolderOf(settings)), QStringList(kTicketed));
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD")), 0);
    QCOMPARE(
        db.selectRows(QStringLiteral("SELECT PASS_NO, SER_NO, POST_ST FROM AMFILE")),
        QList<QVariantList>({{QStringLiteral("1"), QStringLiteral("001"), QStringLiteral("A")}}));
    QTRY_COMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMERROR WHERE MESSAGE LIKE "
                                              "'%Recovered after % failed attempt(s)[XmlPost]'")),
                 1);
}

// A database made before the ledger: the gateway says so once and stores as before.
void TestCycle::worksWithoutTheLedgerAndSaysSo() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    db.selectRows(QStringLiteral("DROP TABLE AMFILE"));
    writeFileBytes(settings.MirDownPath + kTicketed, sampleMir(QStringLiteral("ticketed-lf.mir")));

    const CycleTranscript transcript = drainOnce(settings);
    QVERIFY2(transcript.errors.isEmpty(), qPrintable(transcript.errors.join(u'|')));
    QCOMPARE(transcript.lines.filter(QStringLiteral("kesto init-db --upgrade")).size(), 1);
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD")), 1);
    QCOMPARE(filesIn(dateFolderOf(settings)), QStringList(kTicketed));
}

void TestCycle::recordedFileIsNotStoredAgainAfterARestart() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    QVERIFY(QDir(dateFolderOf(settings)).removeRecursively());
    writeFileBytes(settings.MirDownPath + kTicketed, sampleMir(QStringLiteral("ticketed-lf.mir")));
    const ProcessingCycle::Options options = fastOptions(settings, true);

    {
        ProcessingCycle first(options); // stored, but the copy fails
        first.run();
    }
    QCOMPARE(filesIn(settings.MirDownPath), QStringList(kTicketed));
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD")), 1);

    // The gateway is restarted once the backup folder is back.
    QVERIFY(QDir().mkpath(dateFolderOf(settings)));
    ProcessingCycle second(options);
    second.run();
    QCOMPARE(filesIn(dateFolderOf(settings)), QStringList(kTicketed));
    QCOMPARE(filesIn(settings.MirDownPath), QStringList());
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD")), 1);
    // The ledger names the version stored from the file.
    QCOMPARE(db.selectRows(QStringLiteral("SELECT FILE_NM, RECLOC, SER_NO, PASS_NO FROM AMFILE")),
             QList<QVariantList>({{kTicketed, QStringLiteral("TPEK4T"), QStringLiteral("001"),
                                   QStringLiteral("1")}}));
}

void TestCycle::databaseAwayKeepsFileUntilItReturns() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    const QString mdb = settings.MirDataSource + QStringLiteral("PALVA.mdb");
    closeThreadConnections();
    QVERIFY(QFile::rename(mdb, mdb + QStringLiteral(".away")));
    writeFileBytes(settings.MirDownPath + kTicketed, sampleMir(QStringLiteral("ticketed-lf.mir")));

    CycleThread cycle(fastOptions(settings, false));
    QTRY_VERIFY(!cycle.transcript.lines.isEmpty());
    QTest::qWait(500);
    QCOMPARE(filesIn(settings.MirDownPath), QStringList(kTicketed));
    QCOMPARE(filesIn(dateFolderOf(settings)), QStringList());

    QVERIFY(QFile::rename(mdb + QStringLiteral(".away"), mdb));
    QTRY_COMPARE(filesIn(dateFolderOf(settings)), QStringList(kTicketed));
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD")), 1);
}

void TestCycle::objectModelMissingKeepsFile() {
    TestHome home; // KORVA not registered
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    writeFileBytes(settings.MirDownPath + kTicketed, sampleMir(QStringLiteral("ticketed-lf.mir")));

    CycleTranscript transcript = drainOnce(settings);
    QCOMPARE(transcript.errors.size(), 1);
    QVERIFY(transcript.errors.first().contains(QStringLiteral("kesto-regsvr")));
    QVERIFY(transcript.errors.first().endsWith(QStringLiteral("[RecordPhase]")));
    QCOMPARE(filesIn(settings.MirDownPath), QStringList(kTicketed));
    QCOMPARE(filesIn(dateFolderOf(settings)), QStringList());

    // Once the library is registered, the same file is stored and filed away.
    const QString registry = QStringLiteral("/KESTO/classregistry.conf");
    QDir().mkpath(home.configHome() + QStringLiteral("/KESTO"));
    QVERIFY(QFile::copy(QStringLiteral(KESTO_BUILD_CONFIG_HOME) + registry,
                        home.configHome() + registry));
    transcript = drainOnce(settings);
    QVERIFY2(transcript.errors.isEmpty(), qPrintable(transcript.errors.join(u'|')));
    QCOMPARE(filesIn(dateFolderOf(settings)), QStringList(kTicketed));
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD")), 1);
}

void TestCycle::stopEndsWaitAtOnce() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    ProcessingCycle::Options options = fastOptions(settings, false);
    options.rescanMs = 600000;
    CycleThread cycle(options);
    QTest::qWait(200);
    QVERIFY(!cycle.isFinished());
    cycle.stop();
    QTRY_VERIFY_WITH_TIMEOUT(cycle.isFinished(), 3000);
}

void TestCycle::newFileEndsWait() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    ProcessingCycle::Options options = fastOptions(settings, false);
    options.rescanMs = 600000; // only the notification can end the wait
    CycleThread cycle(options);
    QTest::qWait(200);
    QDir().mkpath(settings.MirDownPath + QStringLiteral("sub"));
    // Written elsewhere and moved in whole: with the pauses at zero the cycle
    // would otherwise read the file while it is still being written.
    const QString staged = home.folder(QStringLiteral("staging")) + kTicketed;
    writeFileBytes(staged, sampleMir(QStringLiteral("ticketed-lf.mir")));
    QVERIFY(QFile::rename(staged, settings.MirDownPath + kTicketed));
    QTRY_COMPARE(filesIn(dateFolderOf(settings)), QStringList(kTicketed));
    QCOMPARE(countRows(db, QStringLiteral("SELECT COUNT(*) FROM AMAMD")), 1);
}

QTEST_GUILESS_MAIN(TestCycle)
#include "test_cycle.moc"
