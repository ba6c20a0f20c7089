// bench_drain [--engine sqlite|postgresql] [--files N] [--paced N] [--syscalls N]
//
// A real `kesto run` at its default settings, the settle time at its real
// 1 second, over a database of the engine (SQLite: the data folder's file with
// its write-ahead log and synchronous=FULL; PostgreSQL: the server of the
// KESTO_TEST_PG_* variables, which run-bench-drain.sh starts with fsync on):
//   1. the disk's durable write: a 512-byte rewrite and fdatasync, timed;
//   2. --settle listing (the default): N ticketed files (default 10000), each
//      under its own record locator, dropped into the download folder at once
//      (the gateway stopped with SIGSTOP while they are moved in, so that one
//      listing sees them all): the time from the drop to the folder empty,
//      files per second, the wall time and the gateway's CPU time per file
//      beyond the one settle time, and its resident memory idle, during the
//      drain (sampled every 100 ms) and after;
//   3. --settle file: a sample of P files (default 60), as about one a second;
//   4. with strace installed: S files (default 1000) drained by `kesto run
//      --once` under strace, counting the gateway's own durable writes
//      (fsync, fdatasync, sync_file_range, syncfs) per file; PostgreSQL's are
//      made by the server and are not among them.
#include "disksync.h"
#include "gatewayrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <unistd.h>

namespace {

void print(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

qint64 statusKb(qint64 pid, const char* field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

double cpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           double(sysconf(_SC_CLK_TCK));
}

// Regular entries in a folder, counted without building a list of names.
int countFiles(const QString& folder) {
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_type == DT_REG)
            ++count;
    }
    ::closedir(dir);
    return count;
}

// N ticketed files in a folder beside the download folder (the same file system).
QString stageFiles(const GatewayHome& gateway, int files, const QString& prefix) {
    const QString stage = gateway.home().root() + QStringLiteral("/stage/");
    QDir().mkpath(stage);
    for (int i = 0; i < files; ++i) {
        const QByteArray locator = QByteArray::number(i).rightJustified(6, 'Q').right(6);
        writeFileBytes(stage + prefix + QString::number(i).rightJustified(5, QLatin1Char('0')) +
                           QStringLiteral(".MIR"),
                       ticketedBooking(locator));
    }
    return stage;
}

bool setSettle(const GatewayHome& gateway, const char* mode) {
    QProcess setup;
    setup.setProcessEnvironment(gateway.environment());
    setup.setStandardOutputFile(QProcess::nullDevice());
    setup.start(QStringLiteral(KESTO_BIN_DIR "/kesto"),
                {QStringLiteral("setup"), QStringLiteral("--settle"), QLatin1String(mode)});
    return setup.waitForFinished(30000) && setup.exitCode() == 0;
}

struct Drain {
    int files = 0;
    int left = 0;
    double seconds = 0;
    double cpuSeconds = 0;
    qint64 idleKb = 0, peakKb = 0, afterKb = 0;
};

// `kesto run` idle for 3 s, then the staged files moved in while it is
// stopped, and the time until the download folder is empty.
Drain drain(const GatewayHome& gateway, const QString& stage, int timeoutS) {
    Drain result;
    QProcess run;
    run.setProcessEnvironment(
        gateway.environment({{QStringLiteral("KESTO_PAUSE_SCALE"), QStringLiteral("1")}}));
    run.setStandardOutputFile(QProcess::nullDevice());
    run.setStandardErrorFile(gateway.home().root() + QStringLiteral("/run.err"));
    run.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), {QStringLiteral("run")});
    if (!run.waitForStarted())
        return result;
    const qint64 pid = run.processId();
    QThread::sleep(3);
    result.idleKb = statusKb(pid, "VmRSS:");
    const QString down = gateway.downloadFolder();
    ::kill(pid_t(pid), SIGSTOP);
    for (const QString& name : QDir(stage).entryList(QDir::Files)) {
        QFile::rename(stage + name, down + name);
        ++result.files;
    }
    const double cpu0 = cpuSeconds(pid);
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(pid), SIGCONT);
    result.peakKb = result.idleKb;
    while ((result.left = countFiles(down)) > 0 && clock.elapsed() < timeoutS * 1000LL) {
        result.peakKb = std::max(result.peakKb, statusKb(pid, "VmRSS:"));
        QThread::msleep(100);
    }
    result.seconds = double(clock.nsecsElapsed()) / 1e9;
    result.cpuSeconds = cpuSeconds(pid) - cpu0;
    QThread::sleep(1);
    result.afterKb = statusKb(pid, "VmRSS:");
    run.terminate();
    run.waitForFinished(30000);
    return result;
}

void report(const char* settle, const Drain& d) {
    // One settle time for the whole listing, or the pause before each file.
    const bool perFile = qstrcmp(settle, "file") == 0;
    const double waitS = perFile ? d.files : 1.0;
    print(QStringLiteral("--settle %1: %2 files drained in %3 s from the drop (%4 left): %5 "
                         "files/s; beyond the settle %6 (%7 s) %8 ms per file wall, %9 ms CPU "
                         "of kesto run per file")
              .arg(QLatin1String(settle))
              .arg(d.files)
              .arg(d.seconds, 0, 'f', 2)
              .arg(d.left)
              .arg(d.files / d.seconds, 0, 'f', 1)
              .arg(perFile ? QStringLiteral("pauses") : QStringLiteral("time"))
              .arg(waitS, 0, 'f', 0)
              .arg((d.seconds - waitS) * 1000 / d.files, 0, 'f', 2)
              .arg(d.cpuSeconds * 1000 / d.files, 0, 'f', 2));
    print(QStringLiteral("  resident memory: %1 MB idle, %2 MB peak while draining (%3 MB "
                         "above idle), %4 MB after")
              .arg(d.idleKb / 1024.0, 0, 'f', 1)
              .arg(d.peakKb / 1024.0, 0, 'f', 1)
              .arg((d.peakKb - d.idleKb) / 1024.0, 0, 'f', 1)
              .arg(d.afterKb / 1024.0, 0, 'f', 1));
}

// The gateway's own durable writes per file, counted by strace over `kesto run --once`.
void countSyscalls(TestEngine engine, int files) {
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty()) {
        print(QStringLiteral("durable writes per file: strace is not installed"));
        return;
    }
    GatewayHome gateway(engine);
    const QString stage = stageFiles(gateway, files, QStringLiteral("S"));
    for (const QString& name : QDir(stage).entryList(QDir::Files))
        QFile::rename(stage + name, gateway.downloadFolder() + name);
    const QString counts = gateway.home().root() + QStringLiteral("/strace.txt");
    QProcess run;
    run.setProcessEnvironment(gateway.environment());
    run.setStandardOutputFile(QProcess::nullDevice());
    run.start(strace,
              {QStringLiteral("-f"), QStringLiteral("-c"), QStringLiteral("-o"), counts,
               QStringLiteral("-e"), QStringLiteral("trace=fsync,fdatasync,sync_file_range,syncfs"),
               QStringLiteral(KESTO_BIN_DIR "/kesto"), QStringLiteral("run"),
               QStringLiteral("--once")});
    run.waitForFinished(600000);
    QFile file(counts);
    file.open(QIODevice::ReadOnly);
    QStringList parts;
    int total = 0;
    static const QRegularExpression row(
        QStringLiteral("^\\s*[\\d.]+\\s+[\\d.]+\\s+\\d+\\s+(\\d+)\\s+(?:\\d+\\s+)?(\\w+)$"));
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = row.match(line);
        if (!match.hasMatch() || match.captured(2) == QLatin1String("total"))
            continue;
        total += match.captured(1).toInt();
        parts.append(QStringLiteral("%1 %2").arg(match.captured(1), match.captured(2)));
    }
    print(QStringLiteral("durable writes of kesto run itself: %1 per file (%2 over %3 files, "
                         "%4 filed)")
              .arg(double(total) / files, 0, 'f', 2)
              .arg(parts.join(QStringLiteral(", ")))
              .arg(files)
              .arg(gateway.backedUpFiles().size()));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TestEngine engine = TestEngine::Sqlite;
    int files = 10000;
    int paced = 60;
    int syscallFiles = 1000;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--engine") && args[i + 1] == QLatin1String("postgresql"))
            engine = TestEngine::PostgreSql;
        else if (args[i] == QLatin1String("--files"))
            files = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--paced"))
            paced = std::max(0, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--syscalls"))
            syscallFiles = std::max(0, args[i + 1].toInt());
    }
    const QString engineName = QLatin1String(engineRowName(engine));

    {
        GatewayHome gateway(engine);
        if (!gateway.skipReason().isEmpty() || !gateway.failure().isEmpty()) {
            print(QStringLiteral("cannot run: ") + gateway.skipReason() + gateway.failure());
            return 1;
        }
        const double sync = secondsPerDurableWrite(gateway.home().root(), 500);
        print(QStringLiteral("%1; the disk's durable write (512-byte pwrite + fdatasync): %2 ms")
                  .arg(engineName)
                  .arg(sync * 1000, 0, 'f', 3));
        const QString stage = stageFiles(gateway, files, QStringLiteral("D"));
        report("listing", drain(gateway, stage, 1800));
    }
    if (paced > 0) {
        GatewayHome gateway(engine);
        setSettle(gateway, "file");
        const QString stage = stageFiles(gateway, paced, QStringLiteral("P"));
        report("file", drain(gateway, stage, paced * 3 + 60));
    }
    if (syscallFiles > 0)
        countSyscalls(engine, syscallFiles);
    return 0;
}
