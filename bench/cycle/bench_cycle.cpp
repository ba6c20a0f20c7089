// bench_cycle [FILES]: figures of the processing cycle on SQLite with durable
// commits (the file's default journal and synchronous settings).
//   1. a backlog of FILES (default 1000) ticketed files drained with the
//      pauses at zero: the gateway's own cost per file (open, read,
//      interpret, record, archive), in five rounds each with the document
//      ledger and on a database without its tables;
//   2. the time from a file's arrival to its booking filed away, with the
//      change watch waiting and the pauses at zero;
//   3. `kesto run`: resident memory idle and while draining, CPU while idle;
//   4. a 2 GiB sparse file filed into the backup: the time and the disk its
//      copy takes.
#include "connectionstring.h"
#include "mdbfile.h"
#include "opendb.h"
#include "processingcycle.h"
#include "runchecks.h"
#include "threadconnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray sample() {
    QFile file(QStringLiteral(KESTO_SOURCE_DIR "/tests/data/ticketed-lf.mir"));
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// A ticketed file with its own record locator (header columns 99-104).
QByteArray bookingFile(const QByteArray& base, int number) {
    QByteArray bytes = base;
    bytes.replace("TPEK4T", QByteArray::number(number + 100000).right(6).rightJustified(6, 'Q'));
    return bytes;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

void copyRegistry(const QString& configHome) {
    const QString from = QStringLiteral(KESTO_BUILD_CONFIG_HOME "/KESTO");
    QDir().mkpath(configHome + QStringLiteral("/KESTO"));
    for (const QString& name : QDir(from).entryList(QDir::Files))
        QFile::copy(from + QLatin1Char('/') + name, configHome + QStringLiteral("/KESTO/") + name);
}

struct World {
    QTemporaryDir root;
    GatewaySettings settings;
};

// A database made before the document ledger: its tables dropped.
void dropDocumentTables() {
    QSqlQuery query(threadConnection(ConnectionString()));
    for (const char* table : {"KDOCFILE", "KDOCEVT", "KDOCTAX", "KDOCFOP"})
        query.exec(QStringLiteral("DROP TABLE ") + QLatin1String(table));
}

void setUp(World& world) {
    const QString root = world.root.path();
    for (const char* sub : {"program", "config", "home", "runtime", "data", "down", "backup"})
        QDir(root).mkpath(QLatin1String(sub));
    qputenv("KESTO_HOME", (root + QStringLiteral("/program")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toUtf8());
    qputenv("HOME", (root + QStringLiteral("/home")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", (root + QStringLiteral("/runtime")).toUtf8());
    copyRegistry(root + QStringLiteral("/config"));
    GatewaySettings& s = world.settings;
    s.MirDataSource = root + QStringLiteral("/data/");
    s.MirDownPath = root + QStringLiteral("/down/");
    s.MirBackupPath = root + QStringLiteral("/backup/");
    s.StartYearMonth = QStringLiteral("202703");
    s.StartDay = QStringLiteral("01");
    s.XML_FG = QStringLiteral("0");
    s.T_MODE = QStringLiteral("1");
    createMdbFile(s.MirDataSource + QStringLiteral("PALVA.mdb"));
    createBackupDateFolders(s);
    Open_DB(s);
}

qint64 residentKb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

double cpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    stat.open(QIODevice::ReadOnly);
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the whole line, 12 and 13 after the name.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / sysconf(_SC_CLK_TCK);
}

// The time one cycle with the pauses at zero takes to drain the download folder.
double drainOnceMs(const GatewaySettings& settings) {
    ProcessingCycle::Options options;
    options.settings = settings;
    options.once = true;
    options.pauseScale = 0;
    ProcessingCycle cycle(options);
    QElapsedTimer timer;
    timer.start();
    cycle.run();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// The cost per file in ms.
double backlog(int files, bool documents) {
    World world;
    setUp(world);
    if (!documents)
        dropDocumentTables();
    const QByteArray base = sample();
    for (int i = 0; i < files; ++i)
        writeFile(world.settings.MirDownPath +
                      QStringLiteral("B%1.MIR").arg(i, 5, 10, QLatin1Char('0')),
                  bookingFile(base, i));
    const double ms = drainOnceMs(world.settings);
    const int filed = QDir(world.settings.MirBackupPath + QStringLiteral("202703/01"))
                          .entryList(QDir::Files)
                          .size();
    std::printf("backlog%s: %d files drained in %.0f ms, %.2f ms per file beyond the 1-second "
                "pause (%d filed)\n",
                documents ? "" : " without the document tables", files, ms, ms / files, filed);
    closeThreadConnections();
    return ms / files;
}

void arrival(int files) {
    World world;
    setUp(world);
    ProcessingCycle::Options options;
    options.settings = world.settings;
    options.pauseScale = 0;
    options.rescanMs = 3000;
    QThread thread;
    ProcessingCycle cycle(options);
    cycle.moveToThread(&thread);
    QObject::connect(&thread, &QThread::started, &cycle, &ProcessingCycle::run);
    QObject::connect(&cycle, &ProcessingCycle::finished, &thread, &QThread::quit,
                     Qt::DirectConnection);
    thread.start();
    QThread::msleep(200);
    const QByteArray base = sample();
    const QString filed = world.settings.MirBackupPath + QStringLiteral("202703/01/");
    double total = 0;
    double worst = 0;
    for (int i = 0; i < files; ++i) {
        const QString name = QStringLiteral("A%1.MIR").arg(i);
        QElapsedTimer timer;
        timer.start();
        writeFile(world.settings.MirDownPath + name, bookingFile(base, i));
        while (!QFile::exists(filed + name))
            QThread::usleep(200);
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        total += ms;
        worst = std::max(worst, ms);
        QThread::msleep(50);
    }
    cycle.requestStop();
    thread.wait();
    std::printf(
        "arrival to filed away (rows stored before): mean %.1f ms, worst %.1f ms over %d files, "
        "plus the documented 1-second pause\n",
        total / files, worst, files);
}

void headless(int files) {
    World world;
    setUp(world);
    closeThreadConnections();
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KESTO_PAUSE_SCALE"), QStringLiteral("0"));
    run.setProcessEnvironment(env);
    run.setStandardOutputFile(QProcess::nullDevice());
    // The settings of this world, as `kesto setup` would save them.
    QProcess::execute(
        QStringLiteral(KESTO_EXECUTABLE),
        {QStringLiteral("setup"), QStringLiteral("--data"), world.settings.MirDataSource,
         QStringLiteral("--download"), world.settings.MirDownPath, QStringLiteral("--backup"),
         world.settings.MirBackupPath, QStringLiteral("--amtemp"), QStringLiteral("1")});
    run.start(QStringLiteral(KESTO_EXECUTABLE), {QStringLiteral("run")});
    run.waitForStarted();
    const qint64 pid = run.processId();
    QThread::sleep(2);
    const qint64 idleKb = residentKb(pid);
    const double cpu0 = cpuSeconds(pid);
    QThread::sleep(10);
    const double idleCpu = cpuSeconds(pid) - cpu0;

    const QByteArray base = sample();
    for (int i = 0; i < files; ++i)
        writeFile(world.settings.MirDownPath +
                      QStringLiteral("H%1.MIR").arg(i, 5, 10, QLatin1Char('0')),
                  bookingFile(base, i));
    qint64 peakKb = 0;
    QElapsedTimer timer;
    timer.start();
    while (!QDir(world.settings.MirDownPath).entryList(QDir::Files).isEmpty() &&
           timer.elapsed() < 600000) {
        peakKb = std::max(peakKb, residentKb(pid));
        QThread::msleep(20);
    }
    const qint64 afterKb = residentKb(pid);
    run.terminate();
    run.waitForFinished();
    std::printf(
        "kesto run: resident %lld kB idle, peak %lld kB while draining %d files, %lld kB after; "
        "CPU while idle %.3f s in 10 s (%.2f %%)\n",
        static_cast<long long>(idleKb), static_cast<long long>(peakKb), files,
        static_cast<long long>(afterKb), idleCpu, idleCpu * 10.0);
}

void sparseFile() {
    World world;
    setUp(world);
    constexpr off_t kSize = off_t(2) << 30;
    const QByteArray path =
        QFile::encodeName(world.settings.MirDownPath + QStringLiteral("BIG.MIR"));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    (void)!::pwrite(fd, "T5 head", 7, 0);
    (void)!::pwrite(fd, "tail", 4, kSize - 4);
    ::close(fd);
    const double ms = drainOnceMs(world.settings);
    struct stat copy {};
    ::stat(QFile::encodeName(world.settings.MirBackupPath + QStringLiteral("202703/01/BIG.MIR"))
               .constData(),
           &copy);
    std::printf("a 2 GiB sparse file filed away in %.0f ms; its copy takes %lld kB of disk\n", ms,
                static_cast<long long>(copy.st_blocks) / 2);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 1000;
    // Rounds taken in turn with and without the document tables, so that the
    // machine's other load falls on both alike; the medians are compared.
    QList<double> without, with;
    for (int round = 0; round < 5; ++round) {
        without.append(backlog(files, false));
        with.append(backlog(files, true));
    }
    std::sort(without.begin(), without.end());
    std::sort(with.begin(), with.end());
    std::printf("the document ledger adds %.1f %% per file (medians of 5: %.2f ms and %.2f ms)\n",
                (with[2] / without[2] - 1) * 100, without[2], with[2]);
    arrival(20);
    headless(std::min(files, 300));
    sparseFile();
    return 0;
}
