#include "interpreter.h"

#include "columns.h"
#include "mirlayout.h"
#include "mirtext.h"
#include "numericvalue.h"
#include "remarkrules.h"
#include "sectionfields.h"
#include "sectionlines.h"

#include <QtNumeric>

#include <limits>

namespace mir {

namespace {

namespace header = layout::header;

// Members are filed under 16-bit numbers.
constexpr int kMostMembers = std::numeric_limits<qint16>::max();

// Fills one booking from the section lines; the counts start at 0 for every file.
class BookingBuilder {
public:
    explicit BookingBuilder(Interpretation& result)
        : m_result(result), m_pnr(result.pnr.emplace(korva::Pnr::create())) {}

    // The header is taken as one record of 343 characters, whatever its
    // line breaks: its fields by their offsets in it.
    void readHeader(QStringView text) {
        const QStringView header = text.left(layout::kHeaderLength);
        const auto field = [header](const MirField& f) { return fieldText(header, f).toString(); };
        const QString numericCode = field(header::kAirlineNumber);
        m_pnr.set("RLOC_CD", field(header::kRecordLocator));
        m_pnr.set("SEQ_NO", field(header::kSequence));
        m_pnr.set("CRAT_DM", field(header::kCreated));
        m_pnr.set("NUM_CDE", numericCode.isEmpty() ? QStringLiteral("000") : numericCode);
        m_pnr.set("CARR_CD", field(header::kAirline));
        m_pnr.set("TRVL_DT", field(header::kFirstTravel));
        m_pnr.set("COMM_RT", field(header::kCommissionRate));
        m_result.Cpnid2Source = field(header::kTourCode);
    }

    void readSections(QStringView text) {
        SectionLines lines(text, layout::kSectionsFrom);
        QStringView line;
        while (lines.next(line)) {
            const QStringView code = sectionCode(line);
            if (code == u"A02")
                addPassenger(line);
            else if (code == u"A04")
                addSegment(line, layout::a04::kStopover);
            else if (code == u"A05")
                addSegment(line, layout::a04::kStopoverA05);
            else if (code == u"A07")
                readFare(line);
            else if (code == u"A08")
                readCpnid(line);
            else if (code == u"A14")
                readRemark(line);
            else if (code == u"A21")
                m_pnr.set("TKT_NETB",
                          NumericValue::of(fieldText(line, layout::a21::kNetFare)).roundedText());
        }
    }

private:
    void addPassenger(QStringView line) {
        if (m_passengerCount == kMostMembers)
            return;
        ++m_passengerCount;
        const QStringView ticketNumber = fieldText(line, layout::a02::kSerial);
        korva::Pax pax = korva::Pax::create();
        pax.set("PAX_NM", fieldText(line, layout::a02::kName).toString());
        pax.set("TKT_NO", ticketNumber.toString());
        pax.set("TKT_CJ", QString());
        const QString ending = conjunctionEnding(ticketNumber, fieldText(line, layout::a02::kBooks));
        if (!ending.isEmpty())
            pax.set("TKT_CJ", ending);
        m_pnr.paxs().add(pax, static_cast<qint16>(m_passengerCount));
    }

    void addSegment(QStringView line, const MirField& stopover) {
        namespace a04 = layout::a04;
        if (m_segmentCount == kMostMembers)
            return;
        ++m_segmentCount;
        const auto field = [line](const MirField& f) { return fieldText(line, f).toString(); };
        korva::Itn itn = korva::Itn::create();
        itn.set("ITN_IDX", field(a04::kIndex));
        itn.set("CARR_CD", field(a04::kCarrier));
        itn.set("FLT_NO", flightNumber(fieldText(line, a04::kFlight)));
        itn.set("TKT_CLS", field(a04::kClass));
        itn.set("TKT_ST", field(a04::kStatus));
        itn.set("DEP_DT", field(a04::kDepartureDate));
        itn.set("DEP_TM", field(a04::kDepartureTime));
        itn.set("ARR_TM", field(a04::kArrivalTime));
        itn.set("NXDT_FG", field(a04::kNextDay));
        itn.set("ORIG_CT", field(a04::kOrigin));
        itn.set("DEST_CT", field(a04::kDestination));
        itn.set("STOP_OV", field(stopover));
        m_pnr.itns().add(itn, static_cast<qint16>(m_segmentCount));
    }

    void readFare(QStringView line) {
        m_pnr.set("BASE_AM", NumericValue::of(fieldText(line, layout::a07::kBase)).roundedText());
        // The amounts of the three tax boxes, eight characters each: the
        // rounded amounts and their sum fit easily.
        qint64 taxes = 0;
        for (const qsizetype box : layout::a07::kTaxBoxes) {
            const MirField amount = layout::taxbox::at(box, layout::taxbox::kAmount);
            taxes += NumericValue::of(fieldText(line, amount)).rounded64().value_or(0);
        }
        m_pnr.set("TAX_AMB", QString::number(taxes));
    }

    void readCpnid(QStringView line) {
        if (m_result.Cpnid.isEmpty())
            m_result.Cpnid = fieldText(line, layout::a08::kCpnid).toString();
    }

    void readRemark(QStringView line) {
        const RemarkRule rule = remarkRule(line);
        if (rule == RemarkRule::None)
            return;
        if (rule == RemarkRule::CarrierLocator) {
            addLocators(fieldText(line, layout::a14::kCarrier),
                        fieldText(line, layout::a14::kLocator));
            return;
        }
        QStringView rest = fieldToEnd(line, layout::a14::kValue);
        const std::optional<korva::Pax> pax = passenger(SplitToken(rest, u"*"));
        if (!pax)
            return;
        if (rule == RemarkRule::HandTicket) {
            setHandTicket(*pax, fieldText(line, layout::a14::kPosition), rest.left(13));
            return;
        }
        const std::optional<qint32> amount = NumericValue::of(rest).rounded32();
        if (!amount)
            return;
        korva::Pax target = *pax;
        switch (rule) {
        case RemarkRule::SellingPrice:
            target.set("TKT_AMS", QString::number(*amount));
            break;
        case RemarkRule::NetFare:
            target.set("TKT_NET", QString::number(*amount));
            break;
        case RemarkRule::AirportTax:
            addAirportTax(target, *amount);
            break;
        default:
            break;
        }
    }

    // The passenger filed under the numeric value of the text, if any.
    std::optional<korva::Pax> passenger(QStringView numberText) const {
        const std::optional<qint16> number = NumericValue::of(numberText).rounded16();
        if (!number)
            return std::nullopt;
        return m_pnr.paxs().find(*number);
    }

    static void addAirportTax(korva::Pax& pax, qint32 amount) {
        // TKT_TAX only ever holds whole numbers written here.
        const std::optional<qint64> current = NumericValue::of(pax.get("TKT_TAX")).rounded64();
        qint64 sum = 0;
        if (!current || qAddOverflow(*current, qint64(amount), &sum))
            return;
        pax.set("TKT_TAX", QString::number(sum));
    }

    static void setHandTicket(korva::Pax pax, QStringView position, QStringView ticket) {
        static constexpr const char* kProperties[] = {"TKT_NO1", "TKT_NO2", "TKT_NO3", "TKT_NO4",
                                                      "TKT_NO5"};
        if (position.size() != 1 || position[0] < u'1' || position[0] > u'5')
            return;
        pax.set(kProperties[position[0].unicode() - u'1'], ticket.toString());
    }

    void addLocators(QStringView carrier, QStringView locator) {
        addLocator(carrier.toString(), locator);
        for (const QString& partner : carriersSharingLocator(carrier))
            addLocator(partner, locator);
    }

    void addLocator(const QString& carrier, QStringView locator) {
        if (m_locatorCount == kMostMembers)
            return;
        ++m_locatorCount;
        korva::Crl crl = korva::Crl::create();
        crl.set("CARR_CD", carrier);
        crl.set("RLOC_CD", locator.toString());
        m_pnr.crls().add(crl, static_cast<qint16>(m_locatorCount));
    }

    Interpretation& m_result;
    korva::Pnr& m_pnr;
    int m_passengerCount = 0;
    int m_segmentCount = 0;
    int m_locatorCount = 0;
};

} // namespace

Verdict judgeMirText(QStringView text) {
    if (fieldText(text, layout::header::kId) != u"T5")
        return Verdict::NotMir;
    const std::optional<qint64> declared =
        NumericValue::of(fieldText(text, layout::header::kDeclaredSize)).scaled(0);
    if (declared != text.size() - 1)
        return Verdict::Incomplete;
    return Verdict::Interpreted;
}

Interpretation interpretMirText(const QString& text) {
    Interpretation result;
    result.verdict = judgeMirText(text);
    if (result.verdict != Verdict::Interpreted)
        return result;
    BookingBuilder builder(result);
    builder.readHeader(text);
    builder.readSections(text);
    return result;
}

Interpretation interpretMir(const QByteArray& fileBytes) {
    return interpretMirText(mirTextFromBytes(fileBytes));
}

} // namespace mir
