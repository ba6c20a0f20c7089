#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace mir::documents {

// An amount field of a MIR as decimal text: blanks around it dropped, then an
// optional "-", digits and at most four decimals after a full stop ("1250",
// "-8800.50"). Nothing for a field that holds anything else; "" for a blank one.
std::optional<QString> decimalField(QStringView field);

// The sum of decimal texts of that form, with as many decimals as the most
// precise of them; nothing when a value has more than 18 digits.
std::optional<QString> decimalSum(const QList<QString>& amounts);

} // namespace mir::documents
