// bench_metrics_load [--files N] [--rounds N] [--flood-clients N]
//
// What clients of the metrics endpoint cost the processing cycle. A real
// `kesto run --metrics 127.0.0.179:9464` on SQLite with the pauses at zero
// drains N ticketed files (default 1,000) moved into its download folder at
// once, in three conditions, alternated over the rounds (default 3) with a
// fresh gateway each time:
//   quiet  - nobody connects;
//   idle   - 1,000 connections opened and held, each opened again within
//            half a second of the endpoint closing it;
//   flood  - clients (default 1: on 2 cores more of them mostly measure
//            their own CPU) sending, as fast as they can, requests that are
//            not HTTP, requests with a 32 KiB header, and requests for a
//            missing path, each on a new connection.
// Prints the cycle's cost per file (median over the rounds): the wall time,
// which other processes on the machine (the clients among them) share, and
// the CPU time of the cycle's thread (the main thread of `kesto run`), which
// they do not; the CPU time of the endpoint's thread; the resident memory of
// `kesto run` (peak during the drain, and its high-water mark); and how a
// scrape of /metrics fared during the load. Asserts nothing.
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

enum class Load { Quiet, Idle, Flood };

const char* loadName(Load load) {
    switch (load) {
    case Load::Quiet:
        return "quiet";
    case Load::Idle:
        return "idle";
    case Load::Flood:
        break;
    }
    return "flood";
}

// A connection to the endpoint, or -1; a connect that the full listen
// queue leaves unanswered gives up after half a second.
int connectTo() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval timeout{0, 500000};
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

// The clients of one condition, on threads of their own until stop().
class LoadClients {
public:
    LoadClients(Load load, int floodClients) {
        if (load == Load::Idle)
            m_threads.emplace_back([this] { holdIdle(1000); });
        if (load == Load::Flood) {
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

    void flood(int client) {
        const QByteArray requests[] = {
            "NOT HTTP AT ALL\r\n\r\n",
            "GET /metrics HTTP/1.1\r\nHost: x\r\nX-Padding: " + QByteArray(32 * 1024, 'a') +
                "\r\n\r\n",
            "GET /missing HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
        };
        for (long long n = client; !m_stop; ++n) {
            const int fd = connectTo();
            if (fd < 0)
                continue;
            ++m_connections;
            const QByteArray& request = requests[n % 3];
            (void)!::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
            pollfd entry{fd, POLLIN, 0};
            ::poll(&entry, 1, 50);
            ::close(fd);
        }
    }

    std::atomic<bool> m_stop{false};
    std::atomic<long long> m_connections{0};
    std::vector<std::thread> m_threads;
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

// One scrape of /metrics on a connection of its own: its time in ms, or -1
// when it was not answered within 2 seconds.
double scrapeMs() {
    QElapsedTimer timer;
    timer.start();
    const int fd = connectTo();
    if (fd < 0)
        return -1;
    const QByteArray request = "GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    (void)!::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
    QByteArray answer;
    char buffer[4096];
    while (timer.elapsed() < 2000) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 100) <= 0)
            continue;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
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
    return answer.startsWith("HTTP/1.1 200") ? double(timer.nsecsElapsed()) / 1e6 : -1;
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
    double worstScrapeMs = 0;
    int errorLines = 0; // on the standard error of `kesto run`
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
    while (scrapeMs() < 0 && wait.elapsed() < 30000)
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
            const double ms = scrapeMs();
            ++round.scrapes;
            if (ms >= 0) {
                ++round.scrapesAnswered;
                round.worstScrapeMs = std::max(round.worstScrapeMs, ms);
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int files = 1000;
    int rounds = 3;
    int floodClients = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (qstrcmp(argv[i], "--files") == 0)
            files = std::atoi(argv[i + 1]);
        else if (qstrcmp(argv[i], "--rounds") == 0)
            rounds = std::atoi(argv[i + 1]);
        else if (qstrcmp(argv[i], "--flood-clients") == 0)
            floodClients = std::atoi(argv[i + 1]);
    }
    // The idle clients hold 1,000 descriptors in this process.
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    const Load loads[] = {Load::Quiet, Load::Idle, Load::Flood};
    std::vector<Round> results[3];
    for (int r = 0; r < rounds; ++r) {
        for (Load load : loads) {
            const Round round = measure(load, files, floodClients);
            results[int(load)].push_back(round);
            std::printf("round %d %-5s: %.3f ms per file, cycle's CPU %.3f ms per file, "
                        "endpoint's CPU %.0f ms, peak %lld kB, high-water %lld kB, %lld client "
                        "connections, %d/%d scrapes answered (worst %.1f ms), %d lines on "
                        "standard error\n",
                        r + 1, loadName(load), round.msPerFile, round.cycleCpuMsPerFile,
                        round.endpointCpuMs, static_cast<long long>(round.peakKb),
                        static_cast<long long>(round.highWaterKb), round.connections,
                        round.scrapesAnswered, round.scrapes, round.worstScrapeMs,
                        round.errorLines);
            std::fflush(stdout);
        }
    }
    const auto medianOf = [&results](Load load, double Round::*field) {
        std::vector<double> values;
        for (const Round& round : results[int(load)])
            values.push_back(round.*field);
        return median(values);
    };
    const double wallBase = medianOf(Load::Quiet, &Round::msPerFile);
    const double cpuBase = medianOf(Load::Quiet, &Round::cycleCpuMsPerFile);
    for (Load load : loads) {
        qint64 highWater = 0;
        for (const Round& round : results[int(load)])
            highWater = std::max(highWater, round.highWaterKb);
        const double wall = medianOf(load, &Round::msPerFile);
        const double cpu = medianOf(load, &Round::cycleCpuMsPerFile);
        std::printf("%-5s: median %.3f ms per file (%+.1f %% against quiet), the cycle's CPU "
                    "%.3f ms per file (%+.1f %%), high-water %lld kB\n",
                    loadName(load), wall, (wall / wallBase - 1) * 100, cpu,
                    (cpu / cpuBase - 1) * 100, static_cast<long long>(highWater));
    }
    return 0;
}
