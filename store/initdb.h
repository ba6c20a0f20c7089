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

// Brings a database made by an earlier version up to date: adds what it
// lacks of the ledger of recorded files (table AMFILE and its index), of the
// entries reported as not regular files (table AMFOREIGN), of the posts
// owed to the endpoint (table AMPOST), of the unique
// key of a version (index AMAMDK) and of the document ledger (tables
// KDOCFILE, KDOCEVT, KDOCTAX, KDOCFOP), and nothing else. Where stored
// versions already share a key, it changes nothing and lists them. A database
// that has both is left alone (a success); one without the store's tables is
// refused.
InitDbOutcome upgradeMdbDatabase(const QString& folder);
InitDbOutcome upgradeServerDatabase(const GatewaySettings& settings);
