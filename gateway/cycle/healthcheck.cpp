#include "healthcheck.h"

#include "connectionstring.h"
#include "connectiontext.h"
#include "downloadlisting.h"
#include "fileops.h"
#include "owedposts.h"
#include "recordledger.h"
#include "shownname.h"
#include "storeerror.h"
#include "storetables.h"
#include "threadconnection.h"

#include <QFile>
#include <QFileInfo>
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

// Rows of a table whose DATE_1 is the day, as (date, time) stamps.
QList<QDateTime> stampsOn(QSqlDatabase& db, const QString& table, const QDate& day) {
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT TIME_1 FROM %1 WHERE DATE_1 = ?").arg(table));
    query.addBindValue(day.toString(kDateForm));
    if (!query.exec())
        throw StoreError::fromSqlError(query.lastError());
    QList<QDateTime> stamps;
    while (query.next())
        stamps.append(QDateTime(day, QTime::fromString(query.value(0).toString(), kTimeForm)));
    return stamps;
}

void readErrorRows(QSqlDatabase& db, const QDateTime& now, Health& health) {
    for (const QDate& day : {now.date(), now.date().addDays(-1)}) {
        for (const QDateTime& stamp : stampsOn(db, QStringLiteral("AMERROR"), day)) {
            const qint64 age = stamp.secsTo(now);
            if (age >= 0 && age < 24 * 3600)
                ++health.errorRows24h;
            if (age >= 0 && age < 3600)
                ++health.errorRows1h;
        }
    }
}

// The newest row of the ledger, looked for day by day back from today.
void readLastStored(QSqlDatabase& db, const QDateTime& now, Health& health) {
    for (int back = 0; back < kDaysLookedBack; ++back) {
        const QDate day = now.date().addDays(-back);
        QSqlQuery query(db);
        query.prepare(QStringLiteral("SELECT FILE_NM, TIME_1 FROM AMFILE WHERE DATE_1 = ?"));
        query.addBindValue(day.toString(kDateForm));
        if (!query.exec())
            throw StoreError::fromSqlError(query.lastError());
        while (query.next()) {
            const QString time = query.value(1).toString();
            if (health.lastStoredFile.isEmpty() || time >= health.lastStoredAt.right(8)) {
                health.lastStoredFile = query.value(0).toString();
                health.lastStoredAt = day.toString(kDateForm) + QLatin1Char(' ') + time;
            }
        }
        if (!health.lastStoredFile.isEmpty())
            return;
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
    const QByteArray bytes = file.read(1024 * 1024);
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
    };
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}
