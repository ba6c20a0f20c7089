#include "gatewayidentity.h"

#include "clock.h"
#include "fixedforms.h"
#include "groupcommit.h"
#include "preparedquery.h"
#include "rowappender.h"
#include "storecall.h"

#include <QMutex>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Set by a claim on the cycle's thread, read by the poster's and the metrics
// endpoint's too.
QMutex s_mutex;
QString s_id;
QString s_runId; // the token of the run that holds s_id

void setHeld(const QString& id, const QString& runId) {
    const QMutexLocker lock(&s_mutex);
    s_id = id;
    s_runId = runId;
}

QString heldRun() {
    const QMutexLocker lock(&s_mutex);
    return s_runId;
}

std::optional<std::pair<IdentityHolder, QString>> holderOf(QSqlDatabase& db, const QString& id) {
    PreparedQuery query(db, u"SELECT HOST_NM, PROC_ID, BEAT_MS, RUN_ID FROM AMGATEWAY "
                            "WHERE GW_ID = ?"_s);
    query.bind(id);
    query.exec();
    QSqlQuery& row = query.query();
    if (!row.next())
        return std::nullopt;
    return std::pair{IdentityHolder{row.value(0).toString(), row.value(1).toString().toLongLong(),
                                    row.value(2).toString().toLongLong()},
                     row.value(3).toString()};
}

QString newRunId() {
    QString token;
    for (int i = 0; i < 4; ++i)
        token +=
            QString::number(QRandomGenerator::system()->generate(), 16).rightJustified(8, u'0');
    return token;
}

NewRow holderRow(const QString& id, const QString& host, const QString& folder,
                 const QString& runId, qint64 nowMs) {
    NewRow row(u"AMGATEWAY"_s);
    row.set(u"GW_ID"_s, id);
    row.set(u"HOST_NM"_s, host.left(255));
    row.set(u"PROC_ID"_s, QString::number(::getpid()));
    row.set(u"RUN_ID"_s, runId);
    row.set(u"DIR_NM"_s, folder);
    row.set(u"BEAT_MS"_s, QString::number(nowMs));
    row.set(u"DATE_1"_s, dateTextMdy(currentClock().now().date()));
    row.set(u"TIME_1"_s, timeTextHms(currentClock().now().time()));
    return row;
}

// Sets the run's beat, only while `runId` holds the identity; whether it did.
bool setBeat(QSqlDatabase& db, const QString& runId, qint64 beatMs) {
    PreparedQuery query(db, u"UPDATE AMGATEWAY SET BEAT_MS = ? WHERE GW_ID = ? AND RUN_ID = ?"_s);
    query.bind(QString::number(beatMs));
    query.bind(GatewayId());
    query.bind(runId);
    query.exec();
    return query.query().numRowsAffected() == 1;
}

} // namespace

QString GatewayId() {
    const QMutexLocker lock(&s_mutex);
    return s_id;
}

QString ownRowsCondition() {
    return GatewayId().isEmpty() ? QString() : u" AND (GW_ID = ? OR GW_ID IS NULL)"_s;
}

QVariantList ownRowsValues() {
    const QString id = GatewayId();
    return id.isEmpty() ? QVariantList() : QVariantList{id};
}

void bindOwnRows(PreparedQuery& query) {
    for (const QVariant& value : ownRowsValues())
        query.bind(value);
}

IdentityClaim claimGatewayIdentity(const QString& connectionText, const QString& id,
                                   const QString& host, const QString& folder, qint64 nowMs,
                                   const std::function<bool(const IdentityHolder&)>& ended) {
    setHeld({}, {});
    IdentityClaim claim;
    const QString runId = newRunId();
    runInThreadTransaction(connectionText, [&] {
        withThreadConnection(connectionText, [&](QSqlDatabase& db) {
            const auto held = holderOf(db, id);
            if (!held) {
                appendRow(db, holderRow(id, host, folder, runId, nowMs));
                claim.held = true;
                return;
            }
            const IdentityHolder& holder = held->first;
            const bool alive =
                holder.beatMs > 0 && nowMs - holder.beatMs < kIdentityLiveMs && !ended(holder);
            claim.holder = holder;
            if (alive)
                return;
            // Taken over only from the run that was seen: two that start at
            // once cannot both take it.
            PreparedQuery take(db, u"UPDATE AMGATEWAY SET HOST_NM = ?, PROC_ID = ?, RUN_ID = ?, "
                                   "DIR_NM = ?, BEAT_MS = ? WHERE GW_ID = ? AND RUN_ID = ?"_s);
            for (const QString& value : {host.left(255), QString::number(::getpid()), runId, folder,
                                         QString::number(nowMs), id, held->second})
                take.bind(value);
            take.exec();
            claim.held = take.query().numRowsAffected() == 1;
        });
    });
    if (claim.held)
        setHeld(id, runId);
    return claim;
}

bool beatGatewayIdentity(const QString& connectionText, qint64 nowMs) {
    const QString runId = heldRun();
    if (runId.isEmpty())
        return true;
    return withThreadConnection(connectionText,
                                [&](QSqlDatabase& db) { return setBeat(db, runId, nowMs); });
}

bool beatGatewayIdentityDurably(const QString& connectionText, qint64 nowMs) {
    const QString runId = heldRun();
    return !runId.isEmpty() &&
           makeThreadCommitsDurable(connectionText,
                                    [&](QSqlDatabase& db) { return setBeat(db, runId, nowMs); });
}

void releaseGatewayIdentity(const QString& connectionText) {
    const QString runId = heldRun();
    if (runId.isEmpty())
        return;
    withThreadConnection(connectionText, [&](QSqlDatabase& db) { setBeat(db, runId, 0); });
    setHeld(GatewayId(), {});
}

void readAsGateway(const QString& id) {
    setHeld(id, {});
}
