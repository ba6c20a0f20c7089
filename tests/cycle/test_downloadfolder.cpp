// What lands in the download folder, as a real `kesto run` meets it: writers
// that take their time, links, FIFOs and names that are any bytes. On SQLite:
// none of it depends on the engine.
#include "gatewayrun.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

void append(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, bytes.constData(), bytes.size()), bytes.size());
    ::close(fd);
}

// The names in a folder as the bytes the file system holds (a temporary copy
// left behind included), sorted.
QList<QByteArray> namesIn(const QByteArray& folder) {
    QList<QByteArray> names;
    if (DIR* dir = ::opendir(folder.constData())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.append(entry->d_name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

QByteArray bytesAt(const QByteArray& path) {
    QFile file;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return "(cannot be read)";
    return file.readAll();
}

// The dated folder a gateway started on the day files into.
QByteArray dayFolder(const GatewayHome& gateway, const QDate& day = QDate::currentDate()) {
    return QFile::encodeName(gateway.backupFolder() + day.toString(u"yyyyMM/dd/"_s));
}

QStringList column(const GatewayHome& gateway, const QString& sql) {
    QStringList values;
    for (const QVariantList& row : gateway.db().selectRows(sql))
        values.append(row[0].toString());
    values.sort();
    return values;
}

} // namespace

class TestDownloadFolder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void slowWritersLoseNothing();
    void foreignEntriesOddNamesAndClashes();
    void onceLeavesAWriterThatNeverStops();
    void burstDrainsInOneSettle();
};

// Pauses and settle time at half (500 ms). A text written in parts sooner
// than that, and seven bookings written one after another, each in two
// halves with a pause of four settle times, so that each is read incomplete
// about twice: everything is read whole, stored once and backed up whole.
void TestDownloadFolder::slowWritersLoseNothing() {
    GatewayHome gateway(TestEngine::Sqlite);
    const QByteArray down = QFile::encodeName(gateway.downloadFolder());
    QProcess run;
    run.setProcessEnvironment(gateway.environment({{u"KESTO_PAUSE_SCALE"_s, u"0.5"_s}}));
    run.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), {QStringLiteral("run")});
    QVERIFY(run.waitForStarted());

    QMap<QByteArray, QByteArray> written;
    for (int part = 0; part < 8; ++part) {
        const QByteArray line = "a note, line " + QByteArray::number(part) + '\n';
        append(down + "NOTE.TXT", line);
        written["NOTE.TXT"] += line;
        QTest::qWait(30);
    }
    for (int n = 0; n < 7; ++n) {
        const QByteArray name = "SLOW" + QByteArray::number(n) + ".MIR";
        const QByteArray bytes = ticketedBooking("SLOW0" + QByteArray::number(n));
        append(down + name, bytes.left(bytes.size() / 2));
        QTest::qWait(2000);
        append(down + name, bytes.mid(bytes.size() / 2));
        written[name] = bytes;
    }

    QTRY_COMPARE_WITH_TIMEOUT(namesIn(down), QList<QByteArray>(), 30000);
    run.terminate();
    QVERIFY(run.waitForFinished(10000));
    const QByteArray day = dayFolder(gateway);
    QCOMPARE(namesIn(day), written.keys());
    for (auto it = written.cbegin(); it != written.cend(); ++it)
        QCOMPARE(bytesAt(day + it.key()), it.value());
    QCOMPARE(column(gateway, QStringLiteral("SELECT RECLOC FROM AMAMD")),
             QStringList({u"SLOW00"_s, u"SLOW01"_s, u"SLOW02"_s, u"SLOW03"_s, u"SLOW04"_s,
                          u"SLOW05"_s, u"SLOW06"_s}));
    QCOMPARE(column(gateway, QStringLiteral("SELECT MESSAGE FROM AMERROR")), QStringList());
}

// A link to a read-only file elsewhere and a FIFO are left as they are, with
// one error row each, however often the gateway starts. Bookings named with a newline, a tab and
// bytes that are not UTF-8 are stored once, shown escaped, and filed under
// their own bytes, even when the gateway is killed right after a copy; a
// 0600 booking's copy stays 0600. Names met in the backup already: today's
// different file keeps its copy and the new one goes beside it, today's same
// bytes are not copied again, yesterday's copy is another day's.
void TestDownloadFolder::foreignEntriesOddNamesAndClashes() {
    GatewayHome gateway(TestEngine::Sqlite);
    const QByteArray down = QFile::encodeName(gateway.downloadFolder());
    const QByteArray secret =
        QFile::encodeName(gateway.home().folder(QStringLiteral("etc"))) + "secret";
    writeFileBytes(QFile::decodeName(secret), "not for the backup");
    QCOMPARE(::chmod(secret.constData(), 0400), 0);
    QCOMPARE(::symlink(secret.constData(), QByteArray(down + "LINK.MIR").constData()), 0);
    QCOMPARE(::mkfifo(QByteArray(down + "PIPE.MIR").constData(), 0600), 0);
    const QMap<QByteArray, QByteArray> files = {
        {"NL\nA.MIR", ticketedBooking("ODDNL1")},
        {"TAB\tB.MIR", ticketedBooking("ODDTB1")},
        {"\xff\xfe"
         "C.MIR",
         ticketedBooking("ODDFF1")},
        {"MODE.MIR", ticketedBooking("MODE01")},
    };
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        append(down + it.key(), it.value());
    // QTemporaryDir cannot remove a name that is not UTF-8.
    const auto removeOddNames = qScopeGuard([&] {
        for (const QByteArray& folder : {down, dayFolder(gateway)}) {
            for (const QByteArray& name : namesIn(folder))
                ::unlink(QByteArray(folder + name).constData());
        }
    });
    QCOMPARE(::chmod(QByteArray(down + "MODE.MIR").constData(), 0600), 0);
    const QByteArray day = dayFolder(gateway);
    const QByteArray yesterday = dayFolder(gateway, QDate::currentDate().addDays(-1));
    QVERIFY(QDir().mkpath(QFile::decodeName(day)) && QDir().mkpath(QFile::decodeName(yesterday)));
    append(day + "MODE.MIR", "an earlier file of that name");
    append(day + "TAB\tB.MIR", files["TAB\tB.MIR"]);
    append(yesterday + "NL\nA.MIR", "yesterday's file of that name");

    QVERIFY(runOnce(gateway.environment({{u"KESTO_CRASH_AT"_s, u"after-copy"_s}})).killed);
    const RunEnd end = runOnce(gateway.environment());
    QCOMPARE(end.exitCode, 0);

    QCOMPARE(namesIn(down), QList<QByteArray>({"LINK.MIR", "PIPE.MIR"}));
    struct stat info {};
    QCOMPARE(::lstat(QByteArray(down + "PIPE.MIR").constData(), &info), 0);
    QVERIFY(S_ISFIFO(info.st_mode));
    QCOMPARE(::stat(secret.constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0400));

    QCOMPARE(namesIn(day), QList<QByteArray>({"MODE.1.MIR", "MODE.MIR", "NL\nA.MIR", "TAB\tB.MIR",
                                              "\xff\xfe"
                                              "C.MIR"}));
    QCOMPARE(bytesAt(day + "MODE.MIR"), QByteArray("an earlier file of that name"));
    QCOMPARE(bytesAt(day + "MODE.1.MIR"), files["MODE.MIR"]);
    for (const QByteArray& name : files.keys()) {
        if (name != "MODE.MIR")
            QCOMPARE(bytesAt(day + name), files[name]);
    }
    QCOMPARE(bytesAt(yesterday + "NL\nA.MIR"), QByteArray("yesterday's file of that name"));
    QCOMPARE(::stat(QByteArray(day + "MODE.1.MIR").constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0600));

    const QStringList shown = {u"MODE.MIR"_s, u"NL\\nA.MIR"_s, u"TAB\\tB.MIR"_s,
                               u"\\xFF\\xFEC.MIR"_s};
    QCOMPARE(column(gateway, QStringLiteral("SELECT FILE_NM FROM AMAMD")), shown);
    QCOMPARE(column(gateway, QStringLiteral("SELECT FILE_NM FROM AMFILE")), shown);
    const QString link =
        u"LINK.MIR-->75:Not a regular file but a symbolic link: left where it is[NotAFile]"_s;
    const QString fifo =
        u"PIPE.MIR-->75:Not a regular file but a FIFO: left where it is[NotAFile]"_s;
    QCOMPARE(column(gateway, QStringLiteral("SELECT MESSAGE FROM AMERROR")),
             QStringList({link, fifo}));
    // Each log line is one line, the name in its escaped form.
    QStringList lines = end.out.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY(lines.removeAll(u"MODE.MIR filed as MODE.1.MIR"_s) <= 1);
    // The kill came while the batch of every file was being filed: each is
    // known to the ledger, and says so.
    QCOMPARE(lines.removeIf([](const QString& line) {
        return line.contains(u" was already recorded as "_s) && line.endsWith(u"/001; filed"_s);
    }),
             shown.size());
    for (const QString& line : lines) {
        QVERIFY2(
            line.startsWith(u"kesto run: "_s) ||
                std::any_of(shown.cbegin(), shown.cend(),
                            [&line](const QString& name) { return line.startsWith(name + u':'); }),
            qPrintable(line));
    }
}

// A file that changes at every look is never read. `kesto run --once` waits
// for it (at a twentieth of the pauses, 3 of its 60 seconds), then ends with 1
// and says what the file waits for; nothing is stored or filed.
void TestDownloadFolder::onceLeavesAWriterThatNeverStops() {
    GatewayHome gateway(TestEngine::Sqlite);
    const QByteArray path = QFile::encodeName(gateway.downloadFolder()) + "ENDLESS.MIR";
    QProcess run;
    run.setProcessEnvironment(gateway.environment({{u"KESTO_PAUSE_SCALE"_s, u"0.05"_s}}));
    run.start(QStringLiteral(KESTO_BIN_DIR "/kesto"),
              {QStringLiteral("run"), QStringLiteral("--once")});
    QVERIFY(run.waitForStarted());
    QElapsedTimer writing;
    writing.start();
    while (run.state() != QProcess::NotRunning && writing.elapsed() < 30000) {
        append(path, "a line that never ends a file\n");
        QTest::qWait(10);
    }
    QCOMPARE(run.state(), QProcess::NotRunning);
    QCOMPARE(run.exitCode(), 1);
    QVERIFY2(run.readAllStandardOutput().contains("1 left waiting (1 for its writer)"),
             qPrintable(run.readAllStandardError()));
    QVERIFY(QFile::exists(QFile::decodeName(path)));
    QVERIFY(namesIn(dayFolder(gateway)).isEmpty());
    QCOMPARE(column(gateway, QStringLiteral("SELECT FILE_NM FROM AMFILE")), QStringList());
}

// With real one-second pauses: twelve bookings dropped at once drain in one
// settle time plus their processing, not a second each, while a booking
// written in parts during the drain is read only once it has settled, whole.
// `kesto setup --settle file` brings back the pause before each file.
void TestDownloadFolder::burstDrainsInOneSettle() {
    GatewayHome gateway(TestEngine::Sqlite);
    const QByteArray down = QFile::encodeName(gateway.downloadFolder());
    for (int n = 10; n < 22; ++n)
        append(down + "BURST" + QByteArray::number(n) + ".MIR",
               ticketedBooking("BRST" + QByteArray::number(n)));
    const QByteArray slow = ticketedBooking("SLOW99");
    QProcess run;
    run.setProcessEnvironment(gateway.environment({{u"KESTO_PAUSE_SCALE"_s, u"1"_s}}));
    QElapsedTimer clock;
    clock.start();
    run.start(QStringLiteral(KESTO_BIN_DIR "/kesto"),
              {QStringLiteral("run"), QStringLiteral("--once")});
    QVERIFY(run.waitForStarted());
    const qsizetype part = slow.size() / 8 + 1;
    for (qsizetype from = 0; from < slow.size(); from += part) {
        append(down + "WRITING.MIR", slow.mid(from, part));
        QTest::qWait(150);
    }
    QVERIFY(run.waitForFinished(60000));
    const qint64 drained = clock.elapsed();
    QCOMPARE(run.exitCode(), 0);
    QVERIFY2(drained < 8000, qPrintable(QString::number(drained)));
    QCOMPARE(namesIn(down), QList<QByteArray>());
    QCOMPARE(bytesAt(dayFolder(gateway) + "WRITING.MIR"), slow);
    QCOMPARE(column(gateway, QStringLiteral("SELECT RECLOC FROM AMAMD")).size(), 13);
    QCOMPARE(column(gateway, QStringLiteral("SELECT RECLOC FROM AMAMD WHERE RECLOC = 'SLOW99'")),
             QStringList(u"SLOW99"_s));
    QCOMPARE(column(gateway, QStringLiteral("SELECT MESSAGE FROM AMERROR")), QStringList());

    QProcess setup;
    setup.setProcessEnvironment(gateway.environment());
    setup.start(QStringLiteral(KESTO_BIN_DIR "/kesto"),
                {QStringLiteral("setup"), QStringLiteral("--settle"), QStringLiteral("file")});
    QVERIFY(setup.waitForFinished(30000));
    QCOMPARE(setup.readAllStandardOutput(), QByteArray("MirSettle=file\n"));
    for (int n = 30; n < 34; ++n)
        append(down + "PACED" + QByteArray::number(n) + ".MIR",
               ticketedBooking("PACE" + QByteArray::number(n)));
    clock.restart();
    QCOMPARE(runOnce(gateway.environment({{u"KESTO_PAUSE_SCALE"_s, u"1"_s}})).exitCode, 0);
    QVERIFY2(clock.elapsed() >= 4000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(namesIn(down), QList<QByteArray>());
}

QTEST_GUILESS_MAIN(TestDownloadFolder)
#include "test_downloadfolder.moc"
