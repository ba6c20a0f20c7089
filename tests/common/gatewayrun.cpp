#include "gatewayrun.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <csignal>

GatewayHome::GatewayHome(TestEngine engine, const Xml& xml) : m_home(TestHome::Korva::Registered) {
    const QString data = m_home.programFolder() + QStringLiteral("/vela_data/");
    QDir().mkpath(data);
    m_db = std::make_unique<TestDatabase>(engine, data, TestDatabase::Content::Schema);
    // Run's check looks for PALVA.mdb in the data folder in either mode.
    if (engine != TestEngine::Sqlite)
        writeFileBytes(data + QStringLiteral("PALVA.mdb"), QByteArray());
    m_home.writeIni(m_db->iniText() + QStringLiteral("XML_FG=%1\r\nT_MODE=%2\r\nXML_DNS=%3\r\n")
                                          .arg(xml.xmlFg, xml.tMode, xml.xmlDns)
                                          .toUtf8());
    QDir().mkpath(downloadFolder());
    QDir().mkpath(backupFolder());
}

QString GatewayHome::downloadFolder() const {
    return m_home.home() + QStringLiteral("/Mirs/");
}

QString GatewayHome::backupFolder() const {
    return m_home.home() + QStringLiteral("/BkMirs/");
}

QStringList GatewayHome::backedUpFiles() const {
    QStringList names;
    QDirIterator it(backupFolder(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        names.append(it.nextFileInfo().fileName());
    names.sort();
    return names;
}

QStringList GatewayHome::waitingFiles() const {
    QStringList names = QDir(downloadFolder()).entryList(QDir::Files);
    names.sort();
    return names;
}

QProcessEnvironment GatewayHome::environment(const QMap<QString, QString>& extra) const {
    // TestHome points the variables of this process at the home.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KESTO_PAUSE_SCALE"), QStringLiteral("0"));
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        environment.insert(it.key(), it.value());
    return environment;
}

RunEnd runOnce(const QProcessEnvironment& environment, int killAfterMs) {
    QProcess process;
    process.setProcessEnvironment(environment);
    RunEnd end;
    QElapsedTimer clock;
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [&] {
        end.out += QString::fromUtf8(process.readAllStandardOutput());
        if (end.firstFileMs < 0 && end.out.contains(QLatin1Char(':')))
            end.firstFileMs = clock.elapsed();
    });
    clock.start();
    process.start(QStringLiteral(KESTO_BIN_DIR "/kesto"),
                  {QStringLiteral("run"), QStringLiteral("--once")});
    if (!process.waitForStarted())
        return end;
    if (killAfterMs >= 0 && !process.waitForFinished(killAfterMs))
        ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
    process.waitForFinished(60000);
    end.out += QString::fromUtf8(process.readAllStandardOutput());
    end.err = QString::fromUtf8(process.readAllStandardError());
    end.killed = process.exitStatus() == QProcess::CrashExit;
    if (!end.killed)
        end.exitCode = process.exitCode();
    return end;
}

QMap<QString, QByteArray> sweepFiles(int copies) {
    const QString data = QStringLiteral(KESTO_SOURCE_DIR "/tests/data/");
    QByteArray twoRecords = readFileBytes(data + QStringLiteral("ticketed-lf.mir"));
    twoRecords.replace("TKNO-1  2*", "TKNO-1  1*");
    const QMap<QString, QByteArray> kinds = {
        {QStringLiteral("TKT"), readFileBytes(data + QStringLiteral("ticketed-lf.mir"))},
        {QStringLiteral("TWO"), twoRecords},
        {QStringLiteral("VOID"), readFileBytes(data + QStringLiteral("void.mir"))},
        {QStringLiteral("RFND"), readFileBytes(data + QStringLiteral("refund.mir"))},
        {QStringLiteral("EMD"), readFileBytes(data + QStringLiteral("emd.mir"))},
        {QStringLiteral("TEXT"), readFileBytes(data + QStringLiteral("not-mir.mir"))},
    };
    QMap<QString, QByteArray> files;
    for (int copy = 1; copy <= copies; ++copy) {
        for (auto it = kinds.cbegin(); it != kinds.cend(); ++it)
            files.insert(
                QStringLiteral("%1%2.MIR").arg(it.key()).arg(copy, 3, 10, QLatin1Char('0')),
                it.value());
    }
    return files;
}

void dropFiles(const QString& folder, const QMap<QString, QByteArray>& files) {
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        writeFileBytes(folder + it.key(), it.value());
}

QMap<QString, QStringList> storedVersions(const TestDatabase& db) {
    QString sql = QStringLiteral("SELECT a.FILE_NM, a.PROC_TP, a.KIND");
    for (const char* table : {"AMAMDD", "AMHEAD", "AMTKT", "AMPAX", "AMPNR"}) {
        sql += QStringLiteral(", (SELECT COUNT(*) FROM %1 t WHERE t.RECLOC = a.RECLOC AND "
                              "t.SER_NO = a.SER_NO)")
                   .arg(QLatin1String(table));
    }
    sql += QStringLiteral(" FROM AMAMD a");
    QMap<QString, QStringList> versions;
    for (const QVariantList& row : db.selectRows(sql)) {
        QStringList fields;
        for (qsizetype i = 1; i < row.size(); ++i)
            fields.append(row[i].isNull() ? QStringLiteral("NULL") : row[i].toString());
        versions[row[0].toString()].append(fields.join(QLatin1Char('|')));
    }
    for (QStringList& list : versions)
        list.sort();
    return versions;
}

QStringList duplicateKeys(const TestDatabase& db) {
    QStringList keys;
    for (const QVariantList& row : db.selectRows(QStringLiteral(
             "SELECT RECLOC, SER_NO FROM AMAMD GROUP BY RECLOC, SER_NO HAVING COUNT(*) > 1")))
        keys.append(row[0].toString() + QLatin1Char('/') + row[1].toString());
    return keys;
}
