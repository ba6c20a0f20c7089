#pragma once

#include "mirdocuments.h"

#include <QStringView>

namespace mir::documents {

// The transaction the header's ticketing-command indicator (T50IN12) names:
// blank (or "N") a regular issue, "V" void, "R" refund, "C" cancelled refund,
// "E" EMD issue, "D" EMD void, "F" EMD refund, "X" EMD exchange; any other
// code names no document transaction.
Transaction transactionOf(QStringView indicator);

// The event each document of a file gets for the file's transaction.
Event eventOf(Transaction transaction);

bool isEmdTransaction(Transaction transaction);

} // namespace mir::documents
