#pragma once

#include "gatewaysettings.h"
#include "serialnumber.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// What `kesto status` reports for monitoring: whether the gateway can work
// (its database, its ledger and its folders), and whether work piles up or fails.
struct Health {
    enum class State { Healthy = 0, Degraded = 1, Down = 2 }; // the exit status

    QString gateway;       // the gateway's identity, "" before its first run
    QString mode;          // "MDB" or "SQL"
    QString databaseError; // "" when the database answered
    QString ledgerError;   // "" unless the ledger of recorded files refuses to note a version
    QString folderError;   // "" when the download and backup folders are there
    int waitingFiles = 0;  // files the gateway would take, still in the download folder
    qint64 oldestWaitingSeconds = 0;
    int recordedNotFiled = 0; // of those, files whose booking is stored already
    int postsOwed = 0;        // stored versions whose post the endpoint has not had yet
    QString lastStoredFile;   // the newest row of the ledger, "" when none
    QString lastStoredAt;     // its DATE_1 and TIME_1
    int errorRows24h = 0;     // error rows of the last 24 hours
    int errorRows1h = 0;      // of those, the last hour's
    // Record locators near their last serial (after it, a version is refused).
    QList<CrowdedLocator> crowdedLocators;

    State state() const;
    QString stateName() const; // "healthy", "degraded" or "down"
    QString text() const;      // one line per figure, for people
    QString json() const;      // one object, for machines
};

// A file waits too long when it has been in the download folder this long.
inline constexpr qint64 kWaitingTooLongSeconds = 5 * 60;

// How much a health check asks. The metrics, served while the cycle works,
// leave out what costs the cycle's database most: the trial row in the
// ledger (a write, which waits for the cycle's commits and holds up the
// next) and the ledger lookup of each waiting file (a backlog's worth of
// queries), and the serials, which no metric shows; `ledgerError`,
// `recordedNotFiled` and `crowdedLocators` stay empty then.
enum class HealthDepth { Full, Gauges };
Health checkHealth(const GatewaySettings& settings, const QDateTime& now,
                   HealthDepth depth = HealthDepth::Full);
