#include "opendb.h"

#include "connectionstring.h"
#include "connectiontext.h"
#include "gatewaysettings.h"
#include "lasterror.h"
#include "storeerror.h"
#include "threadconnection.h"

#include <atomic>

namespace {
std::atomic<bool> g_databaseOpen{false};
} // namespace

OpenDbOutcome Open_DB(const GatewaySettings& settings) {
    clearLastError();
    g_databaseOpen = false;
    OpenDbOutcome outcome;
    const bool xmlTitle = !settings.XML_DNS.isEmpty() && settings.xmlExportOn();
    const QString suffix = xmlTitle ? QStringLiteral(".xml") : QString();
    if (settings.isSqlMode()) {
        outcome.windowTitle = QStringLiteral("KESTO-SQL-V2.0") + suffix;
        outcome.sqlIndexVisible = true;
    } else {
        outcome.windowTitle = QStringLiteral("KESTO-MDB-V2.0") + suffix;
        outcome.sqlIndexVisible = false;
    }
    const QString previous = ConnectionString();
    const QString text = connectionTextFor(settings);
    setConnectionString(text);
    try {
        // Each run starts from a fresh connection (one lost since the last run is not reused).
        if (!previous.isEmpty())
            closeThreadConnection(previous);
        closeThreadConnection(text);
        threadConnection(text);
    } catch (const StoreError& error) {
        setLastError(error.number(), error.description() + QStringLiteral("[Open_DB]"));
        return outcome;
    }
    g_databaseOpen = true;
    outcome.ok = true;
    return outcome;
}

bool isDatabaseOpen() {
    return g_databaseOpen;
}
