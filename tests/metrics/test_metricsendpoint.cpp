// The metrics endpoint of a real `kesto run`, asked by a real HTTP client:
// its counters move exactly with the files dropped, /healthz follows the
// database, its output passes promtool, a real Prometheus server scrapes it,
// the stored setting and the run's option choose where it listens, its
// limits keep idle and oversized clients from piling up, and it refuses
// malformed requests and methods HTTP does not define.
#include "exposition.h"
#include "gatewayrun.h"
#include "httpget.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// `kesto run` with its endpoint, stopped at the end of the test.
class RunningGateway {
public:
    RunningGateway(const GatewayHome& gateway, const QStringList& arguments) {
        m_run.setProcessEnvironment(gateway.environment({{u"KESTO_PAUSE_SCALE"_s, u"0.02"_s}}));
        m_run.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), QStringList{u"run"_s} + arguments);
        m_run.waitForStarted();
    }
    ~RunningGateway() {
        m_run.terminate();
        if (!m_run.waitForFinished(10000))
            m_run.kill();
    }
    QProcess& process() { return m_run; }

private:
    QProcess m_run;
};

int rowCount(const QString& mdb, const QString& table) {
    const QString name = QStringLiteral("test-metrics-count");
    int count = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(mdb);
        if (db.open()) {
            QSqlQuery query(u"SELECT COUNT(*) FROM "_s + table, db);
            if (query.next())
                count = query.value(0).toInt();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return count;
}

QUrl endpoint(const QString& address, const QString& path) {
    return QUrl(u"http://"_s + address + path);
}

QJsonObject healthOf(const HttpAnswer& answer) {
    return QJsonDocument::fromJson(answer.body).object();
}

// A process stopped (SIGSTOP) for the life of this object, so that what its
// clients send meanwhile waits in the kernel.
class StoppedProcess {
public:
    explicit StoppedProcess(qint64 pid) : m_pid(pid_t(pid)) {
        ::kill(m_pid, SIGSTOP);
        for (int i = 0; i < 200 && state() != 'T'; ++i)
            QThread::msleep(10);
    }
    ~StoppedProcess() { ::kill(m_pid, SIGCONT); }
    StoppedProcess(const StoppedProcess&) = delete;
    StoppedProcess& operator=(const StoppedProcess&) = delete;

    // The state letter of /proc/PID/stat: 'T' once stopped.
    char state() const {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(m_pid));
        if (!stat.open(QIODevice::ReadOnly))
            return '?';
        const QByteArray text = stat.readAll();
        const qsizetype at = text.lastIndexOf(')') + 2;
        return at > 1 && at < text.size() ? text.at(at) : '?';
    }

private:
    pid_t m_pid;
};

// Whether something accepts connections there now.
bool listening(const QString& host, quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(host, port);
    return socket.waitForConnected(2000);
}

} // namespace

class TestMetricsEndpoint : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void countersFollowFilesAndHealthFollowsTheDatabase();
    void storedSettingAndRunOption();
    void limitsKeepClientsFromPilingUp();
    void refusesMalformedRequestsAndUnknownMethods();
    void prometheusScrapesIt();
    void dashboardNamesOnlyServedMetrics();
};

// Two bookings, one the database refuses (a trigger), a text that is not a
// MIR file and a symbolic link: each counter moves by exactly what happened,
// the histograms count the four files and the two commits, and the output
// passes promtool. /healthz answers 503 while PALVA.mdb is not a database
// and 200 once it is back; other paths get 404 and other methods 405.
void TestMetricsEndpoint::countersFollowFilesAndHealthFollowsTheDatabase() {
    GatewayHome gateway(TestEngine::Sqlite);
    const QString mdb = gateway.db().dataFolder() + u"PALVA.mdb"_s;
    runOnSqliteFile(mdb, {u"CREATE TRIGGER refuse_for_test BEFORE INSERT ON AMAMD "
                          "WHEN NEW.RECLOC = 'REFU01' BEGIN SELECT RAISE(ABORT, 'refused for the "
                          "test'); END"_s});
    const QString address = u"127.0.0.171:9464"_s;
    RunningGateway run(gateway, {u"--metrics"_s, address});
    QTRY_COMPARE_WITH_TIMEOUT(httpGet(endpoint(address, u"/healthz"_s)).status, 200, 20000);

    const HttpAnswer before = httpGet(endpoint(address, u"/metrics"_s));
    QCOMPARE(before.status, 200);
    QVERIFY(before.contentType.startsWith("text/plain; version=0.0.4"));
    const QMap<QString, double> start = exposedSamples(before.body);
    QCOMPARE(start.value(u"kesto_files_total{outcome=\"stored\"}"_s, -1), 0.0);
    QCOMPARE(start.value(u"kesto_database_up"_s, -1), 1.0);
    const QStringList info = QStringList(start.keys()).filter(u"kesto_build_info"_s);
    QCOMPARE(info.size(), 1);
    QVERIFY2(QRegularExpression(u"^kesto_build_info\\{version=\"\\d+\\.\\d+\\.\\d+\"\\}$"_s)
                 .match(info[0])
                 .hasMatch(),
             qPrintable(info[0]));
    QCOMPARE(start.value(info[0]), 1.0);

    const QString down = gateway.downloadFolder();
    writeFileBytes(down + u"BOOK1.MIR"_s, ticketedBooking("MET001"));
    writeFileBytes(down + u"BOOK2.MIR"_s, ticketedBooking("MET002"));
    writeFileBytes(down + u"REFUSED.MIR"_s, ticketedBooking("REFU01"));
    writeFileBytes(down + u"NOTE.MIR"_s, "This is a note, not a MIR file.\n");
    const qint64 droppedAt = QDateTime::currentSecsSinceEpoch();
    QVERIFY(QFile::link(gateway.home().root(), down + u"LINK.MIR"_s));
    QTRY_COMPARE_WITH_TIMEOUT(gateway.backedUpFiles().size(), 4, 30000);

    // The gauges come from a health check reused for a second.
    QTest::qWait(1100);
    const HttpAnswer after = httpGet(endpoint(address, u"/metrics"_s));
    const QMap<QString, double> m = exposedSamples(after.body);
    QCOMPARE(m.value(u"kesto_files_total{outcome=\"stored\"}"_s), 2.0);
    QCOMPARE(m.value(u"kesto_files_total{outcome=\"refused\"}"_s), 1.0);
    QCOMPARE(m.value(u"kesto_files_total{outcome=\"uninterpreted\"}"_s), 1.0);
    QCOMPARE(m.value(u"kesto_files_total{outcome=\"not_a_file\"}"_s), 1.0);
    QCOMPARE(m.value(u"kesto_versions_stored_total"_s), 2.0);
    // Every document event the ledger took, the refused booking's included.
    double documents = 0;
    for (auto it = m.cbegin(); it != m.cend(); ++it) {
        if (it.key().startsWith(u"kesto_documents_total{"_s))
            documents += it.value();
    }
    QCOMPARE(documents, double(rowCount(mdb, u"KDOCEVT"_s)));
    QVERIFY(m.value(u"kesto_documents_total{kind=\"ticket\",transaction=\"issue\"}"_s) >= 3);
    QCOMPARE(m.value(u"kesto_error_rows_total"_s), double(rowCount(mdb, u"AMERROR"_s)));
    QVERIFY(m.value(u"kesto_error_rows_total"_s) >= 2); // the refusal and the link
    QCOMPARE(m.value(u"kesto_posts_total{result=\"acknowledged\"}"_s, -1), 0.0);
    QCOMPARE(m.value(u"kesto_file_seconds_count"_s), 4.0);
    QCOMPARE(m.value(u"kesto_file_seconds_bucket{le=\"+Inf\"}"_s), 4.0);
    QCOMPARE(m.value(u"kesto_commit_seconds_count"_s), 2.0);
    QVERIFY(m.value(u"kesto_commit_seconds_sum"_s) > 0);
    QCOMPARE(m.value(u"kesto_waiting_files"_s, -1), 0.0); // the link is not a file to take
    QCOMPARE(m.value(u"kesto_database_up"_s), 1.0);
    const double lastStored = m.value(u"kesto_last_stored_timestamp_seconds"_s);
    QVERIFY2(lastStored >= droppedAt - 1 && lastStored <= QDateTime::currentSecsSinceEpoch(),
             qPrintable(QString::number(lastStored)));

    // promtool, where it is installed (the test scripts install it).
    const QString promtool = QStandardPaths::findExecutable(u"promtool"_s);
    if (!promtool.isEmpty()) {
        QProcess check;
        check.start(promtool, {u"check"_s, u"metrics"_s});
        check.write(after.body);
        check.closeWriteChannel();
        QVERIFY(check.waitForFinished(30000));
        QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());
    } else {
        qWarning("promtool not found: the exposition was not linted");
    }

    QCOMPARE(httpGet(endpoint(address, u"/"_s)).status, 404);
    QCOMPARE(httpGet(endpoint(address, u"/metrics/x"_s)).status, 404);
    QCOMPARE(httpRequest("POST", endpoint(address, u"/metrics"_s)).status, 405);
    QCOMPARE(httpRequest("DELETE", endpoint(address, u"/healthz"_s)).status, 405);

    // The database goes away, then comes back.
    const QString kept = gateway.db().dataFolder() + u"PALVA.kept"_s;
    QVERIFY(QFile::rename(mdb, kept));
    writeFileBytes(mdb, QByteArray(4096, 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(httpGet(endpoint(address, u"/healthz"_s)).status, 503, 10000);
    const HttpAnswer downAnswer = httpGet(endpoint(address, u"/healthz"_s));
    QCOMPARE(healthOf(downAnswer).value(u"state"_s).toString(), u"down"_s);
    QCOMPARE(healthOf(downAnswer).value(u"databaseReached"_s).toBool(), false);
    // The metrics keep a health check of their own, reused for a second too.
    QTRY_COMPARE_WITH_TIMEOUT(exposedSamples(httpGet(endpoint(address, u"/metrics"_s)).body)
                                  .value(u"kesto_database_up"_s, -1),
                              0.0, 5000);
    QVERIFY(QFile::remove(mdb) && QFile::rename(kept, mdb));
    QTRY_COMPARE_WITH_TIMEOUT(httpGet(endpoint(address, u"/healthz"_s)).status, 200, 10000);
    QCOMPARE(healthOf(httpGet(endpoint(address, u"/healthz"_s))).value(u"databaseReached"_s),
             QJsonValue(true));
}

// kesto setup --metrics stores where the endpoint listens, kesto run
// --metrics overrides it for one run, and --metrics off removes it.
void TestMetricsEndpoint::storedSettingAndRunOption() {
    GatewayHome gateway(TestEngine::Sqlite);
    const auto setup = [&](const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(gateway.environment());
        process.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), QStringList{u"setup"_s} + arguments);
        process.waitForFinished(30000);
        return std::pair(process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()));
    };
    QCOMPARE(setup({u"--metrics"_s, u"localhost:9464"_s}).first, 2);
    QCOMPARE(setup({u"--metrics"_s, u"127.0.0.174:0"_s}).first, 2);
    QCOMPARE(setup({u"--metrics"_s, u"127.0.0.174:9464"_s}).first, 0);
    QVERIFY(setup({}).second.contains(u"MirMetrics=127.0.0.174:9464\t(settings store"_s));

    {
        RunningGateway run(gateway, {});
        QTRY_COMPARE_WITH_TIMEOUT(httpGet(u"http://127.0.0.174:9464/healthz"_s).status, 200, 20000);
    }
    {
        RunningGateway run(gateway, {u"--metrics"_s, u"127.0.0.175:9464"_s});
        QTRY_COMPARE_WITH_TIMEOUT(httpGet(u"http://127.0.0.175:9464/healthz"_s).status, 200, 20000);
        QVERIFY(!listening(u"127.0.0.174"_s, 9464));
    }

    QCOMPARE(setup({u"--metrics"_s, u"off"_s}).first, 0);
    QVERIFY(setup({}).second.contains(u"MirMetrics=off\t(default)"_s));

    // An address it cannot listen on (another listens there) ends the run at
    // start, with the reason.
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress(u"127.0.0.182"_s), 9464));
    QProcess run;
    run.setProcessEnvironment(gateway.environment());
    run.start(QStringLiteral(KESTO_BIN_DIR "/kesto"),
              {u"run"_s, u"--once"_s, u"--metrics"_s, u"127.0.0.182:9464"_s});
    QVERIFY(run.waitForFinished(30000));
    QCOMPARE(run.exitCode(), 1);
    QVERIFY(run.readAllStandardError().contains("the metrics endpoint cannot listen on"));
}

// At most 64 connections: one more closes the one that has gone longest
// without an answer among those with no request waiting for one, and is
// served itself. The first of 64 connections sends a whole request while
// the run is stopped, and a 65th comes: when the run goes on, the first,
// though the longest unanswered, has its request in (unread, or answered
// and not yet sent), so the second, idle, is closed instead, and both
// requests are answered. A request that grows past 16 KiB unanswered has
// its connection closed; the endpoint answers throughout.
void TestMetricsEndpoint::limitsKeepClientsFromPilingUp() {
    GatewayHome gateway(TestEngine::Sqlite);
    const QString host = u"127.0.0.176"_s;
    RunningGateway run(gateway, {u"--metrics"_s, host + u":9464"_s});
    QTRY_COMPARE_WITH_TIMEOUT(httpGet(u"http://127.0.0.176:9464/healthz"_s).status, 200, 20000);

    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 64; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(host, 9464);
        QVERIFY(clients.back()->waitForConnected(2000));
        QTest::qWait(5); // so that each has gone longer without an answer than the next
    }
    QTest::qWait(300);
    const QByteArray scrape = "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n";
    QTcpSocket& waiting = *clients.front();
    QTcpSocket latecomer;
    {
        const StoppedProcess stopped(run.process().processId());
        QCOMPARE(stopped.state(), 'T');
        waiting.write(scrape);
        QVERIFY(waiting.waitForBytesWritten(2000));
        latecomer.connectToHost(host, 9464);
        QVERIFY(latecomer.waitForConnected(2000));
        latecomer.write(scrape);
        QVERIFY(latecomer.waitForBytesWritten(2000));
    }
    QCOMPARE(readHttpAnswer(waiting).status, 200);
    QCOMPARE(readHttpAnswer(latecomer).status, 200);
    QTRY_COMPARE_WITH_TIMEOUT(clients[1]->state(), QAbstractSocket::UnconnectedState, 3000);
    QCOMPARE(waiting.state(), QAbstractSocket::ConnectedState);
    for (std::size_t i = 2; i < clients.size(); ++i)
        QCOMPARE(clients[i]->state(), QAbstractSocket::ConnectedState);
    clients.clear();

    QTcpSocket oversized;
    oversized.connectToHost(host, 9464);
    QVERIFY(oversized.waitForConnected(2000));
    oversized.write("GET /metrics HTTP/1.1\r\nHost: x\r\nX-Padding: ");
    oversized.write(QByteArray(64 * 1024, 'a'));
    QVERIFY(oversized.waitForDisconnected(5000));

    QTRY_COMPARE_WITH_TIMEOUT(httpGet(u"http://127.0.0.176:9464/metrics"_s).status, 200, 5000);
}

// Requests Qt's HTTP server would take wrongly (another version, a header
// line without a colon or folded onto the one before) are answered 400 and
// their connection closed; a method HTTP does not define gets 405 whatever
// the path. A body, of a length or in chunks, is skipped, not read as a
// request of its own, so that a POST still gets 405.
void TestMetricsEndpoint::refusesMalformedRequestsAndUnknownMethods() {
    GatewayHome gateway(TestEngine::Sqlite);
    const QString host = u"127.0.0.183"_s;
    RunningGateway run(gateway, {u"--metrics"_s, host + u":9464"_s});
    QTRY_COMPARE_WITH_TIMEOUT(httpGet(u"http://127.0.0.183:9464/healthz"_s).status, 200, 20000);

    const QByteArray notARequest = "NOT A\r\n\r\nREQUEST\r\n\r\n";
    const struct {
        QByteArray request;
        int status;
    } cases[] = {
        {"GET /metrics HTTP/9.9\r\nHost: x\r\n\r\n", 400},
        {"GET /metrics HTTP/1.1\r\nHost: x\r\nNo colon here\r\n\r\n", 400},
        {"GET /metrics HTTP/1.1\r\nHost: x\r\n  folded\r\n\r\n", 400},
        {"FOO /metrics HTTP/1.1\r\nHost: x\r\n\r\n", 405},
        {"FOO /nowhere HTTP/1.1\r\nHost: x\r\n\r\n", 405},
        {"POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: " +
             QByteArray::number(notARequest.size()) + "\r\n\r\n" + notARequest,
         405},
        {"POST /metrics HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n" +
             QByteArray::number(notARequest.size(), 16) + "\r\n" + notARequest + "\r\n0\r\n\r\n",
         405},
    };
    for (const auto& [request, status] : cases) {
        const HttpAnswer answer = rawHttpRequest(host, 9464, request);
        const QByteArray requestLine = request.left(request.indexOf('\r'));
        QVERIFY2(answer.status == status, qPrintable(QString::fromLatin1(requestLine + " got ") +
                                                     QString::number(answer.status)));
        if (status == 400)
            QVERIFY(answer.closed);
        else
            QCOMPARE(answer.allow, QByteArray("GET"));
    }
    QCOMPARE(httpGet(u"http://127.0.0.183:9464/metrics"_s).status, 200);
}

// A real Prometheus server on loopback scrapes the endpoint and holds the
// number of stored files the endpoint serves.
void TestMetricsEndpoint::prometheusScrapesIt() {
    const QString prometheus = QStandardPaths::findExecutable(u"prometheus"_s);
    if (prometheus.isEmpty())
        QSKIP("prometheus is not installed (scripts/test installs it)");
    GatewayHome gateway(TestEngine::Sqlite);
    RunningGateway run(gateway, {u"--metrics"_s, u"127.0.0.177:9464"_s});
    writeFileBytes(gateway.downloadFolder() + u"SCRAPED.MIR"_s, ticketedBooking("SCR001"));
    QTRY_COMPARE_WITH_TIMEOUT(gateway.backedUpFiles().size(), 1, 30000);

    QTemporaryDir folder;
    const QString config = folder.filePath(u"prometheus.yml"_s);
    writeFileBytes(config, "global:\n"
                           "  scrape_interval: 1s\n"
                           "scrape_configs:\n"
                           "  - job_name: kesto\n"
                           "    static_configs:\n"
                           "      - targets: ['127.0.0.177:9464']\n");
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(prometheus, {u"--config.file="_s + config,
                              u"--storage.tsdb.path="_s + folder.filePath(u"data"_s),
                              u"--web.listen-address=127.0.0.178:9090"_s});
    QVERIFY(server.waitForStarted());
    const auto stored = [] {
        const HttpAnswer answer = httpGet(QUrl(
            u"http://127.0.0.178:9090/api/v1/query?query=kesto_files_total%7Boutcome%3D%22stored%22%7D"_s));
        const QJsonArray result =
            QJsonDocument::fromJson(answer.body).object()[u"data"_s][u"result"_s].toArray();
        return result.isEmpty() ? QString() : result[0][u"value"_s][1].toString();
    };
    QTRY_COMPARE_WITH_TIMEOUT(stored(), u"1"_s, 60000);
    server.terminate();
    QVERIFY(server.waitForFinished(20000));
}

// The dashboard shipped with the documentation is JSON, has its five panels,
// and every metric its queries name is one the endpoint serves.
void TestMetricsEndpoint::dashboardNamesOnlyServedMetrics() {
    const QByteArray served = expositionText(CycleMetrics::instance(), Health{}, u"test"_s);
    QSet<QString> families;
    for (const QByteArray& line : served.split('\n')) {
        if (line.startsWith("# TYPE "))
            families.insert(QString::fromUtf8(line.split(' ').at(2)));
    }
    QJsonParseError error{};
    const QJsonDocument dashboard = QJsonDocument::fromJson(
        readFileBytes(QStringLiteral(KESTO_SOURCE_DIR "/packaging/grafana-dashboard.json")),
        &error);
    QVERIFY2(dashboard.isObject(), qPrintable(error.errorString()));
    const QJsonArray panels = dashboard.object().value(u"panels"_s).toArray();
    QCOMPARE(panels.size(), 6);
    const QRegularExpression metric(u"\\bkesto_[a-z_]+"_s);
    const QRegularExpression histogramPart(u"_(bucket|sum|count)$"_s);
    int named = 0;
    for (const QJsonValue& panel : panels) {
        for (const QJsonValue& target : panel[u"targets"_s].toArray()) {
            const QString expression = target[u"expr"_s].toString();
            QVERIFY(!expression.isEmpty());
            for (const auto& match : metric.globalMatch(expression)) {
                QString name = match.captured();
                if (!families.contains(name))
                    name.remove(histogramPart);
                QVERIFY2(families.contains(name), qPrintable(match.captured()));
                ++named;
            }
        }
    }
    QVERIFY(named >= 5);
}

QTEST_GUILESS_MAIN(TestMetricsEndpoint)
#include "test_metricsendpoint.moc"
