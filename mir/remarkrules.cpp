#include "remarkrules.h"

#include "mirlayout.h"

namespace mir {

RemarkRule remarkRule(QStringView line) {
    const QStringView key = fieldText(line, layout::a14::kKey);
    const auto keyIs = [&](QStringView expected) {
        return key.compare(expected, Qt::CaseInsensitive) == 0;
    };
    const auto keyStartsWith = [&](QStringView expected) {
        return key.startsWith(expected, Qt::CaseInsensitive);
    };
    if (keyIs(u"SELL PRICE"))
        return RemarkRule::SellingPrice;
    if (keyIs(u"**NET FARE"))
        return RemarkRule::NetFare;
    if (keyStartsWith(u"**APT TAX"))
        return RemarkRule::AirportTax;
    if (keyStartsWith(u"****TKNO-"))
        return RemarkRule::HandTicket;
    if (fieldText(line, layout::a14::kKind) == u"VL")
        return RemarkRule::CarrierLocator;
    return RemarkRule::None;
}

QStringList carriersSharingLocator(QStringView carrier) {
    if (carrier == u"1A") {
        return {QStringLiteral("AF"), QStringLiteral("BD"), QStringLiteral("IB"),
                QStringLiteral("LA"), QStringLiteral("LH"), QStringLiteral("OS"),
                QStringLiteral("RG")};
    }
    if (carrier == u"CA")
        return {QStringLiteral("CZ"), QStringLiteral("FM"), QStringLiteral("MU"),
                QStringLiteral("NX")};
    return {};
}

} // namespace mir
