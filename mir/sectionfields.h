#pragma once

#include <QString>
#include <QStringView>

namespace mir {

// ITN.FLT_NO from columns 23-26 of a segment line: a field that is shorter
// than three characters once trimmed is zero-padded to three; any other is
// kept as taken, blanks included.
QString flightNumber(QStringView field);

// PAX.TKT_CJ from the ticket number and the conjunction count (columns 59-60):
// empty unless the count is above 1, else the two-digit ending of the last
// ticket of the conjunction, wrapping from 99 to 00.
QString conjunctionEnding(QStringView ticketNumber, QStringView countField);

} // namespace mir
