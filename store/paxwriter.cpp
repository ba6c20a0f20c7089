#include "recordwriters.h"
#include "tableappend.h"
#include "ticketvalues.h"
#include "xmltext.h"

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

bool hasTicketNumber(const korva::Pax& pax) {
    // Not empty once leading and trailing blanks are gone: something not blank.
    const QString number = pax.get("TKT_NO");
    return std::any_of(number.cbegin(), number.cend(), [](QChar c) { return c != u' '; });
}

namespace {

constexpr std::array<const char*, 5> kManualTicketNumbers = {"TKT_NO1", "TKT_NO2", "TKT_NO3",
                                                             "TKT_NO4", "TKT_NO5"};

// "001" for the first passenger: the last three characters of 1000 + i.
QString passengerNumber(int i) {
    return QString::number(1000 + i).right(3);
}

// The ticket row's airline prefix: the booking's numeric code when the
// passenger has a ticket number.
QString ticketPrefix(const korva::Pnr& pnr, const korva::Pax& pax) {
    return hasTicketNumber(pax) ? pnr.get("NUM_CDE") : QString();
}

TicketAmounts bookingTicketAmounts(const korva::Pnr& pnr) {
    return ticketAmounts(pnr.get("BASE_AM"), pnr.get("TKT_NETB"), pnr.get("COMM_RT"),
                         pnr.get("TAX_AMB"));
}

void appendPassengerElement(QString& out, const QString& number, const korva::Pax& pax) {
    out += "<AMPAX>"_L1;
    appendXmlElement(out, u"SEG_TP", u"72"_s);
    appendXmlElement(out, u"MSGTAG", u"I-"_s);
    appendXmlElement(out, u"H_INDEX", number);
    appendXmlElement(out, u"H_INDEX1", u"000"_s);
    appendXmlElement(out, u"PSGRNME", pax.get("PAX_NM"));
    for (const QStringView empty : {u"TKTNBR", u"TKT_NOA", u"TKT_NO", u"TKT_DIGIT", u"TKT_AMT",
                                    u"TKT_AMS", u"TKT_NET", u"TKT_TAX"})
        appendXmlElement(out, empty, QString());
    appendXmlElement(out, u"INID", u"0"_s);
    appendXmlElement(out, u"INID2", u"0"_s);
    out += "</AMPAX>"_L1;
}

void appendTicketElement(QString& out, const QString& number, const korva::Pnr& pnr,
                         const korva::Pax& pax, const TicketAmounts& amounts) {
    const QString ticket = pax.get("TKT_NO");
    out += "<AMPAX>"_L1;
    appendXmlElement(out, u"SEG_TP", u"82"_s);
    appendXmlElement(out, u"MSGTAG", u"T-"_s);
    appendXmlElement(out, u"H_INDEX", number);
    appendXmlElement(out, u"H_INDEX1", u"001"_s);
    for (const QStringView empty : {u"PSGRNBR", u"PSGRNME", u"PSGRID", u"AGTADD", u"SINFO"})
        appendXmlElement(out, empty, QString());
    appendXmlElement(out, u"TKTNBR", ticket);
    appendXmlElement(out, u"TKT_NOA", ticketPrefix(pnr, pax));
    appendXmlElement(out, u"TKT_NO", ticket);
    appendXmlElement(out, u"TKT_DIGIT", pax.get("TKT_CJ"));
    appendXmlElement(out, u"TKT_AMT", amounts.base.toPlainText());
    appendXmlElement(out, u"TKT_AMS", Currency().toPlainText());
    appendXmlElement(out, u"TKT_NET", amounts.net.toPlainText());
    appendXmlElement(out, u"TKT_TAX", amounts.tax.toPlainText());
    appendXmlElement(out, u"INID", u"0"_s);
    appendXmlElement(out, u"INID2", u"0"_s);
    out += "</AMPAX>"_L1;
}

void setKey(NewRow& row, const QString& recordLocator, const QString& serialNumber) {
    row.set(u"RECLOC"_s, recordLocator);
    row.set(u"SER_NO"_s, serialNumber);
}

NewRow passengerRow(const QString& recordLocator, const QString& serialNumber,
                    const QString& number, const korva::Pax& pax) {
    NewRow row(u"AMPAX"_s);
    setKey(row, recordLocator, serialNumber);
    row.set(u"SEG_TP"_s, u"72"_s);
    row.set(u"MSGTAG"_s, u"I-"_s);
    row.set(u"H_INDEX"_s, number);
    row.set(u"H_INDEX1"_s, u"000"_s);
    row.set(u"PSGRNME"_s, pax.get("PAX_NM"));
    return row;
}

NewRow ticketRow(const QString& recordLocator, const QString& serialNumber, const QString& number,
                 const korva::Pnr& pnr, const korva::Pax& pax, const TicketAmounts& amounts) {
    const QString ticket = pax.get("TKT_NO");
    NewRow row(u"AMPAX"_s);
    setKey(row, recordLocator, serialNumber);
    row.set(u"SEG_TP"_s, u"82"_s);
    row.set(u"H_INDEX"_s, number);
    row.set(u"H_INDEX1"_s, u"001"_s);
    row.set(u"MSGTAG"_s, u"T-"_s);
    row.set(u"TKTNBR"_s, ticket);
    row.set(u"TKT_NOA"_s, ticketPrefix(pnr, pax));
    row.set(u"TKT_NO"_s, ticket);
    row.set(u"TKT_DIGIT"_s, pax.get("TKT_CJ"));
    row.setCurrency(u"TKT_AMT"_s, amounts.base);
    row.setCurrency(u"TKT_AMS"_s, Currency());
    row.setCurrency(u"TKT_NET"_s, amounts.net);
    row.setCurrency(u"TKT_TAX"_s, amounts.tax);
    return row;
}

// One AMPNR row per hand-entered ticket number; the passenger's amounts go
// on the first of them only, each when it is not empty. The amounts are
// texts here: the database layer converts them (a non-number fails).
void addManualTicketRows(QList<NewRow>& rows, const QString& recordLocator,
                         const QString& serialNumber, const QString& number,
                         const korva::Pax& pax) {
    bool amountsWritten = false;
    for (std::size_t k = 0; k < kManualTicketNumbers.size(); ++k) {
        const QString ticket = pax.get(kManualTicketNumbers[k]);
        if (ticket.isEmpty())
            continue;
        NewRow& row = rows.emplace_back(u"AMPNR"_s);
        setKey(row, recordLocator, serialNumber);
        row.set(u"SEG_TP"_s, u"90"_s);
        row.set(u"H_INDEX"_s, number);
        row.set(u"H_INDEX1"_s, QString(u"00"_s + QString::number(k + 1)));
        row.set(u"MSGTAG"_s, u"FH"_s);
        row.set(u"TKT_NOA"_s, ticket.left(3));
        row.set(u"TKT_NO"_s, ticket.mid(3, 10));
        if (!amountsWritten) {
            for (const char* amount : {"TKT_AMS", "TKT_NET", "TKT_TAX"}) {
                const QString text = pax.get(amount);
                if (!text.isEmpty())
                    row.set(QLatin1String(amount), text);
            }
            amountsWritten = true;
        }
    }
}

} // namespace

void upPax(bool ttp, const QString& recordLocator, const QString& serialNumber,
           const korva::Pnr& pnr, FileContext& context, const GatewaySettings& settings) {
    context.AmpaxXml.clear();
    const korva::Collection<korva::Pax> paxs = pnr.paxs();

    // XML pass. Text appended before a failure stays, as does Kind.
    if (settings.xmlExportOn()) {
        const int count = paxs.count();
        for (int i = 1; i <= count; ++i) {
            const QString number = passengerNumber(i);
            const korva::Pax pax = paxs.item(i);
            appendPassengerElement(context.AmpaxXml, number, pax);
            if (ttp) {
                const TicketAmounts amounts = bookingTicketAmounts(pnr);
                if (hasTicketNumber(pax))
                    context.Kind += u'A';
                appendTicketElement(context.AmpaxXml, number, pnr, pax, amounts);
            }
        }
    }

    if (!settings.databaseWritten())
        return;

    // Database pass: the rows of both tables are made first and saved
    // together, so a failure while making them saves none.
    const int count = paxs.count();
    if (count > 0) {
        openForAppend(u"select * from AMPAX where 1=2"_s);
        openForAppend(u"select * from AMPNR  where 1=2"_s);
    }
    QList<NewRow> rows;
    for (int i = 1; i <= count; ++i) {
        const QString number = passengerNumber(i);
        const korva::Pax pax = paxs.item(i);
        rows.append(passengerRow(recordLocator, serialNumber, number, pax));
        if (ttp) {
            const TicketAmounts amounts = bookingTicketAmounts(pnr);
            if (hasTicketNumber(pax))
                context.Kind += u'A';
            rows.append(ticketRow(recordLocator, serialNumber, number, pnr, pax, amounts));
        } else {
            addManualTicketRows(rows, recordLocator, serialNumber, number, pax);
        }
    }
    saveRows(rows);
}
