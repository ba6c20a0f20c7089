// Posts owed to an endpoint that hangs, then fails, then answers: the
// bookings are stored and filed meanwhile, a kill -9 loses none of the owed
// posts, the poster probes with one post at a time while the endpoint fails,
// and once it answers every post arrives, in the order its version was
// stored; a post the endpoint refuses is owed no more. Real `kesto run`
// processes, a real endpoint on loopback.
#include "gatewayrun.h"
#include "testendpoint.h"
#include "threadconnection.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

class TestOwedPosts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hungEndpointHoldsUpNoBooking_data() { addEngineRows(); }
    void hungEndpointHoldsUpNoBooking();
    void refusedPostIsNotPostedAgain_data() { addEngineRows(); }
    void refusedPostIsNotPostedAgain();
};

namespace {

const QString kAddress = QStringLiteral("127.0.0.64");
constexpr int kBookings = 20;

QStringList column(const GatewayHome& gateway, const QString& sql) {
    QStringList values;
    for (const QVariantList& row : gateway.db().selectRows(sql))
        values.append(row[0].toString());
    closeThreadConnections();
    return values;
}

QString statusText(const GatewayHome& gateway) {
    QProcess status;
    status.setProcessEnvironment(gateway.environment());
    status.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), {QStringLiteral("status")});
    status.waitForFinished(30000);
    return QString::fromUtf8(status.readAllStandardOutput());
}

} // namespace

void TestOwedPosts::hungEndpointHoldsUpNoBooking() {
    QFETCH(TestEngine, engine);
    TestEndpoint endpoint(kAddress);
    QVERIFY(endpoint.isListening());
    endpoint.setSilent();
    GatewayHome gateway(engine, {u"1"_s, u"1"_s, kAddress});
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    QMap<QString, QByteArray> files;
    for (int i = 1; i <= kBookings; ++i)
        files.insert(u"OWED%1.MIR"_s.arg(i, 2, 10, QLatin1Char('0')),
                     ticketedBooking(QByteArray("OWED") + QByteArray::number(i + 10)));
    dropFiles(gateway.downloadFolder(), files);

    // The endpoint takes the first post and never answers (30 s each, as
    // posts were waited for): every booking is stored and filed regardless.
    QProcess hung;
    hung.setProcessEnvironment(gateway.environment());
    hung.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), {QStringLiteral("run")});
    QVERIFY(hung.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(gateway.backedUpFiles().size(), kBookings, 20000);
    QTRY_COMPARE(gateway.waitingFiles(), QStringList()); // the last one's delete follows its copy
    QCOMPARE(column(gateway, u"SELECT COUNT(*) FROM AMAMD"_s), QStringList(u"20"_s));
    QTRY_COMPARE(endpoint.requests().size(), 1); // the first post, hanging
    QVERIFY(statusText(gateway).contains(u"posts owed: 20"_s));
    QCOMPARE(endpoint.requests().size(), 1);
    // Owed in the order the files were stored, as their log lines show.
    const QStringList owed = column(gateway, u"SELECT RECLOC FROM AMPOST ORDER BY POST_NO"_s);
    QStringList storedOrder;
    static const QRegularExpression fileLine(u"^OWED(\\d\\d)\\.MIR:"_s,
                                             QRegularExpression::MultilineOption);
    QString out; // read until the last file's line has come through the pipe
    QTRY_VERIFY((out += QString::fromUtf8(hung.readAllStandardOutput())).count(fileLine) ==
                kBookings);
    auto lines = fileLine.globalMatch(out);
    while (lines.hasNext())
        storedOrder.append(u"OWED"_s + QString::number(lines.next().captured(1).toInt() + 10));
    QCOMPARE(owed, storedOrder);
    ::kill(static_cast<pid_t>(hung.processId()), SIGKILL);
    QVERIFY(hung.waitForFinished(10000));

    // It fails now (a 503): one post at a time probes it, backing off;
    // nothing else goes out before the first owed post.
    endpoint.setAnswer("busy");
    endpoint.setStatus("503 Service Unavailable");
    const qsizetype before = endpoint.requests().size();
    QProcess run;
    run.setProcessEnvironment(gateway.environment({{u"KESTO_PAUSE_SCALE"_s, u"0.01"_s}}));
    run.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), {QStringLiteral("run")});
    QVERIFY(run.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(endpoint.requests().size() >= before + 2, 20000);
    QCOMPARE(postedLocators(endpoint.requests().mid(before)).removeDuplicates(),
             qsizetype(endpoint.requests().size() - before - 1));

    // Then it answers: every owed post arrives, oldest first.
    endpoint.setAnswer("RECLOC OK");
    endpoint.setStatus("200 OK");
    QTRY_COMPARE_WITH_TIMEOUT(column(gateway, u"SELECT COUNT(*) FROM AMPOST"_s),
                              QStringList(u"0"_s), 20000);
    run.terminate();
    QVERIFY(run.waitForFinished(10000));
    QStringList delivered = postedLocators(endpoint.requests().mid(before));
    delivered.removeDuplicates();
    QCOMPARE(delivered, owed);
    QCOMPARE(column(gateway, u"SELECT DISTINCT POST_ST FROM AMFILE"_s), QStringList(u"A"_s));
    QCOMPARE(column(gateway, u"SELECT COUNT(*) FROM AMAMD"_s), QStringList(u"20"_s));
    const QStringList rows = column(gateway, u"SELECT MESSAGE FROM AMERROR"_s);
    QVERIFY2(rows.filter(u"9996:Post of "_s + owed.first() + u"/001: HTTP status 503"_s).size() ==
                     1 &&
                 rows.filter(u"Recovered after"_s).size() == 1,
             qPrintable(rows.join(u'\n')));
    QVERIFY(statusText(gateway).contains(u"posts owed: 0"_s));
}

// The endpoint answers "<ERROR>...": the booking is stored and filed, the
// ledger notes the refusal, nothing stays owed, and a later run posts nothing.
void TestOwedPosts::refusedPostIsNotPostedAgain() {
    QFETCH(TestEngine, engine);
    TestEndpoint endpoint(kAddress);
    QVERIFY(endpoint.isListening());
    endpoint.setAnswer("<ERROR> Unknown agency");
    GatewayHome gateway(engine, {u"1"_s, u"1"_s, kAddress});
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    writeFileBytes(gateway.downloadFolder() + u"REFUSED.MIR"_s, ticketedBooking("REFU01"));
    for (int run = 0; run < 2; ++run)
        QCOMPARE(runOnce(gateway.environment()).exitCode, 0);
    QCOMPARE(endpoint.requests().size(), 1);
    QCOMPARE(gateway.backedUpFiles(), QStringList(u"REFUSED.MIR"_s));
    QCOMPARE(gateway.waitingFiles(), QStringList());
    QCOMPARE(column(gateway, u"SELECT RECLOC FROM AMAMD"_s), QStringList(u"REFU01"_s));
    QCOMPARE(column(gateway, u"SELECT COUNT(*) FROM AMPOST"_s), QStringList(u"0"_s));
    QCOMPARE(column(gateway, u"SELECT POST_ST FROM AMFILE"_s), QStringList(u"R"_s));
    QCOMPARE(column(gateway, u"SELECT MESSAGE FROM AMERROR"_s),
             QStringList(u"REFUSED.MIR-->9000:Unknown agency"_s));
}

QTEST_GUILESS_MAIN(TestOwedPosts)
#include "test_owedposts.moc"
