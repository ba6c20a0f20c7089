#include "commandoutput.h"
#include "commands.h"

#include "connectiontext.h"
#include "gatewayidentity.h"
#include "healthcheck.h"
#include "settingsloader.h"
#include "storeerror.h"
#include "storetables.h"

#include <QDateTime>

#include <cstdio>

// kesto status [--json]: the gateway's health for monitoring, read from its
// settings, its folders and its database. Exit status as monitoring plugins
// expect: 0 healthy, 1 degraded (a file waiting longer than 5 minutes, error
// rows in the last hour), 2 down (the database or a folder cannot be reached).
int runStatusCommand(const QStringList& args) {
    const bool json = args == QStringList(QStringLiteral("--json"));
    if (!args.isEmpty() && !json) {
        std::fputs("kesto status: unexpected arguments\nusage: kesto status [--json]\n", stderr);
        return 3; // "unknown" to a monitoring plugin, as a bad call is
    }
    const GatewaySettings settings = loadGatewaySettings();
    // What this gateway owes and has recorded, not the others on the database.
    try {
        if (!settings.MirGateway.isEmpty() &&
            readStoreTables(connectionTextFor(settings)).identities)
            readAsGateway(settings.MirGateway);
    } catch (const StoreError&) {
        // The health check says the database cannot be reached.
    }
    const Health health = checkHealth(settings, QDateTime::currentDateTime());
    printLine(stdout, json ? health.json() : health.text());
    return static_cast<int>(health.state());
}
