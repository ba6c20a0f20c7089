#pragma once

#include "korvaclient.h"

// The typical booking of the benchmark: 3 passengers with GDS tickets,
// 4 segments, 2 carrier record locators.
korva::Pnr typicalBooking(const QString& recordLocator);

// One record pass as the record phase runs it with XML export off, in one
// transaction: the serial number, the three writers (14 rows), the status
// update and the ledger row, then one commit. Returns the commit's own time
// in milliseconds.
double storeBooking(const korva::Pnr& pnr);
inline constexpr int kRowsPerBooking = 1 + 2 + 1 + 4 + 3 * 2 + 1;
