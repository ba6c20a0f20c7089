#include "commandoutput.h"
#include "commands.h"

#include "autostart.h"
#include "connectiontext.h"
#include "metricsaddress.h"
#include "programfolder.h"
#include "recordledger.h"
#include "settingsloader.h"
#include "setupfields.h"
#include "storedsettings.h"
#include "storeerror.h"
#include "storefile.h"
#include "storetables.h"
#include "threadconnection.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <optional>

// kesto setup [--data DIR] [--download DIR] [--backup DIR] [--amtemp N]: the
// window's Setup for servers; --autostart, --settle and --metrics set what it
// does not. Values not given keep the settings in force;
// the folders get their trailing '/', and the four values are saved to the
// settings store exactly as the Setup button saves them. Without options it
// prints the settings in force and where each came from.
namespace {

const char* const kUsage =
    "usage: kesto setup [--data DIR] [--download DIR] [--backup DIR] [--amtemp N]\n"
    "                   [--autostart on|off] [--settle listing|file]\n"
    "                   [--metrics ADDR:PORT|off]\n"
    "       kesto setup --new-identity\n";

int storeNotWritten() {
    printLine(stderr, QStringLiteral("kesto setup: the settings store could not be written: ") +
                          QString::fromStdString(kesto::registry::defaultStoreFile().string()));
    return 1;
}

// Whether the database in force keeps the ledger of recorded files.
void showLedger(const GatewaySettings& settings) {
    const QString text = connectionTextFor(settings);
    QString state;
    try {
        state = readStoreTables(text).ledger ? QStringLiteral("present") : noLedgerNotice();
    } catch (const StoreError& error) {
        state = QStringLiteral("unknown: the database cannot be opened: ") + error.description();
    }
    closeThreadConnection(text);
    printLine(stdout, QStringLiteral("AMFILE=") + state + QStringLiteral("\t(the database)"));
}

int printSettingsInForce() {
    const GatewaySettings settings = loadGatewaySettings();

    // Which of the four stored values the settings store supplied: a probe
    // holding texts no store value can hold shows the ones it left alone.
    const QString unset = QStringLiteral("\x01unset");
    GatewaySettings probe;
    probe.MirDataSource = probe.MirDownPath = probe.MirBackupPath = probe.MirProcessTKT =
        probe.MirSettle = probe.MirMetrics = unset;
    readStoredSettings(probe);
    const QString storeFile = QString::fromStdString(kesto::registry::defaultStoreFile().string());
    const QString fromStore = QStringLiteral("settings store ") + storeFile;
    const QString fromDefault = QStringLiteral("default");
    const auto origin = [&](const QString& probed) {
        return probed == unset ? fromDefault : fromStore;
    };

    const QString ini = palvaIniPath();
    const QString iniOrigin =
        QFileInfo::exists(ini) ? QString(QStringLiteral("PALVA.INI ") + ini)
                               : QString(QStringLiteral("default (no ") + ini + QLatin1Char(')'));
    const auto show = [](const char* name, const QString& value, const QString& where) {
        printLine(stdout, QStringLiteral("%1=%2\t(%3)").arg(QLatin1String(name), value, where));
    };
    show("MirDataSource", settings.MirDataSource, origin(probe.MirDataSource));
    show("MirDownPath", settings.MirDownPath, origin(probe.MirDownPath));
    show("MirBackupPath", settings.MirBackupPath, origin(probe.MirBackupPath));
    show("MirProcessTKT", settings.MirProcessTKT, origin(probe.MirProcessTKT));
    show("MirSettle", settings.MirSettle, origin(probe.MirSettle));
    show("MirMetrics", settings.MirMetrics.isEmpty() ? QStringLiteral("off") : settings.MirMetrics,
         origin(probe.MirMetrics));
    show("MirGateway",
         settings.MirGateway.isEmpty() ? QStringLiteral("none yet") : settings.MirGateway,
         settings.MirGateway.isEmpty() ? QStringLiteral("made at the gateway's first run")
                                       : fromStore);
    show("Provider", settings.Provider, iniOrigin);
    show("Server", settings.Server, iniOrigin);
    show("uid", settings.uid, iniOrigin);
    show("database", settings.database, iniOrigin);
    show("RM_T2K", settings.RM_T2K, iniOrigin);
    show("DUP_CHK", settings.DUP_CHK, iniOrigin);
    show("XML_FG", settings.XML_FG, iniOrigin);
    show("XML_DNS", settings.XML_DNS, iniOrigin);
    show("T_MODE", settings.T_MODE, iniOrigin);
    showLedger(settings);
    printLine(stdout, QStringLiteral("Autostart=%1\t(%2)")
                          .arg(autostartEnabled() ? QStringLiteral("on") : QStringLiteral("off"),
                               autostartEntryPath()));
    return 0;
}

// --autostart on|off: the desktop gateway starts with the session, or not.
int applyAutostart(const QString& value) {
    if (value != QLatin1String("on") && value != QLatin1String("off")) {
        std::fprintf(stderr, "kesto setup: --autostart takes on or off, not '%s'\n%s",
                     qPrintable(value), kUsage);
        return 2;
    }
    const QString failure =
        setAutostart(value == QLatin1String("on"), QCoreApplication::applicationFilePath());
    if (!failure.isEmpty()) {
        printLine(stderr, QStringLiteral("kesto setup: ") + failure);
        return 1;
    }
    printLine(stdout, QStringLiteral("Autostart=") + value);
    return 0;
}

// Saves one value the Setup button does not have and says so; 1 when the
// settings store cannot be written.
int saveAndShow(const char* name, const QString& stored, const QString& shown) {
    if (saveOneSetting(name, stored) != kesto::registry::Status::Ok)
        return storeNotWritten();
    printLine(stdout, QLatin1String(name) + QLatin1Char('=') + shown);
    return 0;
}

// --settle listing|file: one settle time for a whole listing of the download
// folder, or the one-second pause before each file.
int applySettle(const QString& value) {
    if (value != QLatin1String("listing") && value != QLatin1String("file")) {
        std::fprintf(stderr, "kesto setup: --settle takes listing or file, not '%s'\n%s",
                     qPrintable(value), kUsage);
        return 2;
    }
    return saveAndShow("MirSettle", value, value);
}

// --metrics ADDR:PORT|off: where the cycle serves its metrics, or nowhere.
int applyMetrics(const QString& value) {
    const bool off = value == QLatin1String("off");
    if (!off && !MetricsAddress::parse(value)) {
        std::fprintf(stderr,
                     "kesto setup: --metrics takes ADDR:PORT (127.0.0.1:9464, [::1]:9464) or "
                     "off, not '%s'\n%s",
                     qPrintable(value), kUsage);
        return 2;
    }
    return saveAndShow("MirMetrics", off ? QString() : value, value);
}

} // namespace

// --new-identity: this gateway becomes one of its own on the database (its
// settings store was copied from another's); what it recorded under the old
// one stays with that one.
int applyNewIdentity() {
    GatewaySettings settings;
    if (saveOneSetting("MirGateway", QString()) != kesto::registry::Status::Ok ||
        !ensureGatewayIdentity(settings).isEmpty())
        return storeNotWritten();
    printLine(stdout, QStringLiteral("MirGateway=") + settings.MirGateway);
    return 0;
}

int runSetupCommand(const QStringList& args) {
    if (args.isEmpty())
        return printSettingsInForce();
    if (args == QStringList(QStringLiteral("--new-identity")))
        return applyNewIdentity();

    GatewaySettings settings = loadGatewaySettings();
    SetupFields fields{settings.MirDataSource, settings.MirDownPath, settings.MirBackupPath,
                       settings.MirProcessTKT};
    std::optional<QString> autostart;
    std::optional<QString> settle;
    std::optional<QString> metrics;
    bool fieldGiven = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& option = args.at(i);
        QString* target = nullptr;
        if (option == QLatin1String("--autostart"))
            target = &autostart.emplace();
        else if (option == QLatin1String("--settle"))
            target = &settle.emplace();
        else if (option == QLatin1String("--metrics"))
            target = &metrics.emplace();
        else if (option == QLatin1String("--data"))
            target = &fields.dataFolder;
        else if (option == QLatin1String("--download"))
            target = &fields.downFolder;
        else if (option == QLatin1String("--backup"))
            target = &fields.backupFolder;
        else if (option == QLatin1String("--amtemp"))
            target = &fields.amtemp;
        if (!target || i + 1 >= args.size()) {
            std::fprintf(stderr, "kesto setup: %s '%s'\n%s",
                         target ? "missing value after" : "unknown option", qPrintable(option),
                         kUsage);
            return 2;
        }
        fieldGiven = fieldGiven ||
                     (option != QLatin1String("--autostart") &&
                      option != QLatin1String("--settle") && option != QLatin1String("--metrics"));
        *target = args.at(++i);
    }
    // The options the Setup button does not have, each saved on its own.
    const std::pair<const std::optional<QString>*, int (*)(const QString&)> extras[] = {
        {&metrics, applyMetrics}, {&settle, applySettle}, {&autostart, applyAutostart}};
    for (const auto& [value, apply] : extras) {
        if (!*value)
            continue;
        if (const int status = apply(**value); status != 0)
            return status;
    }
    if (!fieldGiven)
        return 0;

    switch (applySetup(fields, settings)) {
    case SetupResult::Saved:
        printLine(stdout, QStringLiteral("MirDataSource=") + fields.dataFolder);
        printLine(stdout, QStringLiteral("MirDownPath=") + fields.downFolder);
        printLine(stdout, QStringLiteral("MirBackupPath=") + fields.backupFolder);
        printLine(stdout, QStringLiteral("MirProcessTKT=") + fields.amtemp);
        return 0;
    case SetupResult::AmtempRejected:
        printLine(stderr, amtempRejectedMessage());
        return 1;
    case SetupResult::SaveFailed:
        return storeNotWritten();
    }
    return 1;
}
