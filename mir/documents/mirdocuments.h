#pragma once

#include "documentevents.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

// What a MIR file says about the ticketing documents it touches, read beside
// the interpreter from the same text with the same layout (mirlayout.h).
// Amounts are decimal texts exactly as the MIR gave them ("1250.50"; digits
// with implied decimals come out with their point); nothing here passes
// through floating point.
namespace mir::documents {

// The version of this reader: rows read by an older one are read again.
inline constexpr int kReaderVersion = 2;

// The transaction the header's ticketing command (T50IN12) names.
enum class Transaction {
    Issue,         // H
    ExchangeIssue, // H with the exchange indicator T50IN7 "Y"
    McoIssue,      // H whose only document section is A19: no ticket
    Void,          // V
    Refund,        // R
    RefundCancel,  // C
    Unvoid,        // U
    Spoiled,       // S
    EmdIssue,      // F
    EmdVoid,       // Z
    EmdRefund,     // D
    EmdExchange,   // I
    NonAccounting, // A: a copy of a ticketing, not a sale
    Special,       // X, N, J, B, E, L, G: dual and non-ticketing records
    Unknown,       // any other code, or a header that does not conform
};

QString eventName(Event event);      // "issue", "void", "refund", "refund-cancel", "exchange"
QString kindName(DocumentKind kind); // "ticket", "emd"
QString transactionName(Transaction transaction); // "issue", "exchange-issue", ...

struct HeaderFacts {
    QString command; // T50IN12 as given
    bool exchange = false;
    QString issueDate;     // YYYY-MM-DD, "" when the header's date cannot be read
    QString issueTime;     // HH:MM on a 24-hour clock, "" when it cannot be read
    QString airline;       // 2-letter code, blank in refunds
    QString airlineNumber; // 3-digit code, blank in refunds
    QString bookingPcc, ticketingPcc, iataNumber;
    QString bookingAgent, ticketingAgent;
    QString fareCurrency;
    QString commissionText; // T50COM as given
    QString commission;     // its decimal text, "" when blank
    QString commissionRate; // percent as decimal text ("5.00"), "" when blank
    QString tourCode;
    QString recordLocator;
};

struct Tax {
    QString code;
    QString amount;
};

struct DocumentEvent {
    QString number; // 13 digits: the airline's 3-digit code and the 10-digit serial
    DocumentKind kind = DocumentKind::Ticket;
    Event event = Event::Issue;
    QString lastNumber; // the last document of a conjunction, "" for a single one
    QString passenger;
    QString airline;
    QString currency;
    QString amount;   // "" when the MIR gives none for this event
    QList<Tax> taxes; // an issue's taxes, a refund's refunded taxes
    QString original; // for a document issued in exchange: the one it replaced
    QString related;  // for an EMD: the ticket it belongs to
    // The document's own issue date where the file names it: a refunded
    // document's (A23), an exchanged original's (A10). YYYY-MM-DD.
    QString documentDate;
    QString penalty;   // a refund's cancellation fee
    QString fareUsed;  // a refund's fare used
    QString collected; // what the issue in exchange collected (A11)
};

struct Payment {
    QString type;
    QString amount;
    QString cardCode;
    QString cardLast4; // never more of a card number than its last four digits
};

// A section the reader could not make full sense of.
struct Problem {
    QString section; // "A07", "header", ...
    QString text;
};

struct MirDocuments {
    Transaction transaction = Transaction::Unknown;
    HeaderFacts header;
    QList<DocumentEvent> events;
    QList<Payment> payments;
    QList<Problem> problems;
};

// Reads any bytes without failing, whichever of CR, LF or CR LF ends their
// lines: a text that is not a MIR record gives no events and one problem, a
// header that does not conform or an unknown ticketing command gives one
// problem and no events; what a damaged section still gives is kept.
MirDocuments readDocuments(const QByteArray& fileBytes);

// Whether the bytes start a MIR record at all ("T5").
bool isMirRecord(const QByteArray& fileBytes);

} // namespace mir::documents
