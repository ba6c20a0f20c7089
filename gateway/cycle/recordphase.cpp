#include "recordphase.h"

#include "connectionstring.h"
#include "errorlog.h"
#include "lasterror.h"
#include "postbooking.h"
#include "recordwriters.h"
#include "statusupdate.h"
#include "storeerror.h"
#include "threadconnection.h"

#include <exception>

namespace {

// Leading and trailing blanks removed, nothing else.
QString withoutBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

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
    const QString text = description + QLatin1String(kRecordPhaseTag);
    setLastError(number, text);
    LogError(context.FileName, number, text);
    clearLastError();
    return errorLogMessage(context.FileName, number, text);
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
        if (!withoutBlanks(first.get("TKT_NO")).isEmpty()) {
            runRecordPass(true, pnr, context, settings, http, addLine, result);
            if (!first.get("TKT_NO1").isEmpty()) {
                context.SerialNumber = GET_XSER_NO(context.RecordLocator);
                runRecordPass(false, pnr, context, settings, http, addLine, result);
            }
        } else {
            runRecordPass(false, pnr, context, settings, http, addLine, result);
        }
    } catch (const StoreError& error) {
        // A connection that died is dropped, so that the next file reconnects.
        checkThreadConnection(ConnectionString());
        result.loggedMessage = logEscaped(context, error.number(), error.description());
        result.outcome = serialRead ? RecordOutcome::Failed : RecordOutcome::DatabaseUnavailable;
    } catch (const korva::Error& error) {
        result.loggedMessage =
            logEscaped(context, static_cast<qint32>(error.code()), QString::fromUtf8(error.what()));
        result.outcome = RecordOutcome::Failed;
    } catch (const std::exception& error) {
        result.loggedMessage = logEscaped(context, kInternalError, QString::fromUtf8(error.what()));
        result.outcome = RecordOutcome::Failed;
    }
    context.Kind.clear();
    return result;
}
