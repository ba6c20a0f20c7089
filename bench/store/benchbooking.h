#pragma once

#include "korvaclient.h"

// The typical booking of the benchmark: 3 passengers with GDS tickets,
// 4 segments, 2 carrier record locators.
korva::Pnr typicalBooking(const QString& recordLocator);

// One record pass as the record phase runs it with XML export off: the
// serial number, then the three writers. 14 rows, each saved on its own.
void storeBooking(const korva::Pnr& pnr);
inline constexpr int kRowsPerBooking = 1 + 2 + 1 + 4 + 3 * 2;
