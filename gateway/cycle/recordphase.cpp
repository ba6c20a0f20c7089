#include "recordphase.h"

#include "errorlog.h"
#include "postbooking.h"
#include "recordwriters.h"
#include "statusupdate.h"
#include "storeerror.h"
#include "trappederror.h"

#include <exception>

namespace {

void runRecordPass(bool ttp, const korva::Pnr& pnr, FileContext& context,
                   const GatewaySettings& settings, XmlHttpPost& http,
                   const std::function<void(const QString&)>& addLine, RecordResult& result) {
    UP_Header(ttp, context.RecordLocator, context.SerialNumber, pnr, context, settings);
    UP_Segment(ttp, context.RecordLocator, context.SerialNumber, pnr, context, settings);
    upPax(ttp, context.RecordLocator, context.SerialNumber, pnr, context, settings);
    if (settings.xmlExportOn()) {
        const PostOutcome post = postBooking(context, settings.XML_DNS, http, addLine);
        if (!post.loggedMessage.isEmpty())
            result.postErrors.append(post.loggedMessage);
    }
    if (settings.databaseWritten())
        updateBookingStatus(context.RecordLocator, context.SerialNumber, context.Kind);
}

QString logEscaped(const FileContext& context, qint32 number, const QString& description) {
    return logTrappedError(context.FileName, number, description + QLatin1String(kRecordPhaseTag));
}

} // namespace

RecordResult runRecordPhase(const korva::Pnr& pnr, FileContext& context,
                            const GatewaySettings& settings, XmlHttpPost& http,
                            const std::function<void(const QString&)>& addLine) {
    bool serialRead = false;
    RecordResult result;
    try {
        context.RecordLocator = pnr.get("RLOC_CD");
        context.SerialNumber = GET_XSER_NO(context.RecordLocator);
        serialRead = true;
        const korva::Pax first = pnr.paxs().item(1);
        if (hasTicketNumber(first)) {
            runRecordPass(true, pnr, context, settings, http, addLine, result);
            if (!first.get("TKT_NO1").isEmpty()) {
                context.SerialNumber = GET_XSER_NO(context.RecordLocator);
                runRecordPass(false, pnr, context, settings, http, addLine, result);
            }
        } else {
            runRecordPass(false, pnr, context, settings, http, addLine, result);
        }
    } catch (const StoreError& error) {
        // The store has already dropped a connection that died.
        result.loggedMessage = logEscaped(context, error.number(), error.description());
        result.outcome = serialRead ? RecordOutcome::Failed : RecordOutcome::DatabaseUnavailable;
    } catch (const korva::Error& error) {
        result.loggedMessage =
            logEscaped(context, static_cast<qint32>(error.code()), QString::fromUtf8(error.what()));
        result.outcome = RecordOutcome::Failed;
    } catch (const std::exception& error) {
        result.loggedMessage =
            logEscaped(context, ErrorNumber::InternalError, QString::fromUtf8(error.what()));
        result.outcome = RecordOutcome::Failed;
    }
    context.Kind.clear();
    return result;
}
