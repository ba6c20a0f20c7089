#pragma once

#include <QString>

// Marks the booking version just written as processed: PROC_TP = "N" and
// KIND = the kind text ("" when empty, never NULL) on its AMAMD row, on the
// calling thread's connection for ConnectionString(). Meant to run in the
// version's own transaction: only the row of that record locator, serial
// number and file that is still unmarked ("*") is changed, so an earlier
// version under the same key keeps its values. No row found changes nothing.
// Throws StoreError.
void updateBookingStatus(const QString& recordLocator, const QString& serialNumber,
                         const QString& fileName, const QString& kind);
