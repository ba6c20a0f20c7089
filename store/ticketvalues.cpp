#include "ticketvalues.h"

#include "leadingnumber.h"
#include "storeerror.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// The largest whole amount a currency value holds (its 64-bit count of
// ten-thousandths divided by 10000).
constexpr double kLargestWhole = 922337203685477.0;

Currency wholeCurrency(double rounded) {
    if (!(std::fabs(rounded) <= kLargestWhole))
        throw StoreError(StoreError::kOverflow, "Overflow"_L1);
    return *Currency::fromWhole(static_cast<qint64>(rounded));
}

} // namespace

TicketAmounts ticketAmounts(const QString& baseAm, const QString& tktNetb, const QString& commRt,
                            const QString& taxAmb) {
    TicketAmounts amounts;
    amounts.net = leadingNumberCurrency(tktNetb);
    amounts.base = leadingNumberCurrency(baseAm);

    const double base = leadingNumber(baseAm);
    const double commission = leadingNumber(commRt);
    if (base > 0 && commission > 0 && amounts.net == Currency()) {
        const double rate = commission / 100;
        if (rate >= 1 && rate < 100) {
            const double net = base - base * commission / 100 / 100;
            amounts.net = wholeCurrency(std::nearbyint(net)); // ties to even
        }
    }

    // A record without a fare section (an EMD) has no tax text at all: no tax.
    if (taxAmb.trimmed().isEmpty())
        return amounts;
    const std::optional<Currency> tax = Currency::fromText(taxAmb);
    if (!tax)
        throw StoreError(StoreError::kTypeMismatch,
                         u"Type mismatch: TAX_AMB '%1' is not an amount"_s.arg(taxAmb));
    amounts.tax = *tax;
    return amounts;
}
