// bench_history [--years N] [--files F] [--placeholder V] [--rounds R]
//
// What a gateway costs after years of history, beside an empty database in
// the same run (SQLite, the data folder's file with its write-ahead log and
// synchronous=FULL; real `kesto` processes, the pauses at zero):
//   1. the history: a real `kesto run --once` stores seed bookings (distinct
//      record locators with one to three versions, voids and refunds under
//      the placeholder locator ZZZZZZ, their documents), then their rows are
//      copied under new locators until N years of a large agency (about
//      470,000 versions a year, default N = 1), ZZZZZZ up to V versions
//      (default 30,000), each copy dated on a day of its own so that the
//      documents and ledger rows spread over the days; plus 100,500 error
//      rows a year;
//   2. on each database: the cost per file of `kesto run --once` over F new
//      ticketed files (default 500) and over F voids under ZZZZZZ, the median
//      of R rounds (default 9, at most 20), each round on both databases one
//      after the other, the one that goes first alternating, so that the
//      machine's busy moments and drifts fall on both alike;
//      `kesto documents --date D --json`, `--number N --json`,
//      `kesto report daily --date D`, `kesto status` (each the best of three),
//      one scrape of the metrics endpoint of a running `kesto run --metrics`,
//      and the database file's size.
#include "gatewayrun.h"
#include "historyrows.h"
#include "serialnumber.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString kMetricsHost = QStringLiteral("127.0.0.61");
constexpr quint16 kMetricsPort = 9471;

void print(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

QString kestoProgram() {
    return QStringLiteral(KESTO_BIN_DIR "/kesto");
}

// Seconds a `kesto` command takes, the best of three runs.
double commandSeconds(const GatewayHome& gateway, const QStringList& arguments) {
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        QProcess command;
        command.setProcessEnvironment(gateway.environment());
        command.setStandardOutputFile(QProcess::nullDevice());
        command.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        command.start(kestoProgram(), arguments);
        command.waitForFinished(600000);
        best = std::min(best, double(clock.nsecsElapsed()) / 1e9);
    }
    return best;
}

double childrenCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct PerFile {
    double wallMs = 0, cpuMs = 0;
};

// Milliseconds per file of `kesto run --once` over the files dropped, wall
// and CPU.
PerFile runPerFile(const GatewayHome& gateway, const QMap<QString, QByteArray>& files) {
    dropFiles(gateway.downloadFolder(), files);
    QProcess run;
    run.setProcessEnvironment(gateway.environment());
    run.setStandardOutputFile(QProcess::nullDevice());
    run.setStandardErrorFile(QProcess::nullDevice());
    const double cpu = childrenCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    run.start(kestoProgram(), {QStringLiteral("run"), QStringLiteral("--once")});
    run.waitForFinished(1800000);
    PerFile perFile;
    perFile.wallMs = double(clock.nsecsElapsed()) / 1e6 / double(files.size());
    perFile.cpuMs = (childrenCpuSeconds() - cpu) * 1000 / double(files.size());
    const int left = int(gateway.waitingFiles().size());
    if (left > 0)
        print(QStringLiteral("  (%1 files left waiting)").arg(left));
    return perFile;
}

// One scrape of /metrics: milliseconds to the whole answer, -1 when none came.
double scrapeMs() {
    QTcpSocket socket;
    QElapsedTimer clock;
    clock.start();
    socket.connectToHost(kMetricsHost, kMetricsPort);
    if (!socket.waitForConnected(2000))
        return -1;
    socket.write("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
    QByteArray answer;
    while (socket.waitForReadyRead(10000)) {
        answer += socket.readAll();
        const qsizetype head = answer.indexOf("\r\n\r\n");
        const qsizetype length = answer.indexOf("Content-Length: ");
        if (head >= 0 && length >= 0 &&
            answer.size() >= head + 4 + answer.mid(length + 16, 12).split('\r').value(0).toInt())
            return answer.startsWith("HTTP/1.1 200") ? double(clock.nsecsElapsed()) / 1e6 : -1;
    }
    return -1;
}

// The best of five scrapes of a running `kesto run --metrics`, each after the
// endpoint's health figures have aged (it reuses them for a second), so that
// each scrape reads them from the database.
double metricsScrapeMs(const GatewayHome& gateway) {
    QProcess run;
    run.setProcessEnvironment(gateway.environment());
    run.setStandardOutputFile(QProcess::nullDevice());
    run.setStandardErrorFile(QProcess::nullDevice());
    run.start(kestoProgram(), {QStringLiteral("run"), QStringLiteral("--metrics"),
                               QStringLiteral("%1:%2").arg(kMetricsHost).arg(kMetricsPort)});
    QElapsedTimer wait;
    wait.start();
    while (scrapeMs() < 0 && wait.elapsed() < 30000)
        QThread::msleep(100);
    double best = -1;
    for (int round = 0; round < 5; ++round) {
        QThread::msleep(1100);
        const double ms = scrapeMs();
        if (ms >= 0 && (best < 0 || ms < best))
            best = ms;
    }
    run.terminate();
    run.waitForFinished(30000);
    return best;
}

// Ticketed bookings under record locators of their own: `prefix` and five digits.
QMap<QString, QByteArray> newBookings(char prefix, int count) {
    QMap<QString, QByteArray> files;
    for (int i = 0; i < count; ++i) {
        const QByteArray locator = prefix + QByteArray::number(i).rightJustified(5, '0');
        files.insert(QString::fromLatin1(locator + ".MIR"), ticketedBooking(locator));
    }
    return files;
}

QMap<QString, QByteArray> placeholderFiles(const QString& prefix, int count) {
    const QMap<QString, QByteArray> kinds = sweepFiles(1);
    QMap<QString, QByteArray> files;
    for (int i = 0; i < count; ++i)
        files.insert(
            QStringLiteral("%1%2.MIR").arg(prefix).arg(i, 5, 10, QLatin1Char('0')),
            kinds.value(i % 2 ? QStringLiteral("RFND001.MIR") : QStringLiteral("VOID001.MIR")));
    return files;
}

struct Figures {
    PerFile booking, placeholder;
    double documentsByDate = 0, documentsByNumber = 0, dailyReport = 0, status = 0;
    double scrapeMs = 0;
    qint64 fileBytes = 0;
};

// What one database gave over the rounds.
struct Rounds {
    QList<PerFile> bookings, placeholders;
};

// The cost per file over new bookings and over voids and refunds. `prefix`
// starts the new files' names and record locators; none of the history's
// locators starts with it.
void runFiles(const GatewayHome& gateway, int files, char prefix, Rounds& rounds) {
    rounds.bookings.append(runPerFile(gateway, newBookings(prefix, files)));
    rounds.placeholders.append(
        runPerFile(gateway, placeholderFiles(QLatin1Char(prefix) + QStringLiteral("Z"), files)));
}

// Each round's ratio of the history's cost to the empty database's, in order:
// how far one round strays shows how far the medians can be trusted.
QString roundRatios(const QList<PerFile>& empty, const QList<PerFile>& history) {
    QStringList ratios;
    for (qsizetype i = 0; i < empty.size(); ++i)
        ratios.append(QString::number(history[i].wallMs / empty[i].wallMs, 'f', 2));
    return ratios.join(QLatin1Char(' '));
}

PerFile median(QList<PerFile> rounds) {
    const auto middle = [&](double PerFile::*field) {
        std::sort(rounds.begin(), rounds.end(),
                  [&](const PerFile& a, const PerFile& b) { return a.*field < b.*field; });
        return rounds[rounds.size() / 2].*field;
    };
    return {middle(&PerFile::wallMs), middle(&PerFile::cpuMs)};
}

void measureCommands(const GatewayHome& gateway, const HistorySample& sample, Figures& figures) {
    figures.documentsByDate =
        commandSeconds(gateway, {QStringLiteral("documents"), QStringLiteral("--date"), sample.day,
                                 QStringLiteral("--json")});
    figures.documentsByNumber =
        commandSeconds(gateway, {QStringLiteral("documents"), QStringLiteral("--number"),
                                 sample.documentNumber, QStringLiteral("--json")});
    figures.dailyReport =
        commandSeconds(gateway, {QStringLiteral("report"), QStringLiteral("daily"),
                                 QStringLiteral("--date"), sample.day});
    figures.status = commandSeconds(gateway, {QStringLiteral("status")});
    figures.scrapeMs = metricsScrapeMs(gateway);
    const QString file = gateway.db().dataFolder() + QStringLiteral("PALVA.mdb");
    figures.fileBytes = QFileInfo(file).size() + QFileInfo(file + QStringLiteral("-wal")).size();
}

void report(const Figures& empty, const Figures& history, const Rounds& emptyRounds,
            const Rounds& historyRounds) {
    const auto row = [](const char* what, double a, double b, const char* unit) {
        print(QStringLiteral("%1 | %2 %4 | %3 %4 | x%5")
                  .arg(QLatin1String(what))
                  .arg(a, 0, 'f', 3)
                  .arg(b, 0, 'f', 3)
                  .arg(QLatin1String(unit))
                  .arg(a > 0 ? b / a : 0, 0, 'f', 2));
    };
    print(QStringLiteral("figure | empty database | with the history | ratio"));
    row("kesto run, new bookings", empty.booking.wallMs, history.booking.wallMs, "ms per file");
    row("  its CPU", empty.booking.cpuMs, history.booking.cpuMs, "ms per file");
    row("kesto run, voids and refunds under ZZZZZZ", empty.placeholder.wallMs,
        history.placeholder.wallMs, "ms per file");
    row("  its CPU", empty.placeholder.cpuMs, history.placeholder.cpuMs, "ms per file");
    print(QStringLiteral("  each round's ratio, new bookings: ") +
          roundRatios(emptyRounds.bookings, historyRounds.bookings));
    print(QStringLiteral("  each round's ratio, voids and refunds: ") +
          roundRatios(emptyRounds.placeholders, historyRounds.placeholders));
    row("kesto documents --date D --json", empty.documentsByDate, history.documentsByDate, "s");
    row("kesto documents --number N --json", empty.documentsByNumber, history.documentsByNumber,
        "s");
    row("kesto report daily --date D", empty.dailyReport, history.dailyReport, "s");
    row("kesto status", empty.status, history.status, "s");
    row("a scrape of /metrics", empty.scrapeMs, history.scrapeMs, "ms");
    row("database file", double(empty.fileBytes) / 1e6, double(history.fileBytes) / 1e6, "MB");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    HistoryShape shape;
    int files = 500;
    // One letter a round for the new files' record locators, shared by the two
    // databases: none of the history's locators starts with one of them.
    const QByteArray roundLetters = "ABCDEFHJKLMNPQRUVWXY";
    int rounds = 9;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--years"))
            shape.years = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--files"))
            files = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--placeholder"))
            shape.placeholderVersions = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--rounds"))
            rounds = std::clamp(args[i + 1].toInt(), 1, int(roundLetters.size()));
    }

    // Each round stores its voids and refunds under ZZZZZZ: once its serials run
    // out they are refused, which is another path with a cost of its own.
    const int roundsBeforeFull = (kLastSerial - shape.placeholderVersions) / files;
    if (rounds > roundsBeforeFull) {
        rounds = std::max(1, roundsBeforeFull);
        print(QStringLiteral("only %1 round(s), so that ZZZZZZ keeps serials to spare").arg(rounds));
    }

    GatewayHome history(TestEngine::Sqlite);
    if (!history.failure().isEmpty()) {
        print(QStringLiteral("cannot run: ") + history.failure());
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    const HistorySample sample = makeHistory(history, shape);
    if (!sample.error.isEmpty()) {
        print(QStringLiteral("cannot make the history: ") + sample.error);
        return 1;
    }
    // The history is written through the page cache; the kernel writing it
    // back while the runs are timed would slow their syncs.
    ::sync();
    print(QStringLiteral("history of %1 year(s) made in %2 s: %3")
              .arg(shape.years)
              .arg(double(clock.elapsed()) / 1000, 0, 'f', 1)
              .arg(sample.counts));
    print(QStringLiteral("D = %1, N = %2, %3 new files per run")
              .arg(sample.day, sample.documentNumber)
              .arg(files));

    GatewayHome empty(TestEngine::Sqlite);
    // The commands first: the new files all carry the day D.
    Figures emptyFigures, historyFigures;
    measureCommands(empty, sample, emptyFigures);
    measureCommands(history, sample, historyFigures);
    Rounds emptyRounds, historyRounds;
    for (int round = 0; round < rounds; ++round) {
        const char letter = roundLetters[round];
        if (round % 2 == 0) {
            runFiles(empty, files, letter, emptyRounds);
            runFiles(history, files, letter, historyRounds);
        } else {
            runFiles(history, files, letter, historyRounds);
            runFiles(empty, files, letter, emptyRounds);
        }
    }
    emptyFigures.booking = median(emptyRounds.bookings);
    emptyFigures.placeholder = median(emptyRounds.placeholders);
    historyFigures.booking = median(historyRounds.bookings);
    historyFigures.placeholder = median(historyRounds.placeholders);
    report(emptyFigures, historyFigures, emptyRounds, historyRounds);
    return 0;
}
