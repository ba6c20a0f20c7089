#pragma once

#include "testdatabase.h"
#include "testhome.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// `kesto run` as a real process in a test's private home, over a database of
// either engine, with the default folders of that home: the data folder
// (KESTO_HOME/vela_data/), the download folder ($HOME/Mirs/) and the backup
// folder ($HOME/BkMirs/). Used by the process tests and the crash sweep.
class GatewayHome {
public:
    struct Xml {
        QString xmlFg = QStringLiteral("0");
        QString tMode = QStringLiteral("1");
        QString xmlDns;
    };

    // Skips (skipReason) when the engine is not available here.
    GatewayHome(TestEngine engine, const Xml& xml);
    GatewayHome(TestEngine engine) : GatewayHome(engine, Xml{}) {}
    // Another gateway on the same database (another office): a home, folders
    // and instance locks of its own, the database settings of `first`.
    explicit GatewayHome(const GatewayHome& first);

    QString skipReason() const { return m_db->skipReason(); }
    QString failure() const { return m_db->failure(); }
    const TestHome& home() const { return m_home; }
    const TestDatabase& db() const { return *m_db; }
    QString downloadFolder() const;
    QString backupFolder() const;

    // Every file under the backup folder, by name (the dated folders flattened).
    QStringList backedUpFiles() const;
    QStringList waitingFiles() const; // in the download folder

    // The environment for a child: this home's, pauses at zero, plus `extra`.
    QProcessEnvironment environment(const QMap<QString, QString>& extra = {}) const;

private:
    TestHome m_home;
    std::unique_ptr<TestDatabase> m_ownDatabase;
    const TestDatabase* m_db = nullptr;
};

// How one `kesto run --once` ended.
struct RunEnd {
    bool killed = false;     // ended by a signal (SIGKILL from the caller or a crash point)
    int exitCode = -1;       // when it ended by itself
    qint64 firstFileMs = -1; // from start to its first file's log line, -1 when none
    QString out, err;
};

// Starts `kesto run --once`; kills it with SIGKILL after `killAfterMs`
// (never when negative), or as soon as it begins its `killAtFile`th file
// (never when not above 0). Waits at most a minute.
RunEnd runOnce(const QProcessEnvironment& environment, int killAfterMs = -1, int killAtFile = 0);

// Sample MIR files for a folder: `copies` of each kind (one record, two
// records, void, refund, EMD, a booking whose fare the document reader
// cannot read, not a MIR file), with distinct names; the copies share
// record locators, so their versions follow each other.
QMap<QString, QByteArray> sweepFiles(int copies);
// What is wrong with the [Documents] rows of the sweep files: there must be
// one for each damaged booking ("DMG...", its copies read once as the same
// bytes) and none for the others.
QStringList documentRowProblems(const GatewayHome& gateway, const QMap<QString, QByteArray>& files);
void dropFiles(const QString& folder, const QMap<QString, QByteArray>& files);
// Runs statements on an SQLite file outside the gateway's connections (and
// the test's own); fails the calling test when one fails.
void runOnSqliteFile(const QString& path, const QStringList& statements);
// The ticketed sample under a record locator of its own (header columns 99-104).
QByteArray ticketedBooking(const QByteArray& locator);
// The same as a booking of two records (a hand-entered ticket on passenger 1).
QByteArray twoRecordBooking(const QByteArray& locator);

// `count` gateways on one database of the engine: the first owns it, the
// others share it. Check first().skipReason() before use.
class GatewayFleet {
public:
    GatewayFleet(TestEngine engine, int count);
    const GatewayHome& first() const { return m_first; }
    const QList<const GatewayHome*>& all() const { return m_all; }
    // Drops racingFiles(i, files, locators) into the i-th gateway's folder.
    void dropRacingFiles(int files, int locators) const;

private:
    GatewayHome m_first;
    std::vector<std::unique_ptr<GatewayHome>> m_others;
    QList<const GatewayHome*> m_all;
};

// Starts `kesto run --once` for each gateway at the same moment and waits
// for all of them; returns the exit codes (-1 for a crash or a time-out).
QList<int> runAllOnce(const QList<const GatewayHome*>& gateways, int timeoutMs);

// `count` booking files for gateway number `gateway`, named G<gateway>_<n>.MIR:
// every fourth one a booking of two records; record locators from a pool of
// `locators` shared by every gateway, so that their versions race.
QMap<QString, QByteArray> racingFiles(int gateway, int count, int locators);

// What is wrong after gateways stored racingFiles(i, count, ...) each: files
// left waiting, stored more or less than once (a file of two records holds
// two versions, the others one, each with the same rows as its kind), keys
// shared by two versions, serials of a locator that do not run from 001
// without a gap. Empty when all is well.
QStringList racingProblems(const QList<const GatewayHome*>& gateways, int count);

// What the database holds for each file name: one text per stored version
// (PROC_TP, KIND, and its row count in each table), sorted. Two runs that
// stored the same files compare equal, whatever serials they used.
QMap<QString, QStringList> storedVersions(const TestDatabase& db);
// (RECLOC, SER_NO) pairs of AMAMD held by more than one row.
QStringList duplicateKeys(const TestDatabase& db);
