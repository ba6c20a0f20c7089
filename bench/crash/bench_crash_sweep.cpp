// bench_crash_sweep [--kills N] [--copies N] [--engine sqlite|postgresql]
//
// Kills `kesto run --once` with SIGKILL at random moments over a download
// folder of sample files (7 kinds x COPIES), starts it again and again until
// a run ends by itself, and compares what is stored with a run that was never
// killed. Rounds start afresh until at least N kills (default 200) were made.
// Prints, over all rounds, the files lost, stored twice, stored half and not
// filed, and those without exactly their [Documents] rows (all must be 0),
// and how long a restart took to reach its first file.
// PostgreSQL needs the KESTO_TEST_PG_* variables (run-crash-sweep.sh sets them).
#include "gatewayrun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>

namespace {

void print(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

struct Tally {
    int lost = 0, twice = 0, half = 0, notFiled = 0;
    int documentRows = 0; // files without exactly their [Documents] rows
};

// Compares one round's database and folders with the clean run's.
void tallyRound(const GatewayHome& gateway, const QMap<QString, QByteArray>& files,
                const QMap<QString, QStringList>& clean, Tally& tally) {
    const QMap<QString, QStringList> stored = storedVersions(gateway.db());
    const QStringList filed = gateway.backedUpFiles();
    const QStringList waiting = gateway.waitingFiles();
    for (const QString& name : files.keys()) {
        const QStringList want = clean.value(name);
        const QStringList have = stored.value(name);
        if (!filed.contains(name))
            ++tally.notFiled;
        if (!filed.contains(name) && !waiting.contains(name))
            ++tally.lost;
        if (have.size() > want.size())
            ++tally.twice;
        else if (have.size() < want.size())
            ++tally.lost;
        for (const QString& version : have) {
            if (!want.contains(version))
                ++tally.half;
        }
    }
    tally.documentRows += int(documentRowProblems(gateway, files).size());
}

QString figures(QList<qint64> ms) {
    if (ms.isEmpty())
        return QStringLiteral("none reached a file");
    std::sort(ms.begin(), ms.end());
    qint64 sum = 0;
    for (qint64 m : std::as_const(ms))
        sum += m;
    return QStringLiteral("mean %1 ms, median %2 ms, worst %3 ms over %4 restarts")
        .arg(double(sum) / ms.size(), 0, 'f', 1)
        .arg(ms[ms.size() / 2])
        .arg(ms.last())
        .arg(ms.size());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int wantedKills = 200;
    int copies = 5;
    TestEngine engine = TestEngine::Sqlite;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--kills"))
            wantedKills = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--copies"))
            copies = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--engine") && args[i + 1] == QLatin1String("postgresql"))
            engine = TestEngine::PostgreSql;
    }
    const QMap<QString, QByteArray> files = sweepFiles(copies);

    QMap<QString, QStringList> clean;
    int span = 0;
    {
        GatewayHome gateway(engine);
        if (!gateway.skipReason().isEmpty() || !gateway.failure().isEmpty()) {
            print(QStringLiteral("cannot run: ") + gateway.skipReason() + gateway.failure());
            return 1;
        }
        dropFiles(gateway.downloadFolder(), files);
        QElapsedTimer clock;
        clock.start();
        const RunEnd end = runOnce(gateway.environment());
        span = int(clock.elapsed());
        if (end.killed || end.exitCode != 0 || !gateway.waitingFiles().isEmpty()) {
            print(QStringLiteral("the clean run failed: ") + end.err);
            return 1;
        }
        clean = storedVersions(gateway.db());
    }
    print(QStringLiteral("%1 files (%2 copies of 7 kinds) on %3; a clean run takes %4 ms")
              .arg(files.size())
              .arg(copies)
              .arg(QLatin1String(engineRowName(engine)))
              .arg(span));

    QRandomGenerator random(20261207);
    Tally tally;
    QList<qint64> resumeMs;
    int kills = 0;
    int rounds = 0;
    while (kills < wantedKills) {
        ++rounds;
        GatewayHome gateway(engine);
        dropFiles(gateway.downloadFolder(), files);
        bool killed = true;
        bool restart = false;
        while (killed) {
            const RunEnd end = runOnce(gateway.environment(), 5 + random.bounded(span));
            killed = end.killed;
            if (killed)
                ++kills;
            if (restart && end.firstFileMs >= 0)
                resumeMs.append(end.firstFileMs);
            restart = true;
        }
        tallyRound(gateway, files, clean, tally);
    }
    print(QStringLiteral("%1 kills in %2 rounds: lost %3, twice %4, half %5, not filed %6, "
                         "[Documents] rows not exactly once %7")
              .arg(kills)
              .arg(rounds)
              .arg(tally.lost)
              .arg(tally.twice)
              .arg(tally.half)
              .arg(tally.notFiled)
              .arg(tally.documentRows));
    print(QStringLiteral("restart to its first file: ") + figures(resumeMs));
    return tally.lost + tally.twice + tally.half + tally.notFiled + tally.documentRows == 0 ? 0
                                                                                          : 1;
}
