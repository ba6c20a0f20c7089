#include "mirdocuments.h"

#include "columns.h"
#include "decimaltext.h"
#include "mirtext.h"
#include "sectionlayout.h"
#include "transactions.h"

#include <QDate>
#include <QHash>

using namespace Qt::StringLiterals;

namespace mir::documents {

namespace {

constexpr qsizetype kHeaderLength = 343;

struct Passenger {
    int number = 0;
    QString name;
    QString serial;
    int books = 0;
    QString fareItem;
    QString exchangeItem;
};

struct Fare {
    QString currency;
    QString total;
    QList<Tax> taxes;
};

QString twoDigits(int number) {
    return QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}

bool allDigits(QStringView text) {
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return !text.isEmpty();
}

// DDMMMYY as the header gives it, as YYYY-MM-DD; "" when it is no date.
QString isoDate(QStringView text) {
    static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    if (text.size() != 7 || !allDigits(text.left(2)) || !allDigits(text.right(2)))
        return {};
    int month = 0;
    for (int i = 0; i < 12; ++i) {
        if (text.mid(2, 3) == QLatin1String(kMonths[i]))
            month = i + 1;
    }
    const int year = text.right(2).toInt();
    const QDate date(year < 70 ? 2000 + year : 1900 + year, month, text.left(2).toInt());
    return date.isValid() ? date.toString(Qt::ISODate) : QString();
}

class Reader {
public:
    explicit Reader(MirDocuments& result) : m_result(result) {}

    void readHeader(QStringView header) {
        using namespace layout;
        const auto field = [&](const char* label) {
            return trimmedField(header, fieldOf(kHeader, label));
        };
        HeaderFacts& facts = m_result.header;
        facts.indicator = fieldText(header, kTicketingCommand).toString();
        facts.exchange = field("T50IN3") == u"Y";
        facts.issueDate = isoDate(field("T50CRE"));
        if (facts.issueDate.isEmpty())
            problem(u"header"_s,
                    QStringLiteral("issue date '%1' is not a date").arg(field("T50CRE")));
        facts.airline = field("T50ISC");
        facts.airlineNumber = field("T50ISA");
        facts.bookingPcc = field("T50BPC");
        facts.ticketingPcc = field("T50TPC");
        facts.iataNumber = field("T50IAT");
        facts.bookingAgent = field("T50BAS");
        facts.ticketingAgent = field("T50TAS");
        facts.commission = field("T50COM");
        facts.tourCode = field("T50TCN");
        facts.currency = field("T50CUR");
        facts.recordLocator = field("T50RCL");
        m_result.transaction = transactionOf(facts.indicator);
        if (m_result.transaction == Transaction::Other)
            problem(u"header"_s,
                    QStringLiteral("ticketing-command indicator '%1' names no document transaction")
                        .arg(facts.indicator));
    }

    void readSections(QStringView text) {
        QStringView remaining = text.mid(qMin(text.size(), kHeaderLength + 1));
        while (!remaining.isEmpty()) {
            const QStringView line = trimBlanks(SplitToken(remaining, u"\r"));
            const QStringView code = columns(line, 1, 3);
            if (code == u"A02")
                readPassenger(line);
            else if (code == u"A07")
                readFare(line);
            else if (code == u"A10")
                readExchange(line);
            else if (code == u"A11")
                readPayment(line);
            else if (code == u"A23")
                readRefund(line);
            else if (code == u"A29")
                readEmd(line);
            else if (code == u"A30")
                readEmdCoupon(line);
        }
    }

    void makeEvents() {
        const Transaction transaction = m_result.transaction;
        if (transaction == Transaction::Other)
            return;
        // A ticket transaction touches the tickets of A02 (or A23); the EMDs
        // a booking lists beside them were issued by transactions of their own.
        const Event event = eventOf(transaction);
        if (isEmdTransaction(transaction)) {
            addEmdEvents(event);
            return;
        }
        const bool refund = event == Event::Refund || event == Event::RefundCancel;
        if (refund && !m_refunded.isEmpty())
            addRefundEvents(event);
        else
            addTicketEvents(event);
        m_result.events.append(m_exchanged);
    }

private:
    void problem(const QString& section, const QString& text) {
        m_result.problems.append({section, text});
    }

    // A decimal amount, or "" with a problem when the field holds no number.
    QString amount(QStringView line, const Field& field, const QString& section) {
        const std::optional<QString> value = decimalField(fieldText(line, field));
        if (value)
            return *value;
        problem(section, QStringLiteral("%1 '%2' is not an amount")
                             .arg(QLatin1String(field.label), fieldText(line, field).toString()));
        return {};
    }

    // A 13-digit document number from the front of a field, or "" with a problem.
    QString documentNumber(QStringView line, const Field& field, const QString& section) {
        const QStringView text = fieldText(line, field).left(13);
        if (text.size() == 13 && allDigits(text))
            return text.toString();
        problem(section, QStringLiteral("%1 '%2' is not a 13-digit document number")
                             .arg(QLatin1String(field.label), text.toString()));
        return {};
    }

    void readPassenger(QStringView line) {
        using namespace layout;
        Passenger passenger;
        passenger.number = static_cast<int>(m_passengers.size()) + 1;
        passenger.name = trimmedField(line, fieldOf(kPassenger, "A02NME"));
        passenger.fareItem = trimmedField(line, fieldOf(kPassenger, "A02FIN"));
        passenger.exchangeItem = trimmedField(line, fieldOf(kPassenger, "A02EIN"));
        const QString serial = trimmedField(line, fieldOf(kPassenger, "A02TKT"));
        if (serial.size() == 10 && allDigits(serial))
            passenger.serial = serial;
        else if (!serial.isEmpty())
            problem(u"A02"_s, QStringLiteral("A02TKT '%1' is not a 10-digit serial").arg(serial));
        const QString books = trimmedField(line, fieldOf(kPassenger, "A02NBK"));
        passenger.books = allDigits(books) ? books.toInt() : 1;
        m_passengers.append(passenger);
    }

    void readFare(QStringView line) {
        using namespace layout;
        const QString section = QStringLiteral("A07");
        Fare& fare = m_fares[trimmedField(line, fieldOf(kFare, "A07FSI"))];
        const QString total = amount(line, fieldOf(kFare, "A07TTA"), section);
        // An expanded tax line leaves the amounts blank and adds tax boxes.
        if (!total.isEmpty()) {
            fare.total = total;
            fare.currency = trimmedField(line, fieldOf(kFare, "A07CRT"));
        }
        const qsizetype boxWidth = 3 + kTaxAmountWidth + kTaxCodeWidth;
        for (qsizetype i = 0; i + boxWidth <= line.size(); ++i) {
            if (line[i] != u'T' || !line[i + 1].isDigit() || line[i + 2] != u':')
                continue;
            const QStringView box = line.mid(i, boxWidth);
            const std::optional<QString> value = decimalField(box.mid(3, kTaxAmountWidth));
            const QString code = box.mid(3 + kTaxAmountWidth, kTaxCodeWidth).trimmed().toString();
            if (!value || value->isEmpty() || code.isEmpty())
                problem(
                    section,
                    QStringLiteral("tax box '%1' holds no amount and code").arg(box.toString()));
            else
                fare.taxes.append({code, *value});
            i += boxWidth - 1;
        }
    }

    void readExchange(QStringView line) {
        using namespace layout;
        const QString original = documentNumber(line, fieldOf(kExchange, "A10OTN"), u"A10"_s);
        if (!original.isEmpty())
            m_originals.insert(trimmedField(line, fieldOf(kExchange, "A10EXI")), original);
    }

    void readPayment(QStringView line) {
        using namespace layout;
        Payment payment;
        payment.type = trimmedField(line, fieldOf(kPayment, "A11TYP"));
        payment.amount = amount(line, fieldOf(kPayment, "A11AMT"), u"A11"_s);
        payment.cardCode = trimmedField(line, fieldOf(kPayment, "A11CCC"));
        QString digits;
        for (const QChar c : fieldText(line, fieldOf(kPayment, "A11CCN"))) {
            if (c >= u'0' && c <= u'9')
                digits.append(c);
        }
        payment.cardLast4 = digits.right(4);
        m_result.payments.append(payment);
    }

    void readRefund(QStringView line) {
        using namespace layout;
        const QString number = documentNumber(line, fieldOf(kRefund, "A23TKT"), u"A23"_s);
        if (number.isEmpty())
            return;
        // A refunded conjunction names its last document too.
        const QStringView last = fieldText(line, fieldOf(kRefund, "A23RTK")).left(13);
        m_refunded.append(number);
        m_refundedLast.append(
            last.size() == 13 && allDigits(last) && last != number ? last.toString() : QString());
    }

    void readEmd(QStringView line) {
        using namespace layout;
        const QString section = QStringLiteral("A29");
        DocumentEvent emd;
        emd.kind = DocumentKind::Emd;
        emd.number = documentNumber(line, fieldOf(kEmd, "A29EMD"), section);
        if (emd.number.isEmpty())
            return;
        const QString last = trimmedField(line, fieldOf(kEmd, "A29CNJ"));
        if (last.size() == 13 && allDigits(last) && last != emd.number)
            emd.lastNumber = last;
        emd.passenger = trimmedField(line, fieldOf(kEmd, "A29NAM"));
        emd.airline = trimmedField(line, fieldOf(kEmd, "A29VCR"));
        emd.currency = trimmedField(line, fieldOf(kEmd, "A29CTA"));
        emd.amount = amount(line, fieldOf(kEmd, "A29TLA"), section);
        m_emdPassengers.append(trimmedField(line, fieldOf(kEmd, "A29PAX")));
        m_emds.append(emd);
    }

    void readEmdCoupon(QStringView line) {
        using namespace layout;
        (void)documentNumber(line, fieldOf(kEmdCoupon, "A30EMD"), u"A30"_s);
    }

    const Fare* fareFor(const Passenger& passenger) const {
        for (const QString& key : {passenger.fareItem, twoDigits(passenger.number)}) {
            const auto it = m_fares.constFind(key);
            if (it != m_fares.cend())
                return &*it;
        }
        return m_fares.size() == 1 ? &*m_fares.cbegin() : nullptr;
    }

    QString ticketNumber(const QString& serial, qint64 offset = 0) {
        const QString& airline = m_result.header.airlineNumber;
        if (airline.size() != 3 || !allDigits(airline)) {
            if (!m_airlineProblem)
                problem(u"header"_s,
                        QStringLiteral("T50ISA '%1' is not a 3-digit airline code").arg(airline));
            m_airlineProblem = true;
            return {};
        }
        const qint64 value = serial.toLongLong() + offset;
        return airline + QString::number(value % 10000000000LL).rightJustified(10, u'0');
    }

    void addTicketEvents(Event event) {
        for (const Passenger& passenger : std::as_const(m_passengers)) {
            if (passenger.serial.isEmpty())
                continue;
            DocumentEvent ticket;
            ticket.number = ticketNumber(passenger.serial);
            if (ticket.number.isEmpty())
                continue;
            if (passenger.books > 1)
                ticket.lastNumber = ticketNumber(passenger.serial, passenger.books - 1);
            ticket.event = event;
            ticket.passenger = passenger.name;
            ticket.airline = m_result.header.airline;
            ticket.currency = m_result.header.currency;
            if (event == Event::Issue) {
                if (const Fare* fare = fareFor(passenger)) {
                    ticket.amount = fare->total;
                    ticket.currency = fare->currency.isEmpty() ? ticket.currency : fare->currency;
                    ticket.taxes = fare->taxes;
                }
                addExchange(ticket, {passenger.exchangeItem, twoDigits(passenger.number)});
            }
            m_result.events.append(ticket);
        }
    }

    // A document issued in exchange names the one it replaced, which gets
    // an exchange event of its own.
    void addExchange(DocumentEvent& issued, const QStringList& keys) {
        for (const QString& key : keys) {
            const auto it = m_originals.constFind(key);
            if (key.isEmpty() || it == m_originals.cend())
                continue;
            issued.original = *it;
            DocumentEvent original;
            original.number = *it;
            original.kind = DocumentKind::Ticket;
            original.event = Event::Exchange;
            original.passenger = issued.passenger;
            original.airline = issued.airline;
            original.currency = issued.currency;
            m_exchanged.append(original);
            return;
        }
    }

    void addRefundEvents(Event event) {
        QString amount;
        if (m_refunded.size() == 1) {
            QList<QString> amounts;
            for (const Payment& payment : std::as_const(m_result.payments)) {
                if (!payment.amount.isEmpty())
                    amounts.append(payment.amount);
            }
            if (!amounts.isEmpty())
                amount = decimalSum(amounts).value_or(QString());
        }
        for (qsizetype i = 0; i < m_refunded.size(); ++i) {
            const QString& number = m_refunded[i];
            DocumentEvent refund;
            refund.number = number;
            refund.lastNumber = m_refundedLast[i];
            refund.event = event;
            refund.airline = m_result.header.airline;
            refund.currency = m_result.header.currency;
            refund.amount = event == Event::Refund ? amount : QString();
            for (const Passenger& passenger : std::as_const(m_passengers)) {
                if (!passenger.serial.isEmpty() && number.endsWith(passenger.serial))
                    refund.passenger = passenger.name;
            }
            if (refund.passenger.isEmpty() && m_passengers.size() == 1)
                refund.passenger = m_passengers.first().name;
            m_result.events.append(refund);
        }
    }

    void addEmdEvents(Event event) {
        for (qsizetype i = 0; i < m_emds.size(); ++i) {
            DocumentEvent emd = m_emds[i];
            emd.event = event;
            if (event != Event::Issue && event != Event::Refund)
                emd.amount.clear();
            if (emd.airline.isEmpty())
                emd.airline = m_result.header.airline;
            if (m_result.transaction == Transaction::EmdExchange)
                addExchange(emd, {m_emdPassengers[i]});
            m_result.events.append(emd);
        }
        m_result.events.append(m_exchanged);
        m_exchanged.clear();
    }

    MirDocuments& m_result;
    QList<Passenger> m_passengers;
    QHash<QString, Fare> m_fares;        // by fare section indicator
    QHash<QString, QString> m_originals; // by exchange item number
    QStringList m_refunded;
    QStringList m_refundedLast; // the end of each refunded range, "" for one document
    QList<DocumentEvent> m_emds;
    QStringList m_emdPassengers;
    QList<DocumentEvent> m_exchanged;
    bool m_airlineProblem = false;
};

} // namespace

MirDocuments readDocumentsText(QStringView text) {
    MirDocuments result;
    if (columns(text, 1, 2) != u"T5") {
        result.problems.append({QStringLiteral("header"), QStringLiteral("not a MIR record")});
        return result;
    }
    Reader reader(result);
    reader.readHeader(text.left(kHeaderLength));
    reader.readSections(text);
    reader.makeEvents();
    return result;
}

MirDocuments readDocuments(const QByteArray& fileBytes) {
    return readDocumentsText(mirTextFromBytes(fileBytes));
}

} // namespace mir::documents
