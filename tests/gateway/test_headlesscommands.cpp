#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <csignal>

// `kesto setup` and `kesto run` as a server's scripts use them: real
// processes in a private home.
namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

QProcessEnvironment childEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KESTO_PAUSE_SCALE"), QStringLiteral("0"));
    return environment;
}

Outcome runKesto(const QStringList& args) {
    QProcess process;
    process.setProcessEnvironment(childEnvironment());
    process.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), args);
    Outcome outcome;
    if (!process.waitForFinished(60000))
        return outcome;
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

QByteArray sample(const QString& name) {
    return readFileBytes(QStringLiteral(KESTO_SOURCE_DIR "/tests/data/") + name);
}

// Folders saved with `kesto setup` and an embedded database made with init-db.
void prepareHome(const TestHome& home) {
    const Outcome setup = runKesto(
        {QStringLiteral("setup"), QStringLiteral("--data"), home.folder(QStringLiteral("data")),
         QStringLiteral("--download"), home.folder(QStringLiteral("down")),
         QStringLiteral("--backup"), home.folder(QStringLiteral("backup")),
         QStringLiteral("--amtemp"), QStringLiteral("2")});
    QCOMPARE(setup.exitCode, 0);
    QCOMPARE(runKesto({QStringLiteral("init-db")}).exitCode, 0);
}

} // namespace

class TestHeadlessCommands : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void setupRefusesABadAmtempAndSavesNothing() {
        TestHome home;
        const Outcome bad =
            runKesto({QStringLiteral("setup"), QStringLiteral("--download"),
                      QStringLiteral("/srv/mir"), QStringLiteral("--amtemp"), QStringLiteral("9")});
        QCOMPARE(bad.exitCode, 1);
        QVERIFY2(bad.err.contains(QStringLiteral("AMTEMP 暫存檔選擇:1-6")), qPrintable(bad.err));

        const Outcome shown = runKesto({QStringLiteral("setup")});
        QCOMPARE(shown.exitCode, 0);
        QVERIFY(!shown.out.contains(QStringLiteral("/srv/mir")));

        const Outcome good =
            runKesto({QStringLiteral("setup"), QStringLiteral("--download"),
                      QStringLiteral("/srv/mir"), QStringLiteral("--amtemp"), QStringLiteral("3")});
        QCOMPARE(good.exitCode, 0);
        const Outcome after = runKesto({QStringLiteral("setup")});
        QVERIFY2(after.out.contains(QStringLiteral("MirDownPath=/srv/mir/\t(settings store")),
                 qPrintable(after.out));
        QVERIFY(after.out.contains(QStringLiteral("MirProcessTKT=3\t(settings store")));
    }

    // The desktop gateway starts with the session once asked to, and stops
    // doing so.
    void setupTurnsAutostartOnAndOff() {
        TestHome home;
        const QString entry = home.configHome() + QStringLiteral("/autostart/kesto.desktop");
        const Outcome on = runKesto(
            {QStringLiteral("setup"), QStringLiteral("--autostart"), QStringLiteral("on")});
        QCOMPARE(on.exitCode, 0);
        const QString text = QString::fromUtf8(readFileBytes(entry));
        QVERIFY2(text.startsWith(QStringLiteral("[Desktop Entry]\nType=Application\n")),
                 qPrintable(text));
        QVERIFY(
            text.contains(QStringLiteral("\nExec=\"") +
                          QFileInfo(QStringLiteral(KESTO_BIN_DIR "/kesto")).canonicalFilePath() +
                          QStringLiteral("\"\n")));
        // Nothing else was saved: the folders still come from their defaults.
        const Outcome shown = runKesto({QStringLiteral("setup")});
        QVERIFY(shown.out.contains(QStringLiteral("MirDownPath=") + home.home() +
                                   QStringLiteral("/Mirs/\t(default)")));
        QVERIFY(shown.out.contains(QStringLiteral("Autostart=on\t")));

        QCOMPARE(runKesto({QStringLiteral("setup"), QStringLiteral("--autostart"),
                           QStringLiteral("off")})
                     .exitCode,
                 0);
        QVERIFY(!QFileInfo::exists(entry));
        QCOMPARE(runKesto({QStringLiteral("setup"), QStringLiteral("--autostart"),
                           QStringLiteral("maybe")})
                     .exitCode,
                 2);
    }

    void runOnceDrainsTheFolder() {
        TestHome home(TestHome::Korva::Registered);
        prepareHome(home);
        writeFileBytes(home.folder(QStringLiteral("down")) + QStringLiteral("K4T0001.MIR"),
                       sample(QStringLiteral("ticketed-lf.mir")));
        writeFileBytes(home.folder(QStringLiteral("down")) + QStringLiteral("MIRFILE.TXT"), "x");
        writeFileBytes(home.folder(QStringLiteral("down")) + QStringLiteral("NOTES.TXT"), "notes");

        const Outcome setup = runKesto({QStringLiteral("setup")});
        QVERIFY2(setup.out.contains(QStringLiteral("AMFILE=present\t(the database)")),
                 qPrintable(setup.out));

        const Outcome run = runKesto({QStringLiteral("run"), QStringLiteral("--once")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains(QStringLiteral("K4T0001.MIR:")), qPrintable(run.out));
        QVERIFY2(run.out.endsWith(QStringLiteral("kesto run: 1 stored, 0 refused, 1 filed "
                                                 "uninterpreted, 0 left waiting, 0 error rows\n")),
                 qPrintable(run.out));
        QCOMPARE(run.err, QString());
        // Every connection closed as the run ended: SQLite folded its log
        // into the file and removed it.
        QCOMPARE(QDir(home.folder(QStringLiteral("data"))).entryList(QDir::Files),
                 QStringList(QStringLiteral("PALVA.mdb")));
        QCOMPARE(QDir(home.folder(QStringLiteral("down"))).entryList(QDir::Files),
                 QStringList(QStringLiteral("MIRFILE.TXT")));
        const QDir dated(home.folder(QStringLiteral("backup")) +
                         QDate::currentDate().toString(QStringLiteral("yyyyMM/dd")));
        QCOMPARE(dated.entryList(QDir::Files),
                 QStringList({QStringLiteral("K4T0001.MIR"), QStringLiteral("NOTES.TXT")}));
    }

    // A first run on a fresh home: each failed check names its fix, and a
    // file left waiting makes --once fail.
    void runTellsWhatToDo() {
        TestHome home; // KORVA not registered
        const Outcome noDatabase = runKesto({QStringLiteral("run"), QStringLiteral("--once")});
        QCOMPARE(noDatabase.exitCode, 1);
        QVERIFY2(noDatabase.err.contains(QStringLiteral("PALVA.MDB 找不到\nkesto run: create the "
                                                        "database with kesto init-db")),
                 qPrintable(noDatabase.err));

        QCOMPARE(runKesto({QStringLiteral("init-db")}).exitCode, 0);
        const Outcome noDownload = runKesto({QStringLiteral("run"), QStringLiteral("--once")});
        QCOMPARE(noDownload.exitCode, 1);
        QVERIFY2(
            noDownload.err.contains(QStringLiteral(" 路徑找不到\nkesto run: create the folder")),
            qPrintable(noDownload.err));
        QVERIFY(noDownload.err.contains(QStringLiteral("kesto setup --download DIR")));

        const QString down = home.home() + QStringLiteral("/Mirs/");
        writeFileBytes(down + QStringLiteral("K4T0001.MIR"),
                       sample(QStringLiteral("ticketed-lf.mir")));
        const Outcome noModel = runKesto({QStringLiteral("run"), QStringLiteral("--once")});
        QCOMPARE(noModel.exitCode, 1);
        QVERIFY2(noModel.err.startsWith(QStringLiteral("kesto run: the object model cannot be "
                                                       "activated")),
                 qPrintable(noModel.err));
        QVERIFY(noModel.err.contains(QStringLiteral("kesto-regsvr")));
        QVERIFY2(noModel.out.endsWith(QStringLiteral(
                     "kesto run: 0 stored, 0 refused, 0 filed uninterpreted, 1 left waiting (1 for "
                     "the object model), 1 error rows\n")),
                 qPrintable(noModel.out));
        QCOMPARE(QDir(down).entryList(QDir::Files), QStringList(QStringLiteral("K4T0001.MIR")));
    }

    // The health summary in each of its three states, for people and machines.
    void statusTellsHealthyDegradedDown() {
        TestHome home(TestHome::Korva::Registered);
        const Outcome down = runKesto({QStringLiteral("status")});
        QCOMPARE(down.exitCode, 2);
        QVERIFY2(
            down.out.startsWith(QStringLiteral("state: down\nmode: MDB\ndatabase: not reached")),
            qPrintable(down.out));

        prepareHome(home);
        const Outcome healthy = runKesto({QStringLiteral("status")});
        QCOMPARE(healthy.exitCode, 0);
        QVERIFY2(healthy.out.contains(QStringLiteral("state: healthy\n")), qPrintable(healthy.out));
        QVERIFY(healthy.out.contains(QStringLiteral("waiting files: 0 (oldest 0 s)\n")));

        // A file that has waited ten minutes.
        const QString waiting = home.folder(QStringLiteral("down")) + QStringLiteral("K4T0001.MIR");
        writeFileBytes(waiting, sample(QStringLiteral("ticketed-lf.mir")));
        QFile file(waiting);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-600),
                                 QFileDevice::FileModificationTime));
        file.close();
        const Outcome degraded = runKesto({QStringLiteral("status"), QStringLiteral("--json")});
        QCOMPARE(degraded.exitCode, 1);
        const QJsonObject report = QJsonDocument::fromJson(degraded.out.toUtf8()).object();
        QCOMPARE(report.value(QStringLiteral("state")).toString(), QStringLiteral("degraded"));
        QCOMPARE(report.value(QStringLiteral("databaseReached")).toBool(), true);
        QCOMPARE(report.value(QStringLiteral("waitingFiles")).toInt(), 1);
        QVERIFY(report.value(QStringLiteral("oldestWaitingSeconds")).toInt() >= 600);
        QCOMPARE(report.value(QStringLiteral("recordedNotFiled")).toInt(), 0);

        // Stored, then the process dies before the file is deleted.
        qputenv("KESTO_CRASH_AT", "after-copy");
        runKesto({QStringLiteral("run"), QStringLiteral("--once")});
        qunsetenv("KESTO_CRASH_AT");
        const Outcome stored = runKesto({QStringLiteral("status")});
        QVERIFY2(stored.out.contains(QStringLiteral("recorded, not yet filed away: 1\nlast stored: "
                                                    "K4T0001.MIR at ")),
                 qPrintable(stored.out));
    }

    void runStopsCleanlyOnTerminate_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void runStopsCleanlyOnTerminate() {
        QFETCH(int, signalNumber);
        TestHome home(TestHome::Korva::Registered);
        prepareHome(home);
        QProcess process;
        process.setProcessEnvironment(childEnvironment());
        process.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), {QStringLiteral("run")});
        QVERIFY(process.waitForStarted());
        // Still running after a while: it waits for files rather than ending.
        QVERIFY(!process.waitForFinished(1000));
        ::kill(static_cast<pid_t>(process.processId()), signalNumber);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestHeadlessCommands)
#include "test_headlesscommands.moc"
