#include "gatewayrun.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <csignal>
#include <memory>
#include <vector>

GatewayHome::GatewayHome(TestEngine engine, const Xml& xml) : m_home(TestHome::Korva::Registered) {
    const QString data = m_home.programFolder() + QStringLiteral("/vela_data/");
    QDir().mkpath(data);
    m_ownDatabase = std::make_unique<TestDatabase>(engine, data, TestDatabase::Content::Schema);
    m_db = m_ownDatabase.get();
    // Run's check looks for PALVA.mdb in the data folder in either mode.
    if (engine != TestEngine::Sqlite)
        writeFileBytes(data + QStringLiteral("PALVA.mdb"), QByteArray());
    m_home.writeIni(m_db->iniText() + QStringLiteral("XML_FG=%1\r\nT_MODE=%2\r\nXML_DNS=%3\r\n")
                                          .arg(xml.xmlFg, xml.tMode, xml.xmlDns)
                                          .toUtf8());
    QDir().mkpath(downloadFolder());
    QDir().mkpath(backupFolder());
}

GatewayHome::GatewayHome(const GatewayHome& first)
    : m_home(TestHome::Korva::Registered), m_db(first.m_db) {
    writeFileBytes(m_home.programFolder() + QStringLiteral("/PALVA.INI"),
                   readFileBytes(first.home().programFolder() + QStringLiteral("/PALVA.INI")));
    QDir().mkpath(downloadFolder());
    QDir().mkpath(backupFolder());
    if (m_db->engine() != TestEngine::Sqlite) {
        writeFileBytes(m_home.programFolder() + QStringLiteral("/vela_data/PALVA.mdb"),
                       QByteArray());
        return;
    }
    // The embedded database of the first gateway, through the settings store.
    QProcess setup;
    setup.setProcessEnvironment(environment());
    setup.start(QStringLiteral(KESTO_BIN_DIR "/kesto"),
                {QStringLiteral("setup"), QStringLiteral("--data"), m_db->dataFolder()});
    if (!setup.waitForFinished(30000) || setup.exitCode() != 0)
        qWarning("kesto setup failed: %s", setup.readAllStandardError().constData());
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
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KESTO_HOME"), m_home.programFolder());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.configHome());
    environment.insert(QStringLiteral("HOME"), m_home.home());
    environment.insert(QStringLiteral("XDG_STATE_HOME"), m_home.root() + QStringLiteral("/state"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.runtimeFolder());
    environment.insert(QStringLiteral("KESTO_PAUSE_SCALE"), QStringLiteral("0"));
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        environment.insert(it.key(), it.value());
    return environment;
}

RunEnd runOnce(const QProcessEnvironment& environment, int killAfterMs, int killAtFile) {
    QProcess process;
    process.setProcessEnvironment(environment);
    RunEnd end;
    QElapsedTimer clock;
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [&] {
        end.out += QString::fromUtf8(process.readAllStandardOutput());
        if (end.firstFileMs < 0 && end.out.contains(QLatin1Char(':')))
            end.firstFileMs = clock.elapsed();
        // Each file begins with its log line.
        if (killAtFile > 0 && end.out.count(QLatin1Char('\n')) >= killAtFile)
            ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
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

namespace {

QByteArray sample(const char* name) {
    return readFileBytes(QStringLiteral(KESTO_SOURCE_DIR "/tests/data/") + QLatin1String(name));
}

// The ticketed sample with the hand-entered ticket number moved to passenger
// 1: a booking stored as two records.
QByteArray twoRecordSample() {
    QByteArray bytes = sample("ticketed-lf.mir");
    bytes.replace("TKNO-1  2*", "TKNO-1  1*");
    return bytes;
}

} // namespace

QMap<QString, QByteArray> sweepFiles(int copies) {
    // A booking whose fare total the document reader cannot read: stored as
    // any other, with one [Documents] row.
    QByteArray damaged = sample("ticketed-lf.mir");
    damaged.replace("    16747.00", "    167X7.00");
    const QMap<QString, QByteArray> kinds = {
        {QStringLiteral("TKT"), sample("ticketed-lf.mir")},
        {QStringLiteral("DMG"), damaged},
        {QStringLiteral("TWO"), twoRecordSample()},
        {QStringLiteral("VOID"), sample("void.mir")},
        {QStringLiteral("RFND"), sample("refund.mir")},
        {QStringLiteral("EMD"), sample("emd.mir")},
        {QStringLiteral("TEXT"), sample("not-mir.mir")},
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

void runOnSqliteFile(const QString& path, const QStringList& statements) {
    const QString name = QStringLiteral("test-file-connection");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QVERIFY(db.open());
        for (const QString& statement : statements) {
            QSqlQuery query(db);
            QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

QByteArray ticketedBooking(const QByteArray& locator) {
    QByteArray bytes = sample("ticketed-lf.mir");
    bytes.replace("TPEK4T", locator);
    return bytes;
}

QByteArray twoRecordBooking(const QByteArray& locator) {
    return twoRecordSample().replace("TPEK4T", locator);
}

void dropFiles(const QString& folder, const QMap<QString, QByteArray>& files) {
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        writeFileBytes(folder + it.key(), it.value());
}

GatewayFleet::GatewayFleet(TestEngine engine, int count) : m_first(engine), m_all{&m_first} {
    if (!m_first.skipReason().isEmpty())
        return;
    for (int i = 1; i < count; ++i) {
        m_others.push_back(std::make_unique<GatewayHome>(m_first));
        m_all.append(m_others.back().get());
    }
}

void GatewayFleet::dropRacingFiles(int files, int locators) const {
    for (int i = 0; i < m_all.size(); ++i)
        dropFiles(m_all[i]->downloadFolder(), racingFiles(i, files, locators));
}

QList<int> runAllOnce(const QList<const GatewayHome*>& gateways, int timeoutMs) {
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const GatewayHome* gateway : gateways) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(gateway->environment());
        // Their errors land in the database; the drivers' own warnings are noise here.
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        processes.push_back(std::move(process));
    }
    for (auto& process : processes)
        process->start(QStringLiteral(KESTO_BIN_DIR "/kesto"),
                       {QStringLiteral("run"), QStringLiteral("--once")});
    QElapsedTimer clock;
    clock.start();
    QList<int> codes;
    for (auto& process : processes) {
        const bool ended =
            process->waitForFinished(std::max<qint64>(1, timeoutMs - clock.elapsed()));
        codes.append(ended && process->exitStatus() == QProcess::NormalExit ? process->exitCode()
                                                                            : -1);
        if (!ended)
            process->kill();
    }
    return codes;
}

QMap<QString, QByteArray> racingFiles(int gateway, int count, int locators) {
    const QByteArray one = sample("ticketed-lf.mir");
    const QByteArray two = twoRecordSample();
    QMap<QString, QByteArray> files;
    for (int n = 0; n < count; ++n) {
        QByteArray bytes = n % 4 == 0 ? two : one;
        // The record locator stands in the header as TPEK4T.
        const QByteArray locator = "RC" + QByteArray::number(n % locators).rightJustified(4, '0');
        bytes.replace(QByteArray("TPEK4T"), locator);
        files.insert(QStringLiteral("G%1_%2.MIR").arg(gateway).arg(n, 5, 10, QLatin1Char('0')),
                     bytes);
    }
    return files;
}

QStringList racingProblems(const QList<const GatewayHome*>& gateways, int count) {
    QStringList problems;
    for (const GatewayHome* gateway : gateways) {
        if (!gateway->waitingFiles().isEmpty())
            problems.append(QStringLiteral("left waiting: ") + gateway->waitingFiles().join(u' '));
    }
    const TestDatabase& db = gateways.first()->db();
    for (const QString& key : duplicateKeys(db))
        problems.append(QStringLiteral("key shared: ") + key);
    // The files of one kind hold the same versions; the first gateway's
    // first two files show what each kind holds.
    const QMap<QString, QStringList> stored = storedVersions(db);
    const QStringList two = stored.value(QStringLiteral("G0_00000.MIR"));
    const QStringList one = stored.value(QStringLiteral("G0_00001.MIR"));
    if (two.size() != 2 || one.size() != 1)
        problems.append(QStringLiteral("the first files hold %1 and %2 versions, not 2 and 1")
                            .arg(two.size())
                            .arg(one.size()));
    for (int gateway = 0; gateway < gateways.size(); ++gateway) {
        for (int n = 0; n < count; ++n) {
            const QString name =
                QStringLiteral("G%1_%2.MIR").arg(gateway).arg(n, 5, 10, QLatin1Char('0'));
            if (stored.value(name) != (n % 4 == 0 ? two : one))
                problems.append(QStringLiteral("%1 holds %2 versions unlike its kind")
                                    .arg(name)
                                    .arg(stored.value(name).size()));
        }
    }
    for (const QVariantList& row : db.selectRows(QStringLiteral(
             "SELECT RECLOC, COUNT(*), MIN(SER_NO), MAX(SER_NO) FROM AMAMD GROUP BY RECLOC"))) {
        const QString last = QString::number(row[1].toInt()).rightJustified(3, u'0');
        if (row[2].toString() != QLatin1String("001") || row[3].toString() != last)
            problems.append(QStringLiteral("%1: %2 versions from %3 to %4")
                                .arg(row[0].toString(), row[1].toString(), row[2].toString(),
                                     row[3].toString()));
    }
    return problems;
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

QStringList documentRowProblems(const GatewayHome& gateway,
                                const QMap<QString, QByteArray>& files) {
    QMap<QString, int> rows;
    for (const QVariantList& row : gateway.db().selectRows(
             QStringLiteral("SELECT MESSAGE FROM AMERROR WHERE MESSAGE LIKE '%[Documents]'")))
        ++rows[row[0].toString().section(QStringLiteral("-->"), 0, 0)];
    QStringList problems;
    QSet<QByteArray> damaged;
    int damagedRows = 0;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (it.key().startsWith(QLatin1String("DMG"))) {
            damaged.insert(it.value());
            damagedRows += rows.value(it.key());
        } else if (rows.value(it.key()) != 0) {
            problems.append(QStringLiteral("%1: %2 [Documents] rows").arg(it.key()).arg(rows.value(it.key())));
        }
    }
    // The same bytes are read once, whichever copy comes first.
    if (damagedRows != damaged.size())
        problems.append(QStringLiteral("%1 [Documents] rows for %2 damaged bookings")
                            .arg(damagedRows)
                            .arg(damaged.size()));
    return problems;
}
