#pragma once

#include "currency.h"

#include <QString>

// The amounts of a GDS-issued ticket row, the same for every passenger of a
// booking, computed from the booking's texts.
struct TicketAmounts {
    Currency base; // leading number of BASE_AM
    Currency net;  // leading number of TKT_NETB, or the net fare computed from the commission
    Currency tax;  // TAX_AMB converted as a whole
};

// base/net/commission never fail (no leading number counts as 0) unless a
// number is too large for a currency amount (StoreError, overflow). A TAX_AMB
// that is present must be a number: a non-numeric text throws StoreError (type
// mismatch). An empty or blank TAX_AMB (a record without a fare section)
// is a tax of 0.
//
// Net fare: when the base and the commission (in hundredths of a percent)
// are above 0, TKT_NETB is 0 and the commission lies from 100 to just under
// 10000, net = base - base * commission / 100 / 100 in double precision,
// rounded to a whole number with halves to the even neighbour.
TicketAmounts ticketAmounts(const QString& baseAm, const QString& tktNetb, const QString& commRt,
                            const QString& taxAmb);
