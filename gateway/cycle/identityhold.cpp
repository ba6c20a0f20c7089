#include "identityhold.h"

#include "connectionstring.h"
#include "gatewayidentity.h"
#include "storedsettings.h"
#include "storeerror.h"

#include <QDateTime>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// A holder on this host whose process is gone has ended, however lately it
// beat (a run killed and started again at once).
bool endedHere(const IdentityHolder& holder) {
    if (holder.host != QSysInfo::machineHostName() || holder.processId <= 0)
        return false;
    return holder.processId == ::getpid() ||
           (::kill(pid_t(holder.processId), 0) != 0 && errno == ESRCH);
}

} // namespace

IdentityHold::Claim IdentityHold::claim(GatewaySettings& settings, bool kept) {
    m_refusal = ensureGatewayIdentity(settings);
    if (!m_refusal.isEmpty())
        return Claim::Refused;
    if (!kept)
        return Claim::Held;
    IdentityClaim claim;
    try {
        claim = claimGatewayIdentity(ConnectionString(), settings.MirGateway,
                                     QSysInfo::machineHostName(), settings.MirDownPath, nowMs(),
                                     endedHere);
    } catch (const StoreError& error) {
        if (error.cause() == StoreError::Cause::Connection)
            return Claim::Unreachable;
        m_refusal = QStringLiteral("the gateway's identity %1 cannot be claimed: %2")
                        .arg(settings.MirGateway, error.description());
        return Claim::Refused;
    }
    if (claim.held) {
        m_sinceBeat.start();
        return Claim::Held;
    }
    m_refusal =
        QStringLiteral("another gateway runs with this gateway's identity %1 on the database (on "
                       "%2, process %3, alive %4 s ago): its settings store is most likely a copy "
                       "of this one. Give one of them an identity of its own with kesto setup "
                       "--new-identity.")
            .arg(settings.MirGateway, claim.holder.host)
            .arg(claim.holder.processId)
            .arg((nowMs() - claim.holder.beatMs) / 1000);
    return Claim::Refused;
}

bool IdentityHold::beat() {
    if (!m_sinceBeat.isValid() || m_sinceBeat.elapsed() < kIdentityBeatMs)
        return true;
    try {
        if (!beatGatewayIdentity(ConnectionString(), nowMs()))
            return false;
        m_sinceBeat.restart();
    } catch (const StoreError&) {
        // Said again at the next chance; a database away is the files' matter.
    }
    return true;
}

bool IdentityHold::beatDurably() {
    if (!beatGatewayIdentityDurably(ConnectionString(), nowMs()))
        return false;
    m_sinceBeat.restart();
    return true;
}

void IdentityHold::release() {
    if (!m_sinceBeat.isValid())
        return;
    m_sinceBeat.invalidate();
    try {
        releaseGatewayIdentity(ConnectionString());
    } catch (const StoreError&) {
        // The roster then shows it alive for a minute longer.
    }
}
