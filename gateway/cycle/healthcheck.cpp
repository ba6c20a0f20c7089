#include "healthcheck.h"

#include "connectionstring.h"
#include "connectiontext.h"
#include "downloadlisting.h"
#include "fileops.h"
#include "owedposts.h"
#include "recordledger.h"
#include "serialnumber.h"
#include "shownname.h"
#include "storeerror.h"
#include "storetables.h"
#include "threadconnection.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kDaysLookedBack = 31;

const QString kDateForm = QStringLiteral("MM-dd-yyyy");
const QString kTimeForm = QStringLiteral("hh:mm:ss");

qint64 countOf(QSqlQuery& query) {
    if (!query.exec())
        throw StoreError::fromSqlError(query.lastError());
    return query.next() ? query.value(0).toLongLong() : 0;
}

// Error rows stamped after `from` and no later than `to`, at most a day
// apart: a count in the index of dates and times for each day of the span.
// Stamps are whole seconds, so "after" is from the next second on.
int errorRowsBetween(QSqlDatabase& db, const QDateTime& from, const QDateTime& to) {
    const QDateTime first = from.addSecs(1);
    qint64 rows = 0;
    for (QDate day = first.date(); day <= to.date(); day = day.addDays(1)) {
        QSqlQuery query(db);
        query.prepare(QStringLiteral(
            "SELECT COUNT(*) FROM AMERROR WHERE DATE_1 = ? AND TIME_1 >= ? AND TIME_1 <= ?"));
        query.addBindValue(day.toString(kDateForm));
        query.addBindValue(day == first.date() ? first.time().toString(kTimeForm)
                                               : QStringLiteral("00:00:00"));
        query.addBindValue(day == to.date() ? to.time().toString(kTimeForm)
                                            : QStringLiteral("23:59:59"));
        rows += countOf(query);
    }
    return int(rows);
}

void readErrorRows(QSqlDatabase& db, const QDateTime& now, Health& health) {
    health.errorRows24h = errorRowsBetween(db, now.addSecs(-24 * 3600), now);
    health.errorRows1h = errorRowsBetween(db, now.addSecs(-3600), now);
}

// The newest row of the ledger, looked for day by day back from today, each
// day's latest time from the index of dates and times.
void readLastStored(QSqlDatabase& db, const QDateTime& now, Health& health) {
    for (int back = 0; back < kDaysLookedBack; ++back) {
        const QString day = now.date().addDays(-back).toString(kDateForm);
        QSqlQuery latest(db);
        latest.prepare(QStringLiteral("SELECT MAX(TIME_1) FROM AMFILE WHERE DATE_1 = ?"));
        latest.addBindValue(day);
        if (!latest.exec())
            throw StoreError::fromSqlError(latest.lastError());
        if (!latest.next() || latest.value(0).isNull())
            continue;
        const QString time = latest.value(0).toString();
        QSqlQuery file(db);
        file.prepare(QStringLiteral("SELECT FILE_NM FROM AMFILE WHERE DATE_1 = ? AND TIME_1 = ?"));
        file.addBindValue(day);
        file.addBindValue(time);
        if (!file.exec())
            throw StoreError::fromSqlError(file.lastError());
        if (file.next()) {
            health.lastStoredFile = file.value(0).toString();
            health.lastStoredAt = day + QLatin1Char(' ') + time;
            return;
        }
    }
}

// Whether the ledger holds the file: its booking is stored, and only the
// steps after the rows are left.
bool isRecorded(const QByteArray& path, const QByteArray& name) {
    const FileInHand hand = openFileInHand(path);
    if (!hand.isOpen())
        return false;
    QFile file;
    file.open(hand.fd, QIODevice::ReadOnly);
    const QByteArray bytes = file.read(kCycleReadLimit);
    const FileIdentity identity = fileIdentity(shownFileName(name), hand.info, bytes);
    file.close();
    ::close(hand.fd);
    try {
        return !recordedPasses(identity).isEmpty();
    } catch (const StoreError&) {
        return false;
    }
}

void readFolders(const GatewaySettings& settings, const QDateTime& now, bool ledger,
                 Health& health) {
    if (!QFileInfo(settings.MirBackupPath).isDir())
        health.folderError = settings.MirBackupPath + QStringLiteral(" cannot be reached");
    const DownloadListing listing = listDownloadFolder(settings.MirDownPath);
    if (!listing.ok()) {
        health.folderError = settings.MirDownPath + QStringLiteral(" cannot be reached");
        return;
    }
    for (const QByteArray& name : listing.names) {
        if (isSkippedName(name))
            continue;
        ++health.waitingFiles;
        const QByteArray path = QFile::encodeName(settings.MirDownPath) + name;
        struct stat info {};
        if (::lstat(path.constData(), &info) == 0)
            health.oldestWaitingSeconds =
                std::max(health.oldestWaitingSeconds,
                         QDateTime::fromSecsSinceEpoch(info.st_mtim.tv_sec).secsTo(now));
        if (ledger && health.databaseError.isEmpty() && isRecorded(path, name))
            ++health.recordedNotFiled;
    }
}

// The status's line on serials: a warning for each record locator that has
// used more than 90 % of them.
QString serialsLine(const QList<CrowdedLocator>& crowded) {
    if (crowded.isEmpty())
        return QStringLiteral("serials: no record locator has used more than 90 %");
    QStringList warnings;
    for (const CrowdedLocator& locator : crowded)
        warnings.append(QStringLiteral("%1 has used %2 of %3 (%4 left)")
                            .arg(locator.recordLocator)
                            .arg(locator.used)
                            .arg(kLastSerial)
                            .arg(kLastSerial - locator.used));
    return QStringLiteral("serials: warning: %1; a version after the last is refused")
        .arg(warnings.join(QStringLiteral("; ")));
}

QJsonArray crowdedJson(const QList<CrowdedLocator>& crowded) {
    QJsonArray array;
    for (const CrowdedLocator& locator : crowded)
        array.append(QJsonObject{{QStringLiteral("recordLocator"), locator.recordLocator},
                                 {QStringLiteral("serialsUsed"), locator.used},
                                 {QStringLiteral("serialsLeft"), kLastSerial - locator.used}});
    return array;
}

} // namespace

Health checkHealth(const GatewaySettings& settings, const QDateTime& now, HealthDepth depth) {
    Health health;
    health.gateway = settings.MirGateway;
    health.mode = settings.isSqlMode() ? QStringLiteral("SQL") : QStringLiteral("MDB");
    const QString text = connectionTextFor(settings);
    // The ledger's lookups read through the process's connection text.
    setConnectionString(text);
    bool ledger = false;
    try {
        QSqlDatabase db = threadConnection(text);
        readErrorRows(db, now, health);
        // The metrics serve no serials.
        if (depth == HealthDepth::Full)
            health.crowdedLocators = crowdedLocators(db);
        const StoreTables tables = readStoreTables(text);
        ledger = tables.ledger;
        if (ledger) {
            readLastStored(db, now, health);
            if (tables.owedPosts)
                health.postsOwed = owedPostCount(text, settings.MirDownPath);
            // A ledger that refuses keeps every booking waiting.
            if (depth == HealthDepth::Full)
                health.ledgerError = ledgerWriteRefusal(text);
        }
    } catch (const StoreError& error) {
        health.databaseError = error.description();
    }
    readFolders(settings, now, ledger && depth == HealthDepth::Full, health);
    closeThreadConnection(text);
    return health;
}

Health::State Health::state() const {
    if (!databaseError.isEmpty() || !ledgerError.isEmpty() || !folderError.isEmpty())
        return State::Down;
    if (oldestWaitingSeconds > kWaitingTooLongSeconds || errorRows1h > 0)
        return State::Degraded;
    return State::Healthy;
}

QString Health::stateName() const {
    switch (state()) {
    case State::Healthy:
        return QStringLiteral("healthy");
    case State::Degraded:
        return QStringLiteral("degraded");
    case State::Down:
        break;
    }
    return QStringLiteral("down");
}

QString Health::text() const {
    QStringList lines;
    lines << QStringLiteral("state: %1").arg(stateName()) << QStringLiteral("mode: %1").arg(mode)
          << QStringLiteral("database: %1")
                 .arg(databaseError.isEmpty() ? QStringLiteral("reached")
                                              : QStringLiteral("not reached: ") + databaseError)
          << QStringLiteral("ledger: %1")
                 .arg(ledgerError.isEmpty() ? QStringLiteral("takes versions")
                                            : QStringLiteral("refuses: ") + ledgerError)
          << QStringLiteral("folders: %1")
                 .arg(folderError.isEmpty() ? QStringLiteral("reached") : folderError)
          << QStringLiteral("waiting files: %1 (oldest %2 s)")
                 .arg(waitingFiles)
                 .arg(oldestWaitingSeconds)
          << QStringLiteral("recorded, not yet filed away: %1").arg(recordedNotFiled)
          << QStringLiteral("last stored: %1")
                 .arg(lastStoredFile.isEmpty()
                          ? QStringLiteral("none")
                          : lastStoredFile + QStringLiteral(" at ") + lastStoredAt)
          << QStringLiteral("posts owed: %1").arg(postsOwed)
          << QStringLiteral("error rows: %1 in 24 h, %2 in the last hour")
                 .arg(errorRows24h)
                 .arg(errorRows1h)
          << serialsLine(crowdedLocators)
          << QStringLiteral("gateway: %1")
                 .arg(gateway.isEmpty() ? QStringLiteral("none yet (made at its first run)")
                                        : gateway);
    return lines.join(QLatin1Char('\n'));
}

QString Health::json() const {
    const QJsonObject object{
        {QStringLiteral("state"), stateName()},
        {QStringLiteral("gateway"), gateway},
        {QStringLiteral("mode"), mode},
        {QStringLiteral("databaseReached"), databaseError.isEmpty()},
        {QStringLiteral("databaseError"), databaseError},
        {QStringLiteral("ledgerWritable"), ledgerError.isEmpty()},
        {QStringLiteral("ledgerError"), ledgerError},
        {QStringLiteral("foldersReached"), folderError.isEmpty()},
        {QStringLiteral("folderError"), folderError},
        {QStringLiteral("waitingFiles"), waitingFiles},
        {QStringLiteral("oldestWaitingSeconds"), oldestWaitingSeconds},
        {QStringLiteral("recordedNotFiled"), recordedNotFiled},
        {QStringLiteral("postsOwed"), postsOwed},
        {QStringLiteral("lastStoredFile"), lastStoredFile},
        {QStringLiteral("lastStoredAt"), lastStoredAt},
        {QStringLiteral("errorRows24h"), errorRows24h},
        {QStringLiteral("errorRows1h"), errorRows1h},
        {QStringLiteral("crowdedLocators"), crowdedJson(crowdedLocators)},
    };
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}
