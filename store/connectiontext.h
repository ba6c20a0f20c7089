#pragma once

#include "dbengine.h"

#include <QString>

struct GatewaySettings;

// The documented connection texts, kept exactly as the operator knows them.
// MDB mode: "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder + "PALVA.mdb"
QString mdbConnectionText(const QString& dataFolder);
// SQL mode: "Provider=..;SERVER=..;uid=..;pwd=..;database=..", values untrimmed.
QString sqlConnectionText(const GatewaySettings& settings);
// The text of the mode the settings select.
QString connectionTextFor(const GatewaySettings& settings);

// What a connection text means on this platform: which QtSql driver opens
// it, with what database name, and on which engine.
struct ConnectionTarget {
    bool valid = false;
    QString qtDriver;     // "QSQLITE" or "QODBC"
    QString databaseName; // the SQLite file, or the ODBC connection text
    QString filePath;     // the SQLite file (MDB mode only)
    DbEngine engine = DbEngine::Sqlite;
};

// Translates a connection text. SQL mode becomes
// DRIVER={Provider};SERVER=..;UID=..;PWD=..;DATABASE=.., where a Server of the
// form host,port is handed to psqlODBC as SERVER=host;PORT=port and to other
// drivers as it stands. Values that would end or break an ODBC attribute
// (';', braces, surrounding blanks) are enclosed in braces.
ConnectionTarget translateConnectionText(const QString& connectionText);

// An ODBC attribute value, braced when it must be.
QString odbcAttributeValue(const QString& value);
