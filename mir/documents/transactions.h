#pragma once

#include "mirdocuments.h"

#include <QStringView>

namespace mir::documents {

// The transaction the header's ticketing command (T50IN12) names, with the
// exchange indicator (T50IN7) telling an issue in exchange from a plain one.
// A blank or any code outside the table is Unknown.
Transaction transactionOf(QStringView command, QStringView exchangeIndicator);

// How the documents of a transaction are found and what happens to them.
enum class DocumentSource {
    None,       // no document event: not a sale, or not a ticketing at all
    Passengers, // the A02 serials, behind the header's airline code
    Refunded,   // the documents of A23
    Emds,       // the EMDs of A29
};
DocumentSource documentSourceOf(Transaction transaction);
Event eventOf(Transaction transaction);
DocumentKind kindOf(Transaction transaction);

} // namespace mir::documents
