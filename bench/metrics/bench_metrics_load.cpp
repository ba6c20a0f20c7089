// bench_metrics_load [--files N] [--rounds N] [--flood-clients N]
//                    [--loads quiet,idle,flood,churn]
//
// What clients of the metrics endpoint cost the processing cycle. A real
// `kesto run --metrics 127.0.0.179:9464` on SQLite with the pauses at zero
// drains N ticketed files (default 1,000) moved into its download folder at
// once, in the conditions chosen (default all four), alternated over the
// rounds (default 3) with a fresh gateway each time:
//   quiet  - nobody connects;
//   idle   - 1,000 connections opened and held, each opened again within
//            half a second of the endpoint closing it;
//   flood  - clients (default 1: on 2 cores more of them mostly measure
//            their own CPU) sending, as fast as they can, each on a new
//            connection, requests that are not HTTP, of version HTTP/9.9,
//            with a header line without a colon, with the method FOO, with
//            a 32 KiB header, and for a missing path;
//   churn  - the flood, beside 500 clients that each connect, send half a
//            request on every other connection, and close and connect again
//            a quarter of a second later.
// Prints the cycle's cost per file (median over the rounds): the wall time,
// which other processes on the machine (the clients among them) share, and
// the CPU time of the cycle's thread (the main thread of `kesto run`), which
// they do not; the CPU time of the endpoint's thread; the resident memory of
// `kesto run` (peak during the drain, and its high-water mark); how a
// scrape of /metrics fared during the load; and what the flood's requests
// were answered, by kind. Asserts nothing.
#include "gatewayrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kHost[] = "127.0.0.179";
constexpr quint16 kPort = 9464;

enum class Load { Quiet, Idle, Flood, Churn };
constexpr int kLoads = 4;

const char* loadName(Load load) {
    switch (load) {
    case Load::Quiet:
        return "quiet";
    case Load::Idle:
        return "idle";
    case Load::Flood:
        return "flood";
    case Load::Churn:
        break;
    }
    return "churn";
}

// The flood's requests, by kind.
struct BadRequest {
    const char* kind;
    QByteArray bytes;
};
const std::vector<BadRequest>& badRequests() {
    static const std::vector<BadRequest> requests = {
        {"not HTTP", "NOT HTTP AT ALL\r\n\r\n"},
        {"HTTP/9.9", "GET /metrics HTTP/9.9\r\nHost: x\r\n\r\n"},
        {"header without a colon", "GET /metrics HTTP/1.1\r\nHost: x\r\nNo colon\r\n\r\n"},
        {"method FOO", "FOO /metrics HTTP/1.1\r\nHost: x\r\n\r\n"},
        {"32 KiB header", "GET /metrics HTTP/1.1\r\nHost: x\r\nX-Padding: " +
                              QByteArray(32 * 1024, 'a') + "\r\n\r\n"},
        {"missing path", "GET /missing HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"},
    };
    return requests;
}

// How many requests of each kind got each answer: a status code, 0 for the
// connection closed without an answer, -1 for nothing within a second.
using Answers = std::map<std::string, std::map<int, long long>>;

// A connection to the endpoint, or -1; a connect that the full listen
// queue leaves unanswered gives up after `timeoutMs`.
int connectTo(int timeoutMs = 500) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval timeout{timeoutMs / 1000, timeoutMs % 1000 * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kPort);
    ::inet_pton(AF_INET, kHost, &address.sin_addr);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Whether the peer closed the connection (or it failed), without waiting.
bool closedByPeer(int fd) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, 0) <= 0)
        return false;
    char byte;
    return ::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0;
}

// The status code of the answer to a request just sent on `fd`; 0 when the
// connection was closed without one, -1 when nothing came within a second.
int answerStatus(int fd) {
    QByteArray answer;
    char buffer[512];
    QElapsedTimer timer;
    timer.start();
    while (!answer.contains("\r\n") && timer.elapsed() < 1000) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 100) <= 0)
            continue;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        answer.append(buffer, got);
    }
    if (answer.startsWith("HTTP/1.1 "))
        return answer.mid(9, 3).toInt();
    return timer.elapsed() >= 1000 ? -1 : 0;
}

// The clients of one condition, on threads of their own until stop().
class LoadClients {
public:
    LoadClients(Load load, int floodClients) {
        if (load == Load::Idle)
            m_threads.emplace_back([this] { holdIdle(1000); });
        // Ten threads of 50 clients: a connect that the full listen queue
        // holds up stalls a tenth of them.
        if (load == Load::Churn) {
            for (int i = 0; i < 10; ++i)
                m_threads.emplace_back([this] { churn(50); });
        }
        if (load == Load::Flood || load == Load::Churn) {
            for (int i = 0; i < floodClients; ++i)
                m_threads.emplace_back([this, i] { flood(i); });
        }
    }
    ~LoadClients() { stop(); }
    void stop() {
        m_stop = true;
        for (std::thread& thread : m_threads)
            thread.join();
        m_threads.clear();
    }
    long long connections() const { return m_connections; }
    Answers answers() const {
        const std::lock_guard lock(m_answersMutex);
        return m_answers;
    }

private:
    void holdIdle(int count) {
        std::vector<int> fds(count, -1);
        while (!m_stop) {
            for (int& fd : fds) {
                if (fd >= 0 && closedByPeer(fd)) {
                    ::close(fd);
                    fd = -1;
                }
                if (fd < 0 && (fd = connectTo()) >= 0)
                    ++m_connections;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        for (int fd : fds)
            if (fd >= 0)
                ::close(fd);
    }

    // Each client holds its connection for a quarter of a second, with half
    // a request sent on every other one, then closes it and connects again.
    void churn(int count) {
        const QByteArray partial = "GET /metrics HTTP/1.1\r\nHost: x\r\n";
        std::vector<int> fds(count, -1);
        long long opened = 0;
        while (!m_stop) {
            const auto pass = std::chrono::steady_clock::now();
            for (int i = 0; i < count && !m_stop; ++i) {
                if (fds[i] >= 0)
                    ::close(fds[i]);
                if ((fds[i] = connectTo()) < 0)
                    continue;
                ++m_connections;
                if (++opened % 2 == 0)
                    (void)!::send(fds[i], partial.constData(), size_t(partial.size()),
                                  MSG_NOSIGNAL);
            }
            std::this_thread::sleep_until(pass + std::chrono::milliseconds(250));
        }
        for (int fd : fds)
            if (fd >= 0)
                ::close(fd);
    }

    void flood(int client) {
        const std::vector<BadRequest>& requests = badRequests();
        for (std::size_t n = std::size_t(client); !m_stop; ++n) {
            const int fd = connectTo();
            if (fd < 0)
                continue;
            ++m_connections;
            const BadRequest& request = requests[n % requests.size()];
            (void)!::send(fd, request.bytes.constData(), size_t(request.bytes.size()),
                          MSG_NOSIGNAL);
            const int status = answerStatus(fd);
            ::close(fd);
            const std::lock_guard lock(m_answersMutex);
            ++m_answers[request.kind][status];
        }
    }

    std::atomic<bool> m_stop{false};
    std::atomic<long long> m_connections{0};
    std::vector<std::thread> m_threads;
    mutable std::mutex m_answersMutex;
    Answers m_answers;
};

// The CPU time of one thread of `pid`, in seconds: the first whose name is
// `name`, or the main thread for an empty name.
double threadCpuSeconds(qint64 pid, const QByteArray& name) {
    const QString tasks = QStringLiteral("/proc/%1/task/").arg(pid);
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks + tid + QStringLiteral("/comm"));
        comm.open(QIODevice::ReadOnly);
        if (name.isEmpty() ? tid != QString::number(pid) : comm.readAll().trimmed() != name)
            continue;
        QFile stat(tasks + tid + QStringLiteral("/stat"));
        stat.open(QIODevice::ReadOnly);
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        // utime and stime: fields 14 and 15 of the line, 12 and 13 after the name.
        return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
               double(sysconf(_SC_CLK_TCK));
    }
    return 0;
}

qint64 statusKb(qint64 pid, const char* field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// How a scrape ended: answered (None), or how it failed.
enum class ScrapeFailure { None, NotConnected, Closed, TimedOut };
struct Scrape {
    double ms = 0;
    ScrapeFailure failure = ScrapeFailure::None;
};

// One scrape of /metrics on a connection of its own, given up after 2
// seconds. A connect dropped by the full listen queue is tried again by the
// kernel after a second, which a scraper waits for.
Scrape scrape() {
    QElapsedTimer timer;
    timer.start();
    const int fd = connectTo(2000);
    if (fd < 0)
        return {0, ScrapeFailure::NotConnected};
    const QByteArray request = "GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    (void)!::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
    QByteArray answer;
    char buffer[4096];
    bool closed = false;
    while (timer.elapsed() < 2000) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 100) <= 0)
            continue;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if ((closed = got <= 0))
            break;
        answer.append(buffer, got);
        // The endpoint keeps the connection open: the answer ends with its body.
        const qsizetype head = answer.indexOf("\r\n\r\n");
        const qsizetype length = answer.indexOf("Content-Length: ");
        if (head >= 0 && length >= 0 &&
            answer.size() >= head + 4 + answer.mid(length + 16, 12).split('\r').value(0).toInt())
            break;
    }
    ::close(fd);
    if (answer.startsWith("HTTP/1.1 200"))
        return {double(timer.nsecsElapsed()) / 1e6, ScrapeFailure::None};
    return {0, closed ? ScrapeFailure::Closed : ScrapeFailure::TimedOut};
}

struct Round {
    double msPerFile = 0;
    double cycleCpuMsPerFile = 0;
    double endpointCpuMs = 0;
    qint64 peakKb = 0;
    qint64 highWaterKb = 0;
    long long connections = 0;
    int scrapes = 0;
    int scrapesAnswered = 0;
    int scrapesNotConnected = 0; // within 2 seconds: the listen queue was full
    int scrapesClosed = 0;       // closed by the endpoint before an answer
    double worstScrapeMs = 0;
    int errorLines = 0; // on the standard error of `kesto run`
    Answers answers;
};

Round measure(Load load, int files, int floodClients) {
    Round round;
    GatewayHome gateway(TestEngine::Sqlite);
    QProcess run;
    run.setProcessEnvironment(gateway.environment());
    run.setStandardOutputFile(QProcess::nullDevice());
    // What the endpoint's clients make it say, counted in lines.
    const QString errors = gateway.home().root() + QStringLiteral("/stderr.txt");
    run.setStandardErrorFile(errors);
    run.start(QStringLiteral(KESTO_BIN_DIR "/kesto"),
              {QStringLiteral("run"), QStringLiteral("--metrics"),
               QStringLiteral("%1:%2").arg(QLatin1String(kHost)).arg(kPort)});
    run.waitForStarted();
    const qint64 pid = run.processId();
    QElapsedTimer wait;
    wait.start();
    while (scrape().failure != ScrapeFailure::None && wait.elapsed() < 30000)
        QThread::msleep(50);

    // The files are written beside the folder and moved in at once.
    const QString staging = gateway.home().folder(QStringLiteral("staging")) + QLatin1Char('/');
    QDir().mkpath(staging);
    for (int i = 0; i < files; ++i)
        writeFileBytes(staging + QStringLiteral("L%1.MIR").arg(i, 5, 10, QLatin1Char('0')),
                       ticketedBooking(QByteArray::number(i + 100000).right(6)));

    LoadClients clients(load, floodClients);
    QThread::msleep(1000);
    const double cycleCpu = threadCpuSeconds(pid, QByteArray());
    const double endpointCpu = threadCpuSeconds(pid, "metrics");
    QElapsedTimer timer;
    timer.start();
    for (const QString& name : QDir(staging).entryList(QDir::Files))
        QFile::rename(staging + name, gateway.downloadFolder() + name);
    QElapsedTimer sinceScrape;
    sinceScrape.start();
    while (gateway.backedUpFiles().size() < files && timer.elapsed() < 600000) {
        round.peakKb = std::max(round.peakKb, statusKb(pid, "VmRSS:"));
        if (sinceScrape.elapsed() >= 1000) {
            const Scrape scraped = scrape();
            ++round.scrapes;
            round.scrapesNotConnected += scraped.failure == ScrapeFailure::NotConnected;
            round.scrapesClosed += scraped.failure == ScrapeFailure::Closed;
            if (scraped.failure == ScrapeFailure::None) {
                ++round.scrapesAnswered;
                round.worstScrapeMs = std::max(round.worstScrapeMs, scraped.ms);
            }
            sinceScrape.restart();
        }
        QThread::msleep(10);
    }
    round.msPerFile = double(timer.nsecsElapsed()) / 1e6 / files;
    round.cycleCpuMsPerFile = (threadCpuSeconds(pid, QByteArray()) - cycleCpu) * 1000 / files;
    round.endpointCpuMs = (threadCpuSeconds(pid, "metrics") - endpointCpu) * 1000;
    clients.stop();
    round.connections = clients.connections();
    round.answers = clients.answers();
    round.highWaterKb = statusKb(pid, "VmHWM:");
    run.terminate();
    run.waitForFinished(10000);
    round.errorLines = int(readFileBytes(errors).count('\n'));
    return round;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// "quiet,churn": the loads named, in the order of Load.
std::vector<Load> loadsNamed(const QByteArray& names) {
    std::vector<Load> loads;
    for (int i = 0; i < kLoads; ++i) {
        if (names.split(',').contains(loadName(Load(i))))
            loads.push_back(Load(i));
    }
    return loads;
}

// The scrapes of `round`, then the answers to its flood by kind, ending the
// line begun.
void printScrapesAndAnswers(const Round& round) {
    std::printf("%d/%d scrapes answered (worst %.1f ms; not connected %d, closed unanswered %d, "
                "timed out %d)\n",
                round.scrapesAnswered, round.scrapes, round.worstScrapeMs,
                round.scrapesNotConnected, round.scrapesClosed,
                round.scrapes - round.scrapesAnswered - round.scrapesNotConnected -
                    round.scrapesClosed);
    for (const auto& [kind, statuses] : round.answers) {
        std::printf("    %-22s:", kind.c_str());
        for (const auto& [status, count] : statuses) {
            if (status > 0)
                std::printf(" %d x%lld", status, count);
            else
                std::printf(" %s x%lld", status == 0 ? "closed unanswered" : "no answer in 1 s",
                            count);
        }
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int files = 1000;
    int rounds = 3;
    int floodClients = 1;
    std::vector<Load> loads = loadsNamed("quiet,idle,flood,churn");
    for (int i = 1; i + 1 < argc; i += 2) {
        if (qstrcmp(argv[i], "--files") == 0)
            files = std::atoi(argv[i + 1]);
        else if (qstrcmp(argv[i], "--rounds") == 0)
            rounds = std::atoi(argv[i + 1]);
        else if (qstrcmp(argv[i], "--flood-clients") == 0)
            floodClients = std::atoi(argv[i + 1]);
        else if (qstrcmp(argv[i], "--loads") == 0)
            loads = loadsNamed(argv[i + 1]);
    }
    if (loads.empty()) {
        std::fprintf(stderr, "--loads names none of quiet, idle, flood, churn\n");
        return 2;
    }
    // The idle clients hold 1,000 descriptors in this process.
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    std::vector<Round> results[kLoads];
    for (int r = 0; r < rounds; ++r) {
        for (Load load : loads) {
            const Round round = measure(load, files, floodClients);
            results[int(load)].push_back(round);
            std::printf("round %d %-5s: %.3f ms per file, cycle's CPU %.3f ms per file, "
                        "endpoint's CPU %.0f ms, peak %lld kB, high-water %lld kB, %lld client "
                        "connections, %d lines on standard error, ",
                        r + 1, loadName(load), round.msPerFile, round.cycleCpuMsPerFile,
                        round.endpointCpuMs, static_cast<long long>(round.peakKb),
                        static_cast<long long>(round.highWaterKb), round.connections,
                        round.errorLines);
            printScrapesAndAnswers(round);
            std::fflush(stdout);
        }
    }
    const auto medianOf = [&results](Load load, double Round::*field) {
        std::vector<double> values;
        for (const Round& round : results[int(load)])
            values.push_back(round.*field);
        return median(values);
    };
    // Against the first load run, quiet unless it was left out.
    const double wallBase = medianOf(loads.front(), &Round::msPerFile);
    const double cpuBase = medianOf(loads.front(), &Round::cycleCpuMsPerFile);
    for (Load load : loads) {
        // The high-water mark, the scrapes and the answers of all its rounds.
        Round all;
        for (const Round& round : results[int(load)]) {
            all.highWaterKb = std::max(all.highWaterKb, round.highWaterKb);
            all.scrapes += round.scrapes;
            all.scrapesAnswered += round.scrapesAnswered;
            all.scrapesNotConnected += round.scrapesNotConnected;
            all.scrapesClosed += round.scrapesClosed;
            all.worstScrapeMs = std::max(all.worstScrapeMs, round.worstScrapeMs);
            for (const auto& [kind, statuses] : round.answers) {
                for (const auto& [status, count] : statuses)
                    all.answers[kind][status] += count;
            }
        }
        const double wall = medianOf(load, &Round::msPerFile);
        const double cpu = medianOf(load, &Round::cycleCpuMsPerFile);
        std::printf("%-5s: median %.3f ms per file (%+.1f %% against %s), the cycle's CPU "
                    "%.3f ms per file (%+.1f %%), high-water %lld kB, ",
                    loadName(load), wall, (wall / wallBase - 1) * 100, loadName(loads.front()), cpu,
                    (cpu / cpuBase - 1) * 100, static_cast<long long>(all.highWaterKb));
        printScrapesAndAnswers(all);
    }
    return 0;
}
