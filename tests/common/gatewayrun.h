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
    std::unique_ptr<TestDatabase> m_db;
};

// How one `kesto run --once` ended.
struct RunEnd {
    bool killed = false;     // ended by a signal (SIGKILL from the caller or a crash point)
    int exitCode = -1;       // when it ended by itself
    qint64 firstFileMs = -1; // from start to its first file's log line, -1 when none
    QString out, err;
};

// Starts `kesto run --once`; kills it with SIGKILL after `killAfterMs`
// (never when negative). Waits at most a minute.
RunEnd runOnce(const QProcessEnvironment& environment, int killAfterMs = -1);

// Sample MIR files for a folder: `copies` of each kind (one record, two
// records, void, refund, EMD, not a MIR file), with distinct names; the
// copies share record locators, so their versions follow each other.
QMap<QString, QByteArray> sweepFiles(int copies);
void dropFiles(const QString& folder, const QMap<QString, QByteArray>& files);

// What the database holds for each file name: one text per stored version
// (PROC_TP, KIND, and its row count in each table), sorted. Two runs that
// stored the same files compare equal, whatever serials they used.
QMap<QString, QStringList> storedVersions(const TestDatabase& db);
// (RECLOC, SER_NO) pairs of AMAMD held by more than one row.
QStringList duplicateKeys(const TestDatabase& db);
