#include "commands.h"

#include "initdb.h"
#include "settingsloader.h"

#include <QTextStream>

#include <cstdio>

// kesto init-db [--upgrade] [FOLDER]: creates the record store from the
// shipped schema, or with --upgrade adds what a database made by an earlier
// version lacks (the ledger of recorded files, the unique key of a version).
// MDB mode (Provider blank): PALVA.mdb in FOLDER, by default the data folder.
// SQL mode: the tables on the configured server; FOLDER does not apply.
int runInitDbCommand(const QStringList& arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QString usage = QStringLiteral("usage: kesto init-db [--upgrade] [FOLDER]");
    QStringList args = arguments;
    const bool upgrade = args.removeAll(QStringLiteral("--upgrade")) > 0;
    if (args.size() > 1 || (!args.isEmpty() && args.first().startsWith(QLatin1Char('-')))) {
        err << "kesto init-db: unexpected arguments\n" << usage << '\n';
        return 2;
    }
    const GatewaySettings settings = loadGatewaySettings();
    InitDbOutcome outcome;
    if (settings.isSqlMode()) {
        if (!args.isEmpty()) {
            err << "kesto init-db: PALVA.INI names a server (Provider is set); FOLDER applies to "
                   "PALVA.mdb only\n"
                << usage << '\n';
            return 2;
        }
        outcome = upgrade ? upgradeServerDatabase(settings) : initServerDatabase(settings);
    } else {
        const QString folder = args.isEmpty() ? settings.MirDataSource : args.first();
        outcome = upgrade ? upgradeMdbDatabase(folder) : initMdbDatabase(folder);
    }
    if (!outcome.ok) {
        err << "kesto init-db: " << outcome.message << '\n';
        return 1;
    }
    out << outcome.message << '\n';
    return 0;
}
