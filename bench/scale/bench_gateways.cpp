// bench_gateways [--files N] [--locators N]
//
// Several gateways on one database, as an agency with several offices runs
// them: each `kesto run --once` has its own home and download folder with N
// booking files (default 2,500; every fourth of two records), whose record
// locators come from one pool (default 50) shared by all, so that the same
// bookings race. Runs 1, 2 and 4 gateways on PostgreSQL (when the
// KESTO_TEST_PG_* variables name a server) and 1, 2 and 3 on one SQLite
// file, checks that every file is stored exactly once and whole, that no
// key is shared and that every file is filed, and prints the throughput.
#include "gatewayrun.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

void print(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// One run of `count` gateways; returns false when the checks failed.
bool measure(TestEngine engine, int count, int files, int locators) {
    const GatewayFleet fleet(engine, count);
    const GatewayHome& first = fleet.first();
    if (!first.skipReason().isEmpty() || !first.failure().isEmpty()) {
        print(QStringLiteral("%1: skipped (%2)")
                  .arg(QLatin1String(engineRowName(engine)), first.skipReason() + first.failure()));
        return true;
    }
    fleet.dropRacingFiles(files, locators);
    const QList<const GatewayHome*>& gateways = fleet.all();

    QElapsedTimer clock;
    clock.start();
    const QList<int> codes = runAllOnce(gateways, 3600 * 1000);
    const double seconds = double(clock.elapsed()) / 1000;
    QStringList problems = racingProblems(gateways, files);
    if (codes != QList<int>(count, 0))
        problems.prepend(QStringLiteral("exit codes not all 0"));
    const int versions =
        first.db().selectRows(QStringLiteral("SELECT COUNT(*) FROM AMAMD"))[0][0].toInt();
    print(QStringLiteral("| %1 | %2 | %3 files, %4 versions | %5 s | %6 files/s | %7 |")
              .arg(QLatin1String(engineRowName(engine)))
              .arg(count)
              .arg(count * files)
              .arg(versions)
              .arg(seconds, 0, 'f', 1)
              .arg(count * files / seconds, 0, 'f', 0)
              .arg(problems.isEmpty() ? QStringLiteral("all checks hold")
                                      : QStringLiteral("%1 problems, first: %2")
                                            .arg(problems.size())
                                            .arg(problems.first())));
    return problems.isEmpty();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int files = 2500;
    int locators = 50;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--files"))
            files = std::max(4, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--locators"))
            locators = std::max(1, args[i + 1].toInt());
    }
    print(QStringLiteral("%1 files per gateway, %2 record locators shared by all, pauses at zero")
              .arg(files)
              .arg(locators));
    print(QStringLiteral("| Engine | Gateways | Stored | Time | Throughput | Checks |"));
    print(QStringLiteral("|---|---|---|---|---|---|"));
    bool ok = true;
    for (int count : {1, 2, 4})
        ok = measure(TestEngine::PostgreSql, count, files, locators) && ok;
    for (int count : {1, 2, 3})
        ok = measure(TestEngine::Sqlite, count, files, locators) && ok;
    return ok ? 0 : 1;
}
