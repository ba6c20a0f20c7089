// Prints what storing one typical booking costs as the gateway stores it, in
// one transaction: on SQLite in a file with durable commits, on PostgreSQL through
// ODBC (when a server is named in the KESTO_TEST_PG_* variables, see
// scripts/test-pg-server), and the disk's own rate of durable writes in the
// same folder for comparison. Measures and prints; asserts nothing.
//
//   bench_store_booking [--bookings N] [--folder DIR]

#include "benchbooking.h"
#include "connectionstring.h"
#include "connectiontext.h"
#include "disksync.h"
#include "gatewaysettings.h"
#include "mdbfile.h"
#include "storeerror.h"
#include "threadconnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int kWarmUp = 5;
double g_syncSeconds = 0; // the disk's durable write, measured first

void print(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

QString queryText(const QString& connectionText, const QString& sql) {
    QSqlQuery query(threadConnection(connectionText));
    if (!query.exec(sql) || !query.next())
        return u"? ("_s + query.lastError().text() + u")"_s;
    return query.value(0).toString();
}

// Stores `count` bookings under distinct record locators on the connection
// text in force and prints the figures.
void measure(const QString& label, int count) {
    for (int i = 0; i < kWarmUp; ++i)
        storeBooking(typicalBooking(u"W%1"_s.arg(i, 5, 10, QLatin1Char('0'))));
    QList<double> ms;
    double commits = 0;
    QElapsedTimer total;
    total.start();
    for (int i = 0; i < count; ++i) {
        const korva::Pnr pnr = typicalBooking(u"B%1"_s.arg(i, 5, 10, QLatin1Char('0')));
        QElapsedTimer one;
        one.start();
        commits += storeBooking(pnr);
        ms.append(double(one.nsecsElapsed()) / 1e6);
    }
    const double seconds = double(total.nsecsElapsed()) / 1e9;
    const double perSync = g_syncSeconds * 1000;
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double m : std::as_const(ms))
        sum += m;
    const double mean = sum / count;
    print(u"%1: %2 bookings, mean %3 ms, median %4 ms, p95 %5 ms per booking; "
          "%6 ms per row; %7 bookings/s; the commit alone %8 ms, %9 x the disk's durable "
          "write"_s.arg(label)
              .arg(count)
              .arg(mean, 0, 'f', 2)
              .arg(ms[count / 2], 0, 'f', 2)
              .arg(ms[std::min<qsizetype>(count - 1, count * 95 / 100)], 0, 'f', 2)
              .arg(mean / kRowsPerBooking, 0, 'f', 3)
              .arg(count / seconds, 0, 'f', 1)
              .arg(commits / count, 0, 'f', 3)
              .arg(perSync > 0 ? commits / count / perSync : 0.0, 0, 'f', 2));
}

void benchSqlite(const QString& folder, int count) {
    const QString dataFolder = folder + u"/sqlite/"_s;
    createMdbFile(dataFolder + u"PALVA.mdb"_s);
    const QString text = mdbConnectionText(dataFolder);
    setConnectionString(text);
    // The store's own connection settings: write-ahead log, synchronous=FULL.
    print(u"SQLite %1: journal_mode=%2, synchronous=%3 (2 = FULL), file %4"_s.arg(
        queryText(text, u"SELECT sqlite_version()"_s), queryText(text, u"PRAGMA journal_mode"_s),
        queryText(text, u"PRAGMA synchronous"_s), dataFolder + u"PALVA.mdb"_s));
    measure(u"SQLite"_s, count);
    closeThreadConnections();
}

// Runs one statement on the server's maintenance database.
bool maintenance(const GatewaySettings& server, const QString& statement) {
    const QString name = u"bench-maintenance"_s;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QODBC"_s, name);
        GatewaySettings postgres = server;
        postgres.database = u"postgres"_s;
        db.setDatabaseName(translateConnectionText(sqlConnectionText(postgres)).databaseName);
        ok = db.open() && QSqlQuery(db).exec(statement);
        if (!ok)
            print(u"PostgreSQL: %1 failed: %2"_s.arg(statement, db.lastError().text()));
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

void benchPostgreSql(int count) {
    GatewaySettings server;
    server.Provider = qEnvironmentVariable("KESTO_TEST_PG_DRIVER");
    server.Server = qEnvironmentVariable("KESTO_TEST_PG_SERVER");
    server.uid = qEnvironmentVariable("KESTO_TEST_PG_UID");
    server.pwd = qEnvironmentVariable("KESTO_TEST_PG_PWD");
    const QString templateName = qEnvironmentVariable("KESTO_TEST_PG_TEMPLATE");
    if (server.Provider.isEmpty() || server.Server.isEmpty() || templateName.isEmpty()) {
        print(u"PostgreSQL: skipped (no KESTO_TEST_PG_* variables)"_s);
        return;
    }
    server.database = u"kesto_bench_%1"_s.arg(QCoreApplication::applicationPid());
    if (!maintenance(server,
                     u"CREATE DATABASE %1 TEMPLATE %2"_s.arg(server.database, templateName)))
        return;
    const QString text = sqlConnectionText(server);
    setConnectionString(text);
    try {
        print(u"PostgreSQL %1 at %2 through ODBC driver '%3': fsync=%4, synchronous_commit=%5, "
              "wal_sync_method=%6"_s.arg(queryText(text, u"SHOW server_version"_s), server.Server,
                                         server.Provider, queryText(text, u"SHOW fsync"_s),
                                         queryText(text, u"SHOW synchronous_commit"_s),
                                         queryText(text, u"SHOW wal_sync_method"_s)));
        measure(u"PostgreSQL"_s, count);
    } catch (const StoreError& error) {
        print(u"PostgreSQL: failed: "_s + error.description());
    }
    closeThreadConnections();
    maintenance(server, u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(server.database));
}

} // namespace

int main(int argc, char** argv) {
    // KORVA is found through the class registry that the build wrote.
    qputenv("XDG_CONFIG_HOME", KESTO_BUILD_CONFIG_HOME);
    QCoreApplication app(argc, argv);
    int count = 200;
    QString folder;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--bookings"_L1)
            count = std::max(1, args[i + 1].toInt());
        else if (args[i] == "--folder"_L1)
            folder = args[i + 1];
    }
    QTemporaryDir temporary(folder.isEmpty() ? QDir::tempPath() + u"/kesto-bench-XXXXXX"_s
                                             : folder + u"/kesto-bench-XXXXXX"_s);
    if (!temporary.isValid()) {
        print(u"cannot make a folder for the database files"_s);
        return 1;
    }
    print(u"One booking = serial number read + 3 writers + status update + ledger row, %1 rows "
          "(1 AMAMD, 2 AMAMDD, 1 AMHEAD, 4 AMTKT, 3+3 AMPAX, 1 AMFILE) and one UPDATE in one "
          "transaction; folder %2"_s.arg(kRowsPerBooking)
              .arg(temporary.path()));

    const double sync = secondsPerDurableWrite(temporary.path(), 500);
    g_syncSeconds = sync;
    if (sync > 0)
        print(u"Disk: %1 durable writes/s (512-byte pwrite + fdatasync, mean %2 ms): "
              "a commit cannot cost less than one of them"_s.arg(1 / sync, 0, 'f', 0)
                  .arg(sync * 1000, 0, 'f', 3));
    else
        print(u"Disk: cannot measure"_s);

    try {
        benchSqlite(temporary.path(), count);
    } catch (const StoreError& error) {
        print(u"SQLite: failed: "_s + error.description());
    } catch (const korva::Error& error) {
        print(u"KORVA: "_s + QString::fromUtf8(error.what()));
        return 1;
    }
    benchPostgreSql(count);
    return 0;
}
