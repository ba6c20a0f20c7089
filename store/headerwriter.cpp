#include "clock.h"
#include "fixedforms.h"
#include "recordwriters.h"
#include "tableappend.h"
#include "xmltext.h"

using namespace Qt::StringLiterals;

namespace {

const QString kAirVersion = u"205"_s;
const QString kAirOption = u"1G"_s;

// Characters 2 to 15 of the header field kept from columns 227-241.
QString cpnid2(const FileContext& context) {
    return context.Cpnid2Source.mid(1, 14);
}

// "01".."99", then "00" for the 100th: the last two characters of "00" + i.
QString twoDigitIndex(int i) {
    return QString(u"00"_s + QString::number(i)).right(2);
}

void newRowKey(NewRow& row, const QString& recordLocator, const QString& serialNumber) {
    row.set(u"RECLOC"_s, recordLocator);
    row.set(u"SER_NO"_s, serialNumber);
}

} // namespace

void UP_Header(bool ttp, const QString& recordLocator, const QString& serialNumber,
               const korva::Pnr& pnr, FileContext& context, const GatewaySettings& settings) {
    const bool xml = settings.xmlExportOn();
    const bool database = settings.databaseWritten();
    Clock& clock = currentClock();

    // AMAMD: the processed file. The fragment stays open; the XML envelope
    // appends KIND and the closing tag.
    context.AmamdXml.clear();
    if (xml) {
        QString& out = context.AmamdXml;
        out += "<AMAMD>"_L1;
        appendXmlElement(out, u"FILE_NM", context.FileName);
        appendXmlElement(out, u"DATE_1", dateTextMdy(clock.now().date()));
        appendXmlElement(out, u"TIME_1", timeTextHms(clock.now().time()));
        appendXmlElement(out, u"AIRVER", kAirVersion);
        appendXmlElement(out, u"AIROPT", kAirOption);
        appendXmlElement(out, u"CPNID", context.Cpnid);
        appendXmlElement(out, u"CPNID2", cpnid2(context));
    }
    if (database) {
        // The status update later finds this row by RECLOC and SER_NO; no
        // cursor is kept for it.
        openForAppend(u"select * from AMAMD where 1=2"_s);
        NewRow row(u"AMAMD"_s);
        newRowKey(row, recordLocator, serialNumber);
        row.set(u"PROC_TP"_s, u"*"_s);
        row.set(u"FILE_NM"_s, context.FileName);
        row.set(u"DATE_1"_s, dateTextMdy(clock.now().date()));
        row.set(u"TIME_1"_s, timeTextHms(clock.now().time()));
        row.set(u"AIRVER"_s, kAirVersion);
        row.set(u"AIROPT"_s, kAirOption);
        row.set(u"CPNID"_s, context.Cpnid);
        row.set(u"CPNID2"_s, cpnid2(context));
        saveRow(row);
    }

    // AMAMDD: the carrier record locators, in collection order.
    context.AmamddXml.clear();
    if (xml) {
        const korva::Collection<korva::Crl> crls = pnr.crls();
        const int count = crls.count();
        for (int i = 1; i <= count; ++i) {
            const korva::Crl crl = crls.item(i);
            QString& out = context.AmamddXml;
            out += "<AMAMDD>"_L1;
            appendXmlElement(out, u"I_INDEX", twoDigitIndex(i));
            appendXmlElement(out, u"NSAIR", crl.get("CARR_CD"));
            appendXmlElement(out, u"NSRECLOC", crl.get("RLOC_CD"));
            out += "</AMAMDD>"_L1;
        }
    }
    if (database) {
        const korva::Collection<korva::Crl> crls = pnr.crls();
        const int count = crls.count();
        if (count > 0)
            openForAppend(u"select * from AMAMDD where 1=2"_s);
        QList<NewRow> rows;
        for (int i = 1; i <= count; ++i) {
            const korva::Crl crl = crls.item(i);
            NewRow& row = rows.emplace_back(u"AMAMDD"_s);
            newRowKey(row, recordLocator, serialNumber);
            row.set(u"I_INDEX"_s, twoDigitIndex(i));
            row.set(u"NSAIR"_s, crl.get("CARR_CD"));
            row.set(u"NSRECLOC"_s, crl.get("RLOC_CD"));
        }
        saveRows(rows);
    }

    // AMHEAD: the booking header; the date is read once for both forms.
    context.AmheadXml.clear();
    const QString bookingDate = dateTextYymmdd(clock.now().date());
    if (xml) {
        QString& out = context.AmheadXml;
        out += "<AMHEAD>"_L1;
        appendXmlElement(out, u"ENTRY", ttp ? u"TTP"_s : QString());
        appendXmlElement(out, u"ALCDE", pnr.get("CARR_CD"));
        appendXmlElement(out, u"NUMCDE", pnr.get("NUM_CDE"));
        appendXmlElement(out, u"PNRDTE", bookingDate);
        out += "</AMHEAD>"_L1;
    }
    if (database) {
        openForAppend(u"select * from AMHEAD where 1=2"_s);
        NewRow row(u"AMHEAD"_s);
        newRowKey(row, recordLocator, serialNumber);
        if (ttp)
            row.set(u"ENTRY"_s, u"TTP"_s); // otherwise the column keeps its default
        row.set(u"ALCDE"_s, pnr.get("CARR_CD"));
        row.set(u"NUMCDE"_s, pnr.get("NUM_CDE"));
        row.set(u"PNRDTE"_s, bookingDate);
        saveRow(row);
    }
}
