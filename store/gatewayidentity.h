#pragma once

#include <QString>
#include <QVariantList>

#include <functional>

class PreparedQuery;

// Which gateway this process is, among those that share the database: its
// identity (the settings store's MirGateway) goes with every ledger row,
// owed post and foreign entry it writes, and it looks up, resumes and posts
// only its own, and those written before gateways had identities. The
// identity is claimed for one run at a time in the roster of gateways (table
// AMGATEWAY), so that a copied settings store never makes two live gateways
// of one identity. Functions that take a connection text throw StoreError.

// The identity the rows of this process carry; "" until a run holds one, and
// on a database that keeps no identities (made before them): then rows are
// written and found as before, by their file and folder alone.
QString GatewayId();

// " AND (GW_ID = ? OR GW_ID IS NULL)" for a statement on a table with rows
// of several gateways, "" while no identity is held; ownRowsValues gives its
// value, and bindOwnRows binds it.
QString ownRowsCondition();
QVariantList ownRowsValues();
void bindOwnRows(PreparedQuery& query);

// Who holds an identity: the host and process of the run, and when it last
// said it was alive.
struct IdentityHolder {
    QString host;
    qint64 processId = 0;
    qint64 beatMs = 0; // milliseconds since the epoch; 0 once it stopped
};

struct IdentityClaim {
    bool held = false;     // this run holds it; rows carry it from now on
    IdentityHolder holder; // when another run that is alive holds it
};

// A run that has not said it is alive for this long has ended.
inline constexpr qint64 kIdentityLiveMs = 60000;
// How often a run says so.
inline constexpr qint64 kIdentityBeatMs = 15000;

// Claims the identity for this process's run from `host`, unless another run
// that is alive holds it, on a database that keeps identities (storetables.h).
// A holder that beat lately still counts as ended when `ended` says so (a
// process on this same host that is gone).
IdentityClaim claimGatewayIdentity(const QString& connectionText, const QString& id,
                                   const QString& host, const QString& folder, qint64 nowMs,
                                   const std::function<bool(const IdentityHolder&)>& ended);
// Says the run is alive; false when another run has taken the identity
// meanwhile. Nothing while no identity is held.
bool beatGatewayIdentity(const QString& connectionText, qint64 nowMs);
// Says the run is alive in a commit that waits for the disk, and with it
// every earlier commit of the calling thread (groupcommit.h); false when no
// identity is held, another run has taken it, or the commit did not succeed.
bool beatGatewayIdentityDurably(const QString& connectionText, qint64 nowMs);
// Gives the identity up at the end of the run, so that the next one takes it
// at once.
void releaseGatewayIdentity(const QString& connectionText);

// For a command that only reads (kesto status), on a database that keeps
// identities: the rows of `id` are this process's. Claims nothing.
void readAsGateway(const QString& id);
