#include "cyclefixture.h"

#include "opendb.h"
#include "runchecks.h"

#include <QDir>
#include <QTest>

QByteArray sampleMir(const QString& name) {
    return readFileBytes(QStringLiteral(KESTO_SOURCE_DIR "/tests/data/") + name);
}

QByteArray handTicketedMir() {
    QByteArray bytes = sampleMir(QStringLiteral("ticketed-lf.mir"));
    bytes.replace("TKNO-1  2*", "TKNO-1  1*");
    return bytes;
}

GatewaySettings prepareCycleSettings(const TestHome& home, const TestDatabase& db,
                                     const QString& xmlFg, const QString& tMode,
                                     const QString& xmlDns) {
    GatewaySettings settings = db.settings();
    settings.MirDownPath = home.folder(QStringLiteral("down"));
    settings.MirBackupPath = home.folder(QStringLiteral("backup"));
    settings.StartYearMonth = QStringLiteral("202703");
    settings.StartDay = QStringLiteral("01");
    settings.XML_FG = xmlFg;
    settings.T_MODE = tMode;
    settings.XML_DNS = xmlDns;
    if (createBackupDateFolders(settings))
        qWarning("backup date folders could not be made");
    if (!Open_DB(settings).ok)
        qWarning("Open_DB failed");
    return settings;
}

ProcessingCycle::Options fastOptions(const GatewaySettings& settings, bool once) {
    ProcessingCycle::Options options;
    options.settings = settings;
    options.once = once;
    options.pauseScale = 0.0;
    options.rescanMs = 200;
    options.httpTimeoutMs = 1000;
    options.deferRetry = std::chrono::milliseconds(300);
    return options;
}

void recordTranscript(ProcessingCycle& cycle, CycleTranscript& transcript) {
    QObject::connect(&cycle, &ProcessingCycle::logLine,
                     [&transcript](const QString& line) { transcript.lines.append(line); });
    QObject::connect(&cycle, &ProcessingCycle::logCleared,
                     [&transcript] { transcript.lines.append(QStringLiteral("CLEAR")); });
    QObject::connect(&cycle, &ProcessingCycle::errorRecorded,
                     [&transcript](const QString& message) { transcript.errors.append(message); });
    QObject::connect(&cycle, &ProcessingCycle::fileShown,
                     [&transcript](const QString& text) { transcript.shown.append(text); });
}

CycleTranscript drainOnce(const GatewaySettings& settings) {
    CycleTranscript transcript;
    ProcessingCycle cycle(fastOptions(settings, true));
    recordTranscript(cycle, transcript);
    cycle.run();
    return transcript;
}

QStringList filesIn(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Files);
    names.sort();
    return names;
}

int countRows(const TestDatabase& db, const QString& sql) {
    const QList<QVariantList> rows = db.selectRows(sql);
    return rows.isEmpty() ? -1 : rows.first().value(0).toInt();
}
