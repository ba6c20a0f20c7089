#pragma once

#include "currency.h"

#include <QList>
#include <QString>

#include <optional>

// Documents as the back office sees them: each document number with the
// events the files gave it, and a state derived from those events whatever
// order the files came in.

// An amount with the number of decimals it is shown with.
struct ShownAmount {
    Currency value;
    int decimals = 2;
    QString text() const;
};

struct StoredEvent {
    QString number;
    QString kind;        // "ticket", "emd"
    QString transaction; // "issue", "void", "refund", "refund-cancel", "exchange"
    QString file;
    QString recordLocator;
    QString serialNumber; // "" when the file made no version
    std::optional<ShownAmount> amount;
    QString currency, passenger, airline;
    QString date; // the file's issue date, YYYY-MM-DD or ""
    QString original;
    QString related;      // an EMD's ticket
    QString documentDate; // the document's own issue date where the file names it
    std::optional<ShownAmount> penalty, fareUsed, collected;
};

struct DocumentView {
    QString number;
    QString kind;
    QString state; // "issued", "voided", "refunded", "exchanged"
    QString passenger, currency;
    QString airline; // the 2-letter code, or the number's 3-digit one when no file gave it
    QString issued;  // YYYY-MM-DD, "" when no issue is known
    std::optional<ShownAmount> total;
    QString original;
    QList<StoredEvent> events;
};

// Which documents to load: every one, or those of a number, or of a day (a
// document belongs to a day when one of its events is dated then), or both.
struct DocumentSelection {
    QString number;
    QString day; // YYYY-MM-DD
};

// Every event of the documents selected, in the order of their files'
// dates, through the indexes of number and day. Throws StoreError.
QList<StoredEvent> loadDocumentEvents(const QString& connectionText,
                                      const DocumentSelection& selection);

// The documents the events make, by number. A void settles the state for
// good; otherwise refunds not cancelled make it refunded, an exchange makes
// it exchanged, and an issue alone leaves it issued.
QList<DocumentView> documentViews(const QList<StoredEvent>& events);
