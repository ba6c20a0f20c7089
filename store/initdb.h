#pragma once

#include <QString>

struct GatewaySettings;

struct InitDbOutcome {
    bool ok = false;
    QString message; // one line for the operator
};

// Creates PALVA.mdb in the folder from the shipped SQLite schema, making the
// folder when needed; refuses when the file already exists.
InitDbOutcome initMdbDatabase(const QString& folder);

// Creates the tables and indexes on the server that the settings name (SQL
// mode), from the schema of the engine the connection reports. Creates
// nothing when any of the tables already exists.
InitDbOutcome initServerDatabase(const GatewaySettings& settings);

// Brings a database made before the ledger of recorded files up to date: adds
// the table AMFILE and its index, and nothing else. A database that already
// has it is left alone (a success); one without the store's tables is refused.
InitDbOutcome upgradeMdbDatabase(const QString& folder);
InitDbOutcome upgradeServerDatabase(const GatewaySettings& settings);
