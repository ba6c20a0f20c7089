#include "interpreter.h"

#include "columns.h"
#include "mirtext.h"
#include "numericvalue.h"
#include "remarkrules.h"
#include "sectionfields.h"

#include <QtNumeric>

#include <limits>

namespace mir {

namespace {

// The header is 343 characters and its CR; the section lines follow.
constexpr qsizetype kHeaderLength = 343;
// Members are filed under 16-bit numbers.
constexpr int kMostMembers = std::numeric_limits<qint16>::max();

// Fills one booking from the section lines; the counts start at 0 for every file.
class BookingBuilder {
public:
    explicit BookingBuilder(Interpretation& result)
        : m_result(result), m_pnr(result.pnr.emplace(korva::Pnr::create())) {}

    void readHeader(QStringView text) {
        const QStringView header = text.left(kHeaderLength);
        const QStringView numericCode = columns(header, 35, 37);
        m_pnr.set("RLOC_CD", columns(header, 99, 104).toString());
        m_pnr.set("SEQ_NO", columns(header, 16, 20).toString());
        m_pnr.set("CRAT_DM", columns(header, 21, 32).toString());
        m_pnr.set("NUM_CDE",
                  numericCode.isEmpty() ? QStringLiteral("000") : numericCode.toString());
        m_pnr.set("CARR_CD", columns(header, 33, 34).toString());
        m_pnr.set("TRVL_DT", columns(header, 62, 68).toString());
        m_pnr.set("COMM_RT", columns(header, 223, 226).toString());
        m_result.Cpnid2Source = columns(header, 227, 241).toString();
    }

    void readSections(QStringView text) {
        QStringView remaining = text.mid(qMin(text.size(), kHeaderLength + 1));
        while (!remaining.isEmpty()) {
            const QStringView line = trimBlanks(SplitToken(remaining, u"\r"));
            const QStringView code = columns(line, 1, 3);
            if (code == u"A02")
                addPassenger(line);
            else if (code == u"A04")
                addSegment(line, 85);
            else if (code == u"A05")
                addSegment(line, 83);
            else if (code == u"A07")
                readFare(line);
            else if (code == u"A08")
                readCpnid(line);
            else if (code == u"A14")
                readRemark(line);
            else if (code == u"A21")
                m_pnr.set("TKT_NETB", NumericValue::of(columns(line, 7, 18)).roundedText());
        }
    }

private:
    void addPassenger(QStringView line) {
        if (m_passengerCount == kMostMembers)
            return;
        ++m_passengerCount;
        const QStringView ticketNumber = columns(line, 49, 58);
        korva::Pax pax = korva::Pax::create();
        pax.set("PAX_NM", columns(line, 4, 36).toString());
        pax.set("TKT_NO", ticketNumber.toString());
        pax.set("TKT_CJ", QString());
        const QString ending = conjunctionEnding(ticketNumber, columns(line, 59, 60));
        if (!ending.isEmpty())
            pax.set("TKT_CJ", ending);
        m_pnr.paxs().add(pax, static_cast<qint16>(m_passengerCount));
    }

    void addSegment(QStringView line, qsizetype stopoverColumn) {
        if (m_segmentCount == kMostMembers)
            return;
        ++m_segmentCount;
        korva::Itn itn = korva::Itn::create();
        itn.set("ITN_IDX", columns(line, 4, 5).toString());
        itn.set("CARR_CD", columns(line, 6, 7).toString());
        itn.set("FLT_NO", flightNumber(columns(line, 23, 26)));
        itn.set("TKT_CLS", columns(line, 27, 28).toString());
        itn.set("TKT_ST", columns(line, 29, 30).toString());
        itn.set("DEP_DT", columns(line, 31, 35).toString());
        itn.set("DEP_TM", columns(line, 36, 40).toString());
        itn.set("ARR_TM", columns(line, 41, 45).toString());
        itn.set("NXDT_FG", columns(line, 46, 46).toString());
        itn.set("ORIG_CT", columns(line, 47, 49).toString());
        itn.set("DEST_CT", columns(line, 63, 65).toString());
        itn.set("STOP_OV", columns(line, stopoverColumn, stopoverColumn).toString());
        m_pnr.itns().add(itn, static_cast<qint16>(m_segmentCount));
    }

    void readFare(QStringView line) {
        m_pnr.set("BASE_AM", NumericValue::of(columns(line, 9, 20)).roundedText());
        // Eight characters each: the rounded amounts and their sum fit easily.
        qint64 taxes = 0;
        for (const qsizetype first : {57, 70, 83})
            taxes += NumericValue::of(columns(line, first, first + 7)).rounded64().value_or(0);
        m_pnr.set("TAX_AMB", QString::number(taxes));
    }

    void readCpnid(QStringView line) {
        if (m_result.Cpnid.isEmpty())
            m_result.Cpnid = columns(line, 8, 15).toString();
    }

    void readRemark(QStringView line) {
        const RemarkRule rule = remarkRule(line);
        if (rule == RemarkRule::None)
            return;
        if (rule == RemarkRule::CarrierLocator) {
            addLocators(columns(line, 21, 22), columns(line, 23, 28));
            return;
        }
        QStringView rest = columnsFrom(line, 19);
        const std::optional<korva::Pax> pax = passenger(SplitToken(rest, u"*"));
        if (!pax)
            return;
        if (rule == RemarkRule::HandTicket) {
            setHandTicket(*pax, columns(line, 16, 16), rest.left(13));
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
    if (columns(text, 1, 2) != u"T5")
        return Verdict::NotMir;
    const std::optional<qint64> declared = NumericValue::of(columns(text, 11, 15)).scaled(0);
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
