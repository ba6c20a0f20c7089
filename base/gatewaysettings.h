#pragma once

#include <QString>

// The configuration record: the ten keys of PALVA.INI, the five values of the
// settings store, and what start-up derives. Every text is kept exactly as read.
struct GatewaySettings {
    // PALVA.INI, section PALVA, in the order they are read.
    QString Provider;
    QString Server;
    QString uid;
    QString pwd;
    QString database;
    QString RM_T2K;
    QString DUP_CHK;
    QString XML_FG;
    QString XML_DNS;
    QString T_MODE;

    // Settings store (Software\KESTO); folders end with '/'.
    QString MirDataSource;
    QString MirDownPath;
    QString MirBackupPath;
    QString MirProcessTKT;
    // How long a file waits before it is read: "listing" (the default), one
    // settle time for a whole listing; "file", the one-second pause before each.
    QString MirSettle;
    // Where `kesto run` and the desktop's cycle serve their metrics
    // (ADDR:PORT); empty, the default: nowhere.
    QString MirMetrics;
    // This gateway's identity among those that share a database, made at its
    // first run ("HOST-" and twelve random hex digits); empty until then.
    QString MirGateway;

    // Derived at start-up.
    int PlatformId = 2;
    QString StartYearMonth; // yyyyMM
    QString StartDay;       // dd

    // An empty (blank) Provider selects the embedded database.
    bool settlesPerFile() const { return MirSettle == QLatin1String("file"); }
    bool isSqlMode() const { return !Provider.trimmed().isEmpty(); }
    bool xmlExportOn() const { return XML_FG == QLatin1String("1"); }
    // The writers leave the database alone only when XML export is on and T_MODE is not "1".
    bool databaseWritten() const { return !xmlExportOn() || T_MODE == QLatin1String("1"); }
};
