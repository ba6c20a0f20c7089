#pragma once

#include "gatewaysettings.h"
#include "processingcycle.h"
#include "testdatabase.h"
#include "testhome.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Shared by the cycle's end-to-end tests: sample files, the settings of a
// test's own folders and database, and a cycle run to the end on the calling
// thread.

QByteArray sampleMir(const QString& name); // a file of tests/data
// The ticketed sample with the hand-entered ticket number moved to passenger 1.
QByteArray handTicketedMir();

// The settings for a test: the database's, the test home's download and
// backup folders, the start date 2027-03-01, and the XML switches. Makes the
// backup date folders and runs Open_DB on the calling thread.
GatewaySettings prepareCycleSettings(const TestHome& home, const TestDatabase& db,
                                     const QString& xmlFg = QStringLiteral("0"),
                                     const QString& tMode = QStringLiteral("1"),
                                     const QString& xmlDns = QString());

inline QString dateFolderOf(const GatewaySettings& settings) {
    return settings.MirBackupPath + QStringLiteral("202703/01/");
}

// What one cycle said while it ran.
struct CycleTranscript {
    QStringList lines;  // List1 lines, "CLEAR" where the list was cleared
    QStringList errors; // error-log messages it reported
    QStringList shown;  // the texts it showed
};

ProcessingCycle::Options fastOptions(const GatewaySettings& settings, bool once);

// Runs a cycle with `once` on the calling thread until the folder is drained.
CycleTranscript drainOnce(const GatewaySettings& settings);

void recordTranscript(ProcessingCycle& cycle, CycleTranscript& transcript);

QStringList filesIn(const QString& folder);
int countRows(const TestDatabase& db, const QString& sql);
