#pragma once

#include "gatewaysettings.h"

#include <QElapsedTimer>
#include <QString>

// The cycle's hold on its gateway's identity while it runs (see
// gatewayidentity.h): claimed before the first file and before the poster
// starts, said alive while it runs, given up at its end. Lives on the
// cycle's thread.
class IdentityHold {
public:
    enum class Claim {
        Held,        // held, or the database keeps no identities (`kept` false)
        Refused,     // another live gateway holds it: the run must not go on
        Unreachable, // the database cannot say now
    };

    // Makes the identity in the settings store when it has none yet, and
    // claims it on the database when it keeps identities. `refusal()` says
    // why not.
    Claim claim(GatewaySettings& settings, bool kept);
    QString refusal() const { return m_refusal; }

    // Says the run is alive, at most every few seconds; false when another
    // run has taken the identity meanwhile.
    bool beat();
    // Says so now, in a commit that waits for the disk and makes every
    // earlier commit of the cycle durable; false when it did not.
    bool beatDurably();
    void release();

private:
    QString m_refusal;
    QElapsedTimer m_sinceBeat;
};
