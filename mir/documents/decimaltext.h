#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace mir::documents {

// An amount field of a MIR section as decimal text: blanks around it dropped,
// then an optional "-", digits and at most four decimals after a full stop
// ("1250", "-8800.50"). Nothing for a field that holds anything else; "" for
// a blank one.
std::optional<QString> decimalField(QStringView field);

// An amount the header gives as digits only, with `decimals` of them after
// an implied point ("000001250" with 2 gives "12.50"). Nothing for a field
// that holds anything else; "" for a blank one.
std::optional<QString> impliedDecimalField(QStringView field, int decimals);

// The sum of decimal texts of that form, with as many decimals as the most
// precise of them; nothing when a value has more than 18 digits.
std::optional<QString> decimalSum(const QList<QString>& amounts);

} // namespace mir::documents
