#pragma once

#include "mirfield.h"

#include <array>

// The MIR layout as real files carry it: one table per header line group and
// section, offsets 0-based as the public format guide counts them (in the
// header every line break counts as one character). Both readers take their
// fields from here: the booking interpreter and the document reader. Where
// the interpreter reads a field under a name of its own, the field carries
// that name (PNR.RLOC_CD is T50RCL; CRAT_DM is the date and time as one).
namespace mir::layout {

// ---- header: five lines, 343 characters with their breaks ----------------

// Where the header's lines break, and so where each of its lines starts.
inline constexpr std::array<qsizetype, 5> kHeaderBreaks{80, 144, 241, 293, 342};
inline constexpr qsizetype kHeaderLength = 343;

// The header line (1-based) and column (1-based) of a header offset.
constexpr int headerLine(qsizetype offset) {
    int line = 1;
    for (const qsizetype at : kHeaderBreaks)
        line += offset > at ? 1 : 0;
    return line;
}
constexpr qsizetype headerColumn(qsizetype offset) {
    const int line = headerLine(offset);
    return line == 1 ? offset + 1 : offset - kHeaderBreaks[line - 2];
}

namespace header {
inline constexpr MirField kId{"T50BID", 0, 2};             // "T5"
inline constexpr MirField kDeclaredSize{"T50SZE", 10, 5};  // the interpreter's declared length
inline constexpr MirField kSequence{"T50SEQ", 15, 5};      // PNR.SEQ_NO
inline constexpr MirField kDate{"T50DTE", 20, 7};          // DDMMMYY
inline constexpr MirField kTime{"T50TME", 27, 5};          // "0827 " or "0846A"
inline constexpr MirField kCreated{"CRAT_DM", 20, 12};     // PNR.CRAT_DM: date and time as one
inline constexpr MirField kAirline{"T50ISC", 32, 2};       // PNR.CARR_CD; blank in refunds
inline constexpr MirField kAirlineNumber{"T50ISA", 34, 3}; // PNR.NUM_CDE; blank in refunds
inline constexpr MirField kAirlineName{"T50ISN", 37, 24};
inline constexpr MirField kFirstTravel{"T50DFT", 61, 7}; // PNR.TRVL_DT; blank in voids
inline constexpr MirField kBookingPcc{"T50BPC", 81, 4};
inline constexpr MirField kTicketingPcc{"T50TPC", 85, 4};
inline constexpr MirField kIataNumber{"T50AAN", 89, 9};
inline constexpr MirField kRecordLocator{"T50RCL", 98, 6}; // PNR.RLOC_CD
// The guide gives pseudo-city and sign as 6 bytes at 113; real files hold
// no pseudo-city there, only the 2-byte sign.
inline constexpr MirField kBookingAgent{"T50BAS", 117, 2};
inline constexpr MirField kTicketingAgent{"T50SIN", 120, 2};
inline constexpr MirField kDutyCode{"T50DTY", 122, 2};
inline constexpr MirField kFareCurrency{"T50CUR", 145, 3}; // blank in EMD issues
inline constexpr MirField kFare{"T50FAR", 148, 12};        // digits, decimals as T50DML
inline constexpr MirField kDecimals{"T50DML", 160, 1};
inline constexpr MirField kTaxCurrency{"T50TCU", 161, 3};
inline constexpr MirField kCommission{"T50COM", 214, 8};     // digits, decimals as T50DML
inline constexpr MirField kCommissionRate{"T50RTE", 222, 4}; // PNR.COMM_RT; "0500" is 5.00 %
inline constexpr MirField kTourCode{"T50ITC", 226, 15};      // FileContext.Cpnid2Source
inline constexpr MirField kIndicators{"T50IN1", 242, 17};    // T50IN1..IN17, one byte each
inline constexpr MirField kPricedByFareEngine{"T50IN3", 244, 1};
inline constexpr MirField kExchange{"T50IN7", 248, 1}; // "Y": an exchange, with A10
inline constexpr MirField kTicketingCommand{"T50IN12", 253, 1};
inline constexpr MirField kInternational{"T50IN17", 258, 1};
// Section counts, three digits each.
inline constexpr MirField kPassengerCount{"T50NPA", 300, 3};
inline constexpr MirField kAirSegmentCount{"T50NAS", 306, 3};
inline constexpr MirField kFareCount{"T50NFA", 315, 3};
inline constexpr MirField kExchangeCount{"T50NEX", 318, 3};

// The guide's line:column of each field, checked against its offset.
static_assert(headerLine(kFirstTravel.offset) == 1 && headerColumn(kFirstTravel.offset) == 62);
static_assert(headerLine(kBookingPcc.offset) == 2 && headerColumn(kBookingPcc.offset) == 1);
static_assert(headerLine(kRecordLocator.offset) == 2 && headerColumn(kRecordLocator.offset) == 18);
static_assert(headerLine(kBookingAgent.offset) == 2 && headerColumn(kBookingAgent.offset) == 37);
static_assert(headerLine(kTicketingAgent.offset) == 2 &&
              headerColumn(kTicketingAgent.offset) == 40);
static_assert(headerLine(kFareCurrency.offset) == 3 && headerColumn(kFareCurrency.offset) == 1);
static_assert(headerLine(kCommission.offset) == 3 && headerColumn(kCommission.offset) == 70);
static_assert(headerLine(kCommissionRate.offset) == 3 &&
              headerColumn(kCommissionRate.offset) == 78);
static_assert(headerLine(kTourCode.offset) == 3 && headerColumn(kTourCode.offset) == 82);
static_assert(headerLine(kExchange.offset) == 4 && headerColumn(kExchange.offset) == 7);
static_assert(headerLine(kTicketingCommand.offset) == 4 &&
              headerColumn(kTicketingCommand.offset) == 12);
static_assert(headerLine(kPassengerCount.offset) == 5 &&
              headerColumn(kPassengerCount.offset) == 7);
} // namespace header

// ---- sections: offsets within the section's own line ---------------------

// The section lines begin after the header, its break and one empty line;
// the interpreter always starts there.
inline constexpr qsizetype kSectionsFrom = kHeaderLength + 1;

namespace a02 { // passenger, one 80-byte line each
inline constexpr qsizetype kLineLength = 80;
inline constexpr MirField kName{"A02NME", 3, 33}; // PAX.PAX_NM
inline constexpr MirField kTransactionNumber{"A02TRN", 36, 11};
inline constexpr MirField kIssueYear{"A02IYR", 47, 1}; // last digit of the issue year
inline constexpr MirField kSerial{"A02TKT", 48, 10};   // PAX.TKT_NO: the serial, no airline
inline constexpr MirField kBooks{"A02NBK", 58, 2};     // "00": no document; conjunction count
inline constexpr MirField kInvoice{"A02INV", 60, 9};
inline constexpr MirField kPassengerType{"A02PTC", 69, 6};
inline constexpr MirField kFareItem{"A02FIN", 75, 2};     // A07's fare section
inline constexpr MirField kExchangeItem{"A02EIN", 77, 2}; // A10's item
} // namespace a02

namespace a04 { // air segment, read by the interpreter under its own names
inline constexpr MirField kIndex{"ITN_IDX", 3, 2};
inline constexpr MirField kCarrier{"CARR_CD", 5, 2};
inline constexpr MirField kFlight{"FLT_NO", 22, 4};
inline constexpr MirField kClass{"TKT_CLS", 26, 2};
inline constexpr MirField kStatus{"TKT_ST", 28, 2};
inline constexpr MirField kDepartureDate{"DEP_DT", 30, 5};
inline constexpr MirField kDepartureTime{"DEP_TM", 35, 5};
inline constexpr MirField kArrivalTime{"ARR_TM", 40, 5};
inline constexpr MirField kNextDay{"NXDT_FG", 45, 1};
inline constexpr MirField kOrigin{"ORIG_CT", 46, 3};
inline constexpr MirField kDestination{"DEST_CT", 62, 3};
inline constexpr MirField kStopover{"STOP_OV", 84, 1};
inline constexpr MirField kStopoverA05{"STOP_OV", 82, 1}; // an "A05" line's
} // namespace a04

namespace a07 { // fare, one per fare section
inline constexpr MirField kFareSection{"A07FSI", 3, 2};
inline constexpr MirField kBaseCurrency{"A07CRB", 5, 3};
inline constexpr MirField kBase{"A07TBF", 8, 12}; // PNR.BASE_AM
inline constexpr MirField kTotalCurrency{"A07CRT", 20, 3};
inline constexpr MirField kTotal{"A07TTA", 23, 12}; // per passenger; a void's voided total
inline constexpr MirField kEquivalentCurrency{"A07CRE", 35, 3};
inline constexpr MirField kEquivalent{"A07EQV", 38, 12};
inline constexpr MirField kTaxCurrency{"A07CRX", 50, 3};
// Three tax boxes: "T1:", an 8-byte amount and a 2-byte code. The
// interpreter reads their amounts as the first, second and third tax.
inline constexpr std::array<qsizetype, 3> kTaxBoxes{53, 66, 79};
} // namespace a07

// A tax box "Tn:" + amount + code, as A07 and a refund's BF: line carry them.
namespace taxbox {
inline constexpr qsizetype kWidth = 13;
inline constexpr MirField kLabel{"Tn:", 0, 3};
inline constexpr MirField kAmount{"amount", 3, 8};
inline constexpr MirField kCode{"code", 11, 2};
// A part of the box that starts at `box` on its line.
constexpr MirField at(qsizetype box, const MirField& part) {
    return {part.label, box + part.offset, part.width};
}
} // namespace taxbox

// The IT: line after A07, A10 or A23: further taxes in 10-byte boxes from
// offset 3, an 8-byte amount and a 2-byte code; their sum is A07's XT box.
namespace ittaxes {
inline constexpr qsizetype kFirst = 3;
inline constexpr qsizetype kWidth = 10;
inline constexpr MirField kAmount{"amount", 0, 8};
inline constexpr MirField kCode{"code", 8, 2};
constexpr MirField at(qsizetype box, const MirField& part) {
    return {part.label, box + part.offset, part.width};
}
} // namespace ittaxes

namespace a08 {
inline constexpr MirField kCpnid{"Cpnid", 7, 8}; // FileContext.Cpnid
} // namespace a08

namespace a10 { // exchange: the item line, then TI: lines and an amounts line
inline constexpr MirField kItem{"A10EXI", 3, 2};
inline constexpr MirField kOriginalDate{"A10OID", 5, 7}; // DDMMMYY
inline constexpr MirField kOriginalPlace{"A10OPL", 12, 8};
inline constexpr MirField kExchangeType{"A10TYP", 79, 1}; // A add-collect, R refund, E even
inline constexpr MirField kTiDocument{"TI:DOC", 3, 14};   // 13 digits and a check digit
inline constexpr MirField kTiCoupons{"TI:CPN", 17, 4};
inline constexpr MirField kAmountsCurrency{"A10CUR", 0, 3};
inline constexpr MirField kOriginalBase{"A10OBF", 3, 12};
inline constexpr MirField kOriginalTotal{"A10OTT", 83, 12}; // digits, decimals as T50DML
} // namespace a10

namespace a11 { // form of payment
inline constexpr MirField kType{"A11TYP", 3, 2};
inline constexpr MirField kAmount{"A11AMT", 5, 12}; // the party's total
inline constexpr MirField kCardCode{"A11CCC", 18, 2};
inline constexpr MirField kCardNumber{"A11CCN", 20, 20}; // only the last four digits are kept
inline constexpr MirField kCardExpiry{"A11EXP", 40, 4};
} // namespace a11

namespace a14 { // remarks, read by the interpreter under its own names
inline constexpr MirField kKind{"VL", 3, 2};
inline constexpr MirField kKey{"key", 6, 10};
inline constexpr MirField kPosition{"position", 15, 1}; // a hand-entered ticket's position
inline constexpr MirField kValue{"value", 18, 0};       // to the end of the line
inline constexpr MirField kCarrier{"carrier", 20, 2};
inline constexpr MirField kLocator{"locator", 22, 6};
} // namespace a14

namespace a21 {
inline constexpr MirField kNetFare{"TKT_NETB", 6, 12};
} // namespace a21

namespace a23 { // refund: the item line and its sub-lines
inline constexpr MirField kDocument{"A23TKT", 3, 14}; // 13 digits and a check digit
inline constexpr MirField kRangeEnd{"A23RTK", 18, 14};
inline constexpr MirField kIssueDate{"A23DTE", 32, 7}; // of the refunded document
inline constexpr MirField kPassenger{"A23NME", 48, 33};
inline constexpr MirField kOdDocument{"OD:DOC", 3, 14}; // the original of a reissue
inline constexpr MirField kBfCurrency{"BF:CUR", 3, 3};
inline constexpr MirField kBfBase{"BF:AMT", 6, 8};
inline constexpr qsizetype kBfTaxBoxesFrom = 14;
inline constexpr MirField kPenalty{"PF:AMT", 3, 8};
inline constexpr MirField kFareUsed{"RA:FUS", 3, 8};
inline constexpr MirField kCashRefundable{"RA:CRF", 11, 8};
inline constexpr MirField kCreditUsed{"RA:CUS", 19, 8};
inline constexpr MirField kCreditRefundable{"RA:CRR", 27, 8};
inline constexpr MirField kRefundCurrency{"RA:CUR", 35, 3};
inline constexpr MirField kRefundTotal{"RA:TOT", 38, 8}; // taxes included
} // namespace a23

namespace a29 { // EMD, one 193-byte line each, then an ED- line
inline constexpr MirField kPassenger{"A29PAX", 3, 2};
inline constexpr MirField kSegment{"A29SEG", 5, 2};
inline constexpr MirField kService{"A29SVC", 7, 4};
inline constexpr MirField kEmdType{"A29TYP", 12, 1}; // A associated, S standalone
inline constexpr MirField kReason{"A29RSN", 13, 1};
inline constexpr MirField kName{"A29NAM", 14, 55};
inline constexpr MirField kNumber{"A29EMD", 69, 13};
inline constexpr MirField kConjunctionEnd{"A29CNJ", 82, 13};
inline constexpr MirField kCarrier{"A29VCR", 95, 2};
inline constexpr MirField kBaseCurrency{"A29CRB", 97, 3};
inline constexpr MirField kBase{"A29BAS", 100, 12};
inline constexpr MirField kTotalCurrency{"A29CTA", 142, 3};
inline constexpr MirField kTotal{"A29TLA", 145, 12};
// On the ED- line: the related ticket, 13 digits after this label.
inline constexpr char kRelatedLabel[] = "/RL-";
} // namespace a29

namespace a30 { // EMD coupon
inline constexpr MirField kNumber{"A30EMD", 8, 13};
inline constexpr MirField kTotalCurrency{"A30CTA", 148, 3};
inline constexpr MirField kTotal{"A30TLA", 151, 12};
inline constexpr MirField kTicket{"A30TKT", 163, 13};
} // namespace a30

} // namespace mir::layout
