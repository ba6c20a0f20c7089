#pragma once

#include "filecontext.h"
#include "gatewaysettings.h"
#include "korvaclient.h"

#include <QString>
#include <QStringList>

#include <functional>

class XmlHttpPost;

// The tag under which an error that escapes the record phase is logged.
inline constexpr char kRecordPhaseTag[] = "[RecordPhase]";

enum class RecordOutcome {
    Stored,              // every pass ran (an endpoint's failure answer included)
    DatabaseUnavailable, // the serial number could not be read: nothing was stored
    Failed,              // an error escaped; rows saved before it stay
};

struct RecordResult {
    RecordOutcome outcome = RecordOutcome::Stored;
    QString loggedMessage;  // the error log's MESSAGE for an escaped error
    QStringList postErrors; // the error log's MESSAGE of each post that wrote a row
};

// Stores one interpreted booking: the serial number, one or two record passes
// (UP_Header, UP_Segment, upPax, the post when XML_FG is "1", the status
// update unless XML_FG is "1" and T_MODE is not), then Kind emptied. An error
// that escapes (a writer, the serial number, the status update, a booking
// without passenger 1) is written to the error log under "[RecordPhase]" and
// reported in the result; it never leaves this function.
RecordResult runRecordPhase(const korva::Pnr& pnr, FileContext& context,
                            const GatewaySettings& settings, XmlHttpPost& http,
                            const std::function<void(const QString&)>& addLine);
