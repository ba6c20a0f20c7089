#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

// What a MIR file says about the ticketing documents it touches, read beside
// the interpreter from the same text. Amounts are decimal texts exactly as
// the MIR gave them ("1250.50"); nothing here passes through floating point.
namespace mir::documents {

// The transaction the header's ticketing-command indicator names.
enum class Transaction {
    Issue,
    Void,
    Refund,
    RefundCancel,
    EmdIssue,
    EmdVoid,
    EmdRefund,
    EmdExchange,
    Other, // no ticketing document transaction (an MCO, an unknown code)
};

// What happened to one document in one file.
enum class Event { Issue, Void, Refund, RefundCancel, Exchange };

enum class DocumentKind { Ticket, Emd };

QString eventName(Event event);      // "issue", "void", "refund", "refund-cancel", "exchange"
QString kindName(DocumentKind kind); // "ticket", "emd"
QString transactionName(Transaction transaction);

struct HeaderFacts {
    QString indicator; // T50IN12 as given
    bool exchange = false;
    QString issueDate;     // YYYY-MM-DD, "" when the header's date cannot be read
    QString airline;       // 2-letter code
    QString airlineNumber; // 3-digit code
    QString bookingPcc, ticketingPcc, iataNumber;
    QString bookingAgent, ticketingAgent;
    QString currency, commission, tourCode;
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
    QString original; // for a document issued in exchange: the one it replaced
    QList<Tax> taxes;
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
    Transaction transaction = Transaction::Other;
    HeaderFacts header;
    QList<DocumentEvent> events;
    QList<Payment> payments;
    QList<Problem> problems;
};

// Reads any bytes without failing: a text that is not a MIR record gives no
// events and one problem; what a damaged section still gives is kept.
MirDocuments readDocuments(const QByteArray& fileBytes);
// The same on a text in the interpreter's form (see mirtext.h).
MirDocuments readDocumentsText(QStringView text);

} // namespace mir::documents
