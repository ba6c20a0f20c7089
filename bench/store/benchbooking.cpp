#include "benchbooking.h"

#include "connectionstring.h"
#include "filecontext.h"
#include "gatewaysettings.h"
#include "recordledger.h"
#include "recordwriters.h"
#include "statusupdate.h"
#include "threadconnection.h"

#include <QElapsedTimer>

using namespace Qt::StringLiterals;

korva::Pnr typicalBooking(const QString& recordLocator) {
    korva::Pnr pnr = korva::Pnr::create();
    pnr.set("RLOC_CD", recordLocator);
    pnr.set("CARR_CD", u"CI"_s);
    pnr.set("NUM_CDE", u"297"_s);
    pnr.set("TRVL_DT", u"15MAR26"_s);
    pnr.set("BASE_AM", u"18250"_s);
    pnr.set("TKT_NETB", u"0"_s);
    pnr.set("COMM_RT", u"700"_s);
    pnr.set("TAX_AMB", u"1360"_s);
    const QString carriers[] = {u"CI"_s, u"BR"_s};
    for (int i = 1; i <= 2; ++i) {
        korva::Crl crl = korva::Crl::create();
        crl.set("CARR_CD", carriers[i - 1]);
        crl.set("RLOC_CD", u"Q7X2M"_s + QString::number(i));
        pnr.crls().add(crl, static_cast<qint16>(i));
    }
    const char* const route[][2] = {{"TPE", "NRT"}, {"NRT", "HNL"}, {"HNL", "NRT"}, {"NRT", "TPE"}};
    for (int i = 1; i <= 4; ++i) {
        korva::Itn itn = korva::Itn::create();
        itn.set("ITN_IDX", QString::number(i));
        itn.set("ORIG_CT", QLatin1String(route[i - 1][0]));
        itn.set("DEST_CT", QLatin1String(route[i - 1][1]));
        itn.set("CARR_CD", carriers[(i - 1) % 2]);
        itn.set("FLT_NO", u"010"_s + QString::number(i));
        itn.set("TKT_CLS", u"Y"_s);
        itn.set("TKT_ST", u"OK"_s);
        itn.set("DEP_DT", QString::number(14 + i) + u"MAR"_s);
        itn.set("DEP_TM", u"0830"_s);
        itn.set("ARR_TM", u"1245"_s);
        itn.set("STOP_OV", u"O"_s);
        itn.set("NXDT_FG", i == 2 ? u"3"_s : u"0"_s);
        pnr.itns().add(itn, static_cast<qint16>(i));
    }
    const QString names[] = {u"CHEN/MEI MS"_s, u"CHEN/HAO MR"_s, u"CHEN/LI MSTR"_s};
    for (int i = 1; i <= 3; ++i) {
        korva::Pax pax = korva::Pax::create();
        pax.set("PAX_NM", names[i - 1]);
        pax.set("TKT_NO", u"123456789"_s + QString::number(i));
        pnr.paxs().add(pax, static_cast<qint16>(i));
    }
    return pnr;
}

double storeBooking(const korva::Pnr& pnr) {
    GatewaySettings settings;
    settings.XML_FG = u"0"_s;
    FileContext context;
    context.FileName = u"T5BENCH.MIR"_s;
    const QString locator = pnr.get("RLOC_CD");
    // The commit's own time: from the end of the work to the return.
    QElapsedTimer commit;
    runInThreadTransaction(ConnectionString(), [&] {
        const QString serial = GET_XSER_NO(locator);
        UP_Header(true, locator, serial, pnr, context, settings);
        UP_Segment(true, locator, serial, pnr, context, settings);
        upPax(true, locator, serial, pnr, context, settings);
        updateBookingStatus(locator, serial, context.FileName, context.Kind);
        FileIdentity file;
        file.name = context.FileName;
        file.sha256 = locator;
        addRecordedPass(file, {1, locator, serial, PostState::None, context.Kind});
        commit.start();
    });
    return double(commit.nsecsElapsed()) / 1e6;
}
