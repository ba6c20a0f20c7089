#include "dateconversions.h"
#include "recordwriters.h"
#include "segmentorder.h"
#include "tableappend.h"
#include "xmltext.h"

#include <array>

using namespace Qt::StringLiterals;

namespace {

// The columns after RECLOC and SER_NO, in the order they are set and rendered.
using SegmentValues = std::array<std::pair<QStringView, QString>, 18>;

// DEP_DT moved by the day-change flag, in the year of the booking's travel date.
QString arrivalDate(const korva::Itn& itn, const QString& travelYear) {
    const QString departure = itn.get("DEP_DT");
    const QString flag = itn.get("NXDT_FG");
    if (flag == "1"_L1)
        return ShiftDayMonth(departure, -1, travelYear);
    if (flag == "3"_L1)
        return ShiftDayMonth(departure, 1, travelYear);
    if (flag == "4"_L1)
        return ShiftDayMonth(departure, 2, travelYear);
    return departure;
}

// Reads one segment; the arrival date is worked out afresh on every call.
SegmentValues segmentValues(bool ttp, const korva::Itn& itn, const QString& travelYear) {
    const QString index = itn.get("ITN_IDX"); // the text as carried, not the sort key
    const QString travelClass = itn.get("TKT_CLS");
    return {{
        {u"SEG_TP", ttp ? u"17"_s : u"24"_s},
        {u"MSGTAG", ttp ? u"H-"_s : u"U-"_s},
        {u"TTONBR", index},
        {u"SEGNBR", index},
        {u"ITN_SEQ", index},
        {u"ORIGAIR", itn.get("ORIG_CT")},
        {u"DESTAIR", itn.get("DEST_CT")},
        {u"AIRCDE", itn.get("CARR_CD")},
        {u"FLTNBR", itn.get("FLT_NO")},
        {u"CLSSVC", travelClass},
        {u"CLSBKG", travelClass},
        {u"STATUS1", itn.get("TKT_ST")},
        {u"DEPDTE", itn.get("DEP_DT")},
        {u"DEPTIM", itn.get("DEP_TM")},
        {u"ARRTIM", itn.get("ARR_TM")},
        {u"STOP1", itn.get("STOP_OV")},
        {u"ARRDTE", arrivalDate(itn, travelYear)},
        {u"SPTRNS", u"A"_s},
    }};
}

} // namespace

void UP_Segment(bool ttp, const QString& recordLocator, const QString& serialNumber,
                const korva::Pnr& pnr, FileContext& context, const GatewaySettings& settings) {
    context.AmtktXml.clear();
    const korva::Collection<korva::Itn> itns = pnr.itns();
    const int count = itns.count();
    QStringList indexes;
    for (int i = 1; i <= count; ++i)
        indexes.append(itns.item(i).get("ITN_IDX"));
    const QList<int> order = segmentOrder(indexes);
    const QString travelYear = pnr.get("TRVL_DT").right(2);

    if (settings.xmlExportOn()) {
        for (const int n : order) {
            const SegmentValues values = segmentValues(ttp, itns.item(n), travelYear);
            context.AmtktXml += "<AMTKT>"_L1;
            for (const auto& [column, value] : values)
                appendXmlElement(context.AmtktXml, column, value);
            context.AmtktXml += "</AMTKT>"_L1;
        }
    }

    if (!settings.databaseWritten())
        return;
    if (count > 0)
        openForAppend(u"select * from AMTKT where 1=2"_s);
    QList<NewRow> rows;
    for (const int n : order) {
        const SegmentValues values = segmentValues(ttp, itns.item(n), travelYear);
        NewRow& row = rows.emplace_back(u"AMTKT"_s);
        row.set(u"RECLOC"_s, recordLocator);
        row.set(u"SER_NO"_s, serialNumber);
        for (const auto& [column, value] : values)
            row.set(column.toString(), value);
    }
    saveRows(rows);
}
