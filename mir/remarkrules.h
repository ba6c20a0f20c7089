#pragma once

#include <QStringList>
#include <QStringView>

namespace mir {

// What an "A14" remark line does; the first rule that matches applies.
enum class RemarkRule {
    SellingPrice,   // key "SELL PRICE": the passenger's TKT_AMS
    NetFare,        // key "**NET FARE": the passenger's TKT_NET
    AirportTax,     // key starting "**APT TAX": added to the passenger's TKT_TAX
    HandTicket,     // key starting "****TKNO-": the passenger's TKT_NO1 to TKT_NO5
    CarrierLocator, // columns 4-5 "VL": carrier record locators
    None,
};

// The rule for a trimmed "A14" line. The key (columns 7-16) is compared
// without regard to letter case; "VL" must be upper case.
RemarkRule remarkRule(QStringView line);

// The carriers that share the locator a "VL" remark gives for this carrier,
// in the order their records are added (empty for most carriers).
QStringList carriersSharingLocator(QStringView carrier);

} // namespace mir
