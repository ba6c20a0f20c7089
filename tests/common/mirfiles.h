#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// MIR files for the tests of the document ledger, laid out as real files
// carry them. Every field is placed by widths typed here from the format
// guide, never from the reader's own tables, so that a column the reader
// gets wrong shows up as a failing test; test_documentreader checks that a
// header built here parses field by field like a real one.
namespace mirfiles {

// The header's values, each as the MIR gives it (fixed width, blank-padded).
struct Header {
    QString sequence = QStringLiteral("00001");
    QString date = QStringLiteral("07DEC26");
    QString time = QStringLiteral("1035 ");
    QString airline = QStringLiteral("CI");
    QString airlineNumber = QStringLiteral("297");
    QString airlineName = QStringLiteral("CHINA AIRLINES");
    QString firstTravel = QStringLiteral("15JAN27");
    QString bookingPcc = QStringLiteral("K4TR");
    QString ticketingPcc = QStringLiteral("K4TR");
    QString iataNumber = QStringLiteral("34212345");
    QString recordLocator;
    QString bookingAgent = QStringLiteral("AG");
    QString ticketingAgent = QStringLiteral("AG");
    QString dutyCode = QStringLiteral("AG");
    QString fareCurrency = QStringLiteral("TWD");
    QString fare = QStringLiteral("000000000000");
    QString decimals = QStringLiteral("2");
    QString taxCurrency = QStringLiteral("TWD");
    QString commission = QStringLiteral("00000000");
    QString commissionRate = QStringLiteral("0000");
    QString tourCode;
    // T50IN1 to T50IN17; the ticketing command is the 12th, the exchange
    // indicator the 7th.
    QString indicators = QStringLiteral("NNNNNNNNNNH NNNX");
    int passengers = -1; // the passenger count; -1: the A02 lines of the file
};

// A header for a transaction on 07DEC26 by airline CI/297 with this
// ticketing command ("H" issue, "V" void ...), and an exchange when asked.
Header header(const QString& recordLocator, QChar command = u'H', bool exchange = false);

// The five header lines with their lengths (80, 63, 96, 51, 48), counting
// the sections of the file.
QStringList headerLines(const Header& header, const QStringList& sections, qsizetype declaredSize);

// The file's bytes: the header, an empty line, the sections and a form feed,
// every line ended with CR as the GDS sends them; the declared size is the
// file's.
QByteArray mirFile(const Header& header, const QStringList& sections);

using Taxes = QList<QPair<QString, QString>>; // amount, code

// A02: one 80-character passenger line; a blank serial with books 0 is a
// passenger without a document.
QString passenger(const QString& name, const QString& serial, int books = 1,
                  const QString& fareItem = QStringLiteral("01"),
                  const QString& exchangeItem = QString());
// A07: a fare section with its total per passenger and up to three tax boxes.
QString fare(const QString& section, const QString& total, const Taxes& taxes = {},
             const QString& currency = QStringLiteral("TWD"));
// The IT: line after a fare or a refund: taxes in 10-character boxes.
QString itLine(const Taxes& taxes);
// A10: the exchanged documents (13 digits; a check digit is added) of an
// item, with their issue date and total (digits, implied decimals).
QStringList exchange(const QString& item, const QString& originalDate,
                     const QStringList& documents, const QString& originalTotal);
// A11: a form of payment.
QString payment(const QString& type, const QString& amount, const QString& cardCode = QString(),
                const QString& cardNumber = QString());
struct Refund {
    QString document; // 13 digits
    QString rangeEnd; // 13 digits or ""
    QString issueDate = QStringLiteral("01DEC26");
    QString passenger;
    QString currency = QStringLiteral("TWD");
    QString base; // BF:, 8 characters at most
    Taxes taxes;  // BF: boxes
    QString penalty;
    QString fareUsed;
    QString total; // RA:; "" for a refund without its RA: line
};
// A23 and its sub-lines.
QStringList refund(const Refund& refund);
// A29: one 193-character EMD line, and its ED- line naming the related ticket.
QStringList emd(const QString& name, const QString& number, const QString& total,
                const QString& related = QString(), const QString& currency = QStringLiteral("TWD"));

} // namespace mirfiles
