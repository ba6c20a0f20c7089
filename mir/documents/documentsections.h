#pragma once

#include "mirdocuments.h"
#include "sectionlines.h"

#include <QList>
#include <QString>

// The sections the document reader takes documents from, each read from its
// section item with the fields of mirlayout.h. A field that holds something
// other than what the layout says is a problem (named with its section and
// label), never a guessed value.
namespace mir::documents {

struct PassengerLine {
    int number = 0; // the running number of the A02 line, from 1
    QString name;
    QString serial;       // 10 digits, "" when the line has none or a bad one
    int books = 0;        // 0: no document
    QString fareItem;     // A07's fare section
    QString exchangeItem; // A10's item
};

struct FareItem {
    QString section;
    QString currency; // of the total
    QString total;    // per passenger
    QList<Tax> taxes; // the boxes by code, XT or its IT: boxes
};

struct ExchangedItem {
    QString item;
    QString originalDate;  // YYYY-MM-DD
    QStringList documents; // 13 digits each, one per TI: line
    QString originalTotal;
};

struct RefundItem {
    QString number;     // 13 digits
    QString lastNumber; // the end of a refunded range, "" for one document
    QString issueDate;  // of the refunded document, YYYY-MM-DD
    QString passenger;
    QString currency;
    QString total; // the refund, taxes included (RA:)
    QString penalty;
    QString fareUsed;
    QList<Tax> taxes;
    bool hasRefundLine = false;
};

struct EmdItem {
    QString passengerNumber;
    QString number;
    QString lastNumber;
    QString name;
    QString carrier;
    QString currency;
    QString total;
    QString related; // the ticket of /RL- on the ED- line
};

class SectionReader {
public:
    // `decimals`: T50DML, the decimals of the amounts given as digits only.
    SectionReader(QList<Problem>& problems, int decimals);

    // An A02 line; `checked`: whether its length and serial must be right
    // (for the transactions that number their documents from it).
    PassengerLine passenger(const SectionItem& item, int number, bool checked);
    FareItem fare(const SectionItem& item);
    ExchangedItem exchanged(const SectionItem& item);
    Payment payment(const SectionItem& item);
    RefundItem refund(const SectionItem& item);
    std::optional<EmdItem> emd(const SectionItem& item);

    void problem(const QString& section, const QString& text);
    // A 13-digit document number from the front of a field, or "" with a
    // problem; `withCheckDigit`: a 14th digit must follow it.
    QString documentNumber(QStringView line, const MirField& field, const QString& section,
                           bool withCheckDigit);
    // A date field DDMMMYY as YYYY-MM-DD; "" for a blank one, or with a
    // problem for one that is no date.
    QString date(QStringView line, const MirField& field, const QString& section);

private:
    QString amount(QStringView line, const MirField& field, const QString& section);
    QString impliedAmount(QStringView line, const MirField& field, const QString& section);
    QList<Tax> taxBoxes(QStringView line, qsizetype first, qsizetype last, const QString& section);
    QList<Tax> itTaxes(const SectionItem& item, const QString& section);

    QList<Problem>& m_problems;
    int m_decimals;
};

// The taxes of a fare or a refund: the boxes, with the XT box replaced by
// the IT: boxes it sums when the file gives them, never both.
QList<Tax> taxesByCode(const QList<Tax>& boxes, const QList<Tax>& itBoxes);

// DDMMMYY as YYYY-MM-DD; "" when it is no date.
QString isoDate(QStringView text);

// Whether a text is one or more ASCII digits and nothing else.
bool allDigits(QStringView text);

} // namespace mir::documents
