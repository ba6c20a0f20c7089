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
