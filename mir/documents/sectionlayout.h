#pragma once

#include "fieldtable.h"

#include <array>

// The fields the document reader takes from a MIR, section by section, with
// the columns of the public MIR format guide (its offsets are 0-based; the
// columns here are 1-based). Tests build their lines from these same tables.
namespace mir::documents::layout {

// The header record (343 characters; columns 81, 145, 242 and 294 hold CRs).
// Where the interpreter reads a field of it too (sequence, date, airline,
// record locator, commission, tour code), both read the same columns.
inline constexpr std::array<Field, 16> kHeader{{
    {"T50BID", 1, 2},    // "T5"
    {"T50SZE", 11, 5},   // declared length
    {"T50SEQ", 16, 5},   // MIR sequence number
    {"T50CRE", 21, 7},   // creation (issue) date, DDMMMYY
    {"T50ISC", 33, 2},   // issuing airline code
    {"T50ISA", 35, 3},   // issuing airline numeric code
    {"T50BPC", 82, 4},   // booking pseudo-city code
    {"T50TPC", 86, 4},   // ticketing pseudo-city code
    {"T50IAT", 90, 9},   // IATA (ARC/BSP) number
    {"T50RCL", 99, 6},   // record locator
    {"T50BAS", 111, 4},  // booking agent sign and duty code
    {"T50TAS", 115, 4},  // ticketing agent sign and duty code
    {"T50COM", 219, 8},  // commission amount or rate
    {"T50TCN", 227, 15}, // tour code
    {"T50CUR", 243, 3},  // currency
    {"T50IN3", 297, 1},  // exchange indicator
}};
// The ticketing-command indicator, one of the sixteen indicators from column 295.
inline constexpr Field kTicketingCommand{"T50IN12", 306, 1};

// A02 passenger data: one line per passenger.
inline constexpr std::array<Field, 5> kPassenger{{
    {"A02NME", 4, 33},  // passenger name
    {"A02TKT", 49, 10}, // ticket serial (without the airline code), as the interpreter reads it
    {"A02NBK", 59, 2},  // number of ticket books (conjunction count)
    {"A02FIN", 73, 2},  // associated fare item number
    {"A02EIN", 75, 2},  // associated exchange item number
}};

// A07 fare value: amounts blank filled, right justified, with their decimals.
inline constexpr std::array<Field, 5> kFare{{
    {"A07FSI", 4, 2},   // fare section indicator
    {"A07CRB", 6, 3},   // currency of the base fare
    {"A07TBF", 9, 12},  // base fare
    {"A07CRT", 21, 3},  // currency of the total
    {"A07TTA", 24, 12}, // total amount
}};
// A tax box of A07 (also on the expanded tax lines): an identifier "T1:" to
// "T9:", then the amount and the tax code.
inline constexpr qsizetype kTaxAmountWidth = 8;
inline constexpr qsizetype kTaxCodeWidth = 2;

// A10 exchange: the original document a new ticket replaces.
inline constexpr std::array<Field, 2> kExchange{{
    {"A10EXI", 4, 2},  // passenger number (A02EIN)
    {"A10OTN", 6, 13}, // original ticket: airline code and serial
}};

// A11 form of payment.
inline constexpr std::array<Field, 4> kPayment{{
    {"A11TYP", 4, 2},   // form of payment type
    {"A11AMT", 6, 12},  // amount collected or refunded
    {"A11CCC", 19, 2},  // card code
    {"A11CCN", 21, 20}, // card number
}};

// A23 refund: the refunded document (13 digits and a check digit) and the
// end of its range.
inline constexpr std::array<Field, 2> kRefund{{
    {"A23TKT", 4, 14},
    {"A23RTK", 19, 14},
}};

// A29 EMD data.
inline constexpr std::array<Field, 7> kEmd{{
    {"A29PAX", 4, 2},    // passenger number
    {"A29NAM", 15, 55},  // passenger name
    {"A29EMD", 70, 13},  // EMD number
    {"A29CNJ", 83, 13},  // last EMD number of a conjunction
    {"A29VCR", 96, 2},   // validating carrier
    {"A29CTA", 143, 3},  // currency of the total
    {"A29TLA", 146, 12}, // total amount
}};

// A30 EMD coupon data.
inline constexpr std::array<Field, 1> kEmdCoupon{{
    {"A30EMD", 9, 13}, // EMD number of the coupon (after passenger, segment and coupon number)
}};

} // namespace mir::documents::layout
