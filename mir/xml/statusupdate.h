#pragma once

#include <QString>

// Marks a stored booking version as processed: PROC_TP = "N" and KIND = the
// kind text on the AMAMD row of the record locator and serial number, on the
// calling thread's connection for ConnectionString(). No row found changes
// nothing. Throws StoreError.
void updateBookingStatus(const QString& recordLocator, const QString& serialNumber,
                         const QString& kind);
