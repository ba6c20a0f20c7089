#include "mirdocuments.h"

#include "decimaltext.h"
#include "documentsections.h"
#include "mirlayout.h"
#include "mirtext.h"
#include "sectionlines.h"
#include "transactions.h"

#include <QHash>

using namespace Qt::StringLiterals;

namespace mir::documents {

namespace {

namespace header = layout::header;

QString twoDigits(int number) {
    return u"%1"_s.arg(number, 2, 10, QLatin1Char('0'));
}

// "0827 " or "0846A" / "0846P" as HH:MM on a 24-hour clock; "" when it is no time.
QString clockTime(QStringView text) {
    if (text.size() != 5 || !allDigits(text.left(4)))
        return {};
    int hour = text.left(2).toInt();
    const int minute = text.mid(2, 2).toInt();
    const QChar half = text[4];
    if (half == u'A' || half == u'P') {
        if (hour < 1 || hour > 12)
            return {};
        hour = hour % 12 + (half == u'P' ? 12 : 0);
    } else if (half != u' ') {
        return {};
    }
    if (hour > 23 || minute > 59)
        return {};
    return u"%1:%2"_s.arg(twoDigits(hour), twoDigits(minute));
}

// The ticket numbers of a conjunction run on: the serial plus the books after
// the first, within the ten digits.
QString laterNumber(const QString& number, int books) {
    const qint64 serial = number.mid(3).toLongLong() + books - 1;
    return number.left(3) + QString::number(serial % 10000000000LL).rightJustified(10, u'0');
}

class Reader {
public:
    Reader(MirDocuments& result, QStringView text, const HeaderLines& head)
        : m_result(result), m_head(head),
          m_sections(result.problems, decimalsOf(head.field(header::kDecimals))),
          m_items(sectionItems(text, head.end)) {}

    void readHeader() {
        HeaderFacts& facts = m_result.header;
        const auto field = [this](const MirField& f) {
            return m_head.field(f).trimmed().toString();
        };
        facts.command = m_head.field(header::kTicketingCommand).toString();
        facts.exchange = field(header::kExchange) == u"Y";
        facts.issueDate = isoDate(m_head.field(header::kDate));
        if (facts.issueDate.isEmpty())
            problem(u"header"_s, u"T50DTE '%1' is not a date"_s.arg(field(header::kDate)));
        facts.issueTime = clockTime(m_head.field(header::kTime));
        facts.airline = field(header::kAirline);
        facts.airlineNumber = field(header::kAirlineNumber);
        facts.bookingPcc = field(header::kBookingPcc);
        facts.ticketingPcc = field(header::kTicketingPcc);
        facts.iataNumber = field(header::kIataNumber);
        facts.bookingAgent = field(header::kBookingAgent);
        facts.ticketingAgent = field(header::kTicketingAgent);
        facts.fareCurrency = field(header::kFareCurrency);
        facts.commissionText = field(header::kCommission);
        facts.commission =
            headerAmount(header::kCommission, decimalsOf(m_head.field(header::kDecimals)));
        facts.commissionRate = headerAmount(header::kCommissionRate, 2);
        facts.tourCode = field(header::kTourCode);
        facts.recordLocator = field(header::kRecordLocator);
        m_result.transaction = transactionOf(facts.command, m_head.field(header::kExchange));
        if (m_result.transaction == Transaction::Unknown)
            problem(u"header"_s, u"T50IN12 '%1' is no ticketing command: no document is read"_s.arg(
                                     facts.command));
    }

    void readDocuments() {
        const DocumentSource source = documentSourceOf(m_result.transaction);
        if (source == DocumentSource::None)
            return;
        readPassengers(source == DocumentSource::Passengers);
        if (!passengersCounted())
            return;
        if (isMco()) {
            m_result.transaction = Transaction::McoIssue;
            return;
        }
        for (const SectionItem& item : m_items) {
            if (item.code == u"A11")
                m_result.payments.append(m_sections.payment(item));
        }
        switch (source) {
        case DocumentSource::Passengers:
            addPassengerEvents();
            break;
        case DocumentSource::Refunded:
            addRefundEvents();
            break;
        case DocumentSource::Emds:
            addEmdEvents();
            break;
        case DocumentSource::None:
            break;
        }
        m_result.events += m_exchanged;
    }

private:
    static int decimalsOf(QStringView field) {
        return field.size() == 1 && allDigits(field) ? field.toInt() : 0;
    }

    void problem(const QString& section, const QString& text) { m_sections.problem(section, text); }

    QString headerAmount(const MirField& field, int decimals) {
        const QStringView text = m_head.field(field);
        if (const std::optional<QString> value = impliedDecimalField(text, decimals))
            return *value;
        problem(u"header"_s,
                u"%1 '%2' is not an amount"_s.arg(QLatin1String(field.label), text.toString()));
        return {};
    }

    void readPassengers(bool numbered) {
        int number = 0;
        for (const SectionItem& item : m_items) {
            if (item.code == u"A02")
                m_passengers.append(m_sections.passenger(item, ++number, numbered));
        }
    }

    // A file cut short holds fewer passengers than its header counts: its
    // documents are left to the whole file.
    bool passengersCounted() {
        const QStringView counted = m_head.field(header::kPassengerCount);
        if (!allDigits(counted) || counted.toInt() == m_passengers.size())
            return true;
        problem(u"header"_s, u"T50NPA counts %1 passengers, the file holds %2 A02 lines: no "
                             "document is read"_s.arg(counted.toInt())
                                 .arg(m_passengers.size()));
        return false;
    }

    bool hasSection(QStringView code) const {
        return std::any_of(m_items.cbegin(), m_items.cend(),
                           [code](const SectionItem& item) { return item.code == code; });
    }

    // An issue whose only document section is A19 issues an MCO, not a ticket.
    bool isMco() const {
        return m_result.transaction == Transaction::Issue && hasSection(u"A19") &&
               !hasSection(u"A07") && !hasSection(u"A29");
    }

    // The airline code that heads the numbers made from A02 serials.
    bool headerAirlineNumber() {
        const QString& airline = m_result.header.airlineNumber;
        if (airline.size() == 3 && allDigits(airline))
            return true;
        problem(u"header"_s, u"T50ISA '%1' is not a 3-digit airline code"_s.arg(airline));
        return false;
    }

    // The items of a section as the reader makes them, by their own number.
    template <typename Item>
    QHash<QString, Item> itemsOf(QStringView code, Item (SectionReader::*read)(const SectionItem&),
                                 QString Item::*key) {
        QHash<QString, Item> items;
        for (const SectionItem& item : m_items) {
            if (item.code == code) {
                Item made = (m_sections.*read)(item);
                items.insert(made.*key, made);
            }
        }
        return items;
    }

    QHash<QString, FareItem> fares() {
        return itemsOf(u"A07", &SectionReader::fare, &FareItem::section);
    }

    // A passenger's fare: the fare section its line names, or the one of its
    // running number, or the only one.
    static const FareItem* fareFor(const PassengerLine& passenger,
                                   const QHash<QString, FareItem>& fares) {
        for (const QString& key : {passenger.fareItem, twoDigits(passenger.number)}) {
            const auto it = fares.constFind(key);
            if (it != fares.cend())
                return &*it;
        }
        return fares.size() == 1 ? &*fares.cbegin() : nullptr;
    }

    void addPassengerEvents() {
        const Transaction transaction = m_result.transaction;
        const QHash<QString, FareItem> fareItems = fares();
        const QHash<QString, ExchangedItem> exchangedItems = exchanged();
        const bool numbersKnown = headerAirlineNumber();
        QList<DocumentEvent> issued;
        for (const PassengerLine& passenger : std::as_const(m_passengers)) {
            if (passenger.serial.isEmpty() || !numbersKnown)
                continue;
            DocumentEvent document;
            document.number = m_result.header.airlineNumber + passenger.serial;
            document.kind = kindOf(transaction);
            document.event = eventOf(transaction);
            if (passenger.books > 1)
                document.lastNumber = laterNumber(document.number, passenger.books);
            document.passenger = passenger.name;
            document.airline = m_result.header.airline;
            document.currency = m_result.header.fareCurrency;
            if (const FareItem* fare = fareFor(passenger, fareItems)) {
                document.amount = fare->total;
                document.currency = fare->currency.isEmpty() ? document.currency : fare->currency;
                if (document.event == Event::Issue)
                    document.taxes = fare->taxes;
            } else if (document.event == Event::Issue) {
                problem(u"A07"_s,
                        u"no fare for passenger %1 (fare item '%2')"_s.arg(passenger.number)
                            .arg(passenger.fareItem));
            }
            if (transaction == Transaction::ExchangeIssue)
                addExchanged(document, exchangeFor(passenger, exchangedItems));
            issued.append(document);
        }
        addCollected(issued);
        m_result.events = issued;
    }

    QHash<QString, ExchangedItem> exchanged() {
        const QHash<QString, ExchangedItem> items =
            itemsOf(u"A10", &SectionReader::exchanged, &ExchangedItem::item);
        if (items.isEmpty() && (m_result.transaction == Transaction::ExchangeIssue ||
                                m_result.transaction == Transaction::EmdExchange))
            problem(u"A10"_s, u"an exchange without an A10 section names no original"_s);
        return items;
    }

    static const ExchangedItem* exchangeFor(const PassengerLine& passenger,
                                            const QHash<QString, ExchangedItem>& items) {
        const auto it = items.constFind(passenger.exchangeItem);
        if (it != items.cend())
            return &*it;
        return items.size() == 1 ? &*items.cbegin() : nullptr;
    }

    // A document issued in exchange names the first it replaced; each one
    // replaced gets an exchange event, the books of a conjunction as one.
    void addExchanged(DocumentEvent& issued, const ExchangedItem* item) {
        if (!item || item->documents.isEmpty())
            return;
        issued.original = item->documents.first();
        QList<DocumentEvent> originals;
        for (const QString& number : item->documents) {
            if (!originals.isEmpty()) {
                DocumentEvent& last = originals.last();
                const QString& end = last.lastNumber.isEmpty() ? last.number : last.lastNumber;
                if (number == laterNumber(end, 2)) {
                    last.lastNumber = number;
                    continue;
                }
            }
            DocumentEvent original;
            original.number = number;
            original.kind = issued.kind;
            original.event = Event::Exchange;
            original.passenger = issued.passenger;
            original.airline = issued.airline;
            original.currency = issued.currency;
            original.documentDate = item->originalDate;
            // The amounts line gives the item's total once.
            if (originals.isEmpty())
                original.amount = item->originalTotal;
            originals.append(original);
        }
        m_exchanged += originals;
    }

    // What an issue in exchange collected is the party's total (A11): it
    // belongs to the new document when the file issues one.
    void addCollected(QList<DocumentEvent>& issued) {
        if (m_exchanged.isEmpty() || issued.size() != 1)
            return;
        QList<QString> amounts;
        for (const Payment& payment : std::as_const(m_result.payments)) {
            if (!payment.amount.isEmpty())
                amounts.append(payment.amount);
        }
        if (!amounts.isEmpty())
            issued.first().collected = decimalSum(amounts).value_or(QString());
    }

    void addRefundEvents() {
        const Event event = eventOf(m_result.transaction);
        int refunds = 0;
        for (const SectionItem& item : m_items) {
            if (item.code != u"A23")
                continue;
            ++refunds;
            const RefundItem refund = m_sections.refund(item);
            if (refund.number.isEmpty())
                continue;
            DocumentEvent document;
            document.number = refund.number;
            document.lastNumber = refund.lastNumber;
            document.kind = kindOf(m_result.transaction);
            document.event = event;
            document.passenger = refund.passenger;
            document.documentDate = refund.issueDate;
            document.airline = m_result.header.airline;
            document.currency =
                refund.currency.isEmpty() ? m_result.header.fareCurrency : refund.currency;
            if (event == Event::Refund) {
                if (!refund.hasRefundLine)
                    problem(u"A23"_s, u"refund of %1 has no RA: line: its total is not known"_s.arg(
                                          refund.number));
                document.amount = refund.total;
                document.penalty = refund.penalty;
                document.fareUsed = refund.fareUsed;
                document.taxes = refund.taxes;
            }
            m_result.events.append(document);
        }
        if (refunds == 0)
            problem(u"A23"_s, u"a refund without an A23 section names no refunded document"_s);
    }

    void addEmdEvents() {
        QList<DocumentEvent> issued;
        for (const SectionItem& item : m_items) {
            if (item.code != u"A29")
                continue;
            const std::optional<EmdItem> emd = m_sections.emd(item);
            if (!emd)
                continue;
            DocumentEvent document;
            document.number = emd->number;
            document.lastNumber = emd->lastNumber;
            document.kind = DocumentKind::Emd;
            document.event = Event::Issue;
            document.passenger = emd->name;
            document.airline = emd->carrier.isEmpty() ? m_result.header.airline : emd->carrier;
            document.currency = emd->currency;
            document.amount = emd->total;
            document.related = emd->related;
            issued.append(document);
        }
        if (!hasSection(u"A29"))
            problem(u"A29"_s,
                    u"an EMD issue without an A29 section: the file names no EMD number"_s);
        if (m_result.transaction == Transaction::EmdExchange) {
            const QHash<QString, ExchangedItem> items = exchanged();
            if (issued.size() == 1 && items.size() == 1)
                addExchanged(issued.first(), &*items.cbegin());
        }
        m_result.events = issued;
    }

    MirDocuments& m_result;
    const HeaderLines& m_head;
    SectionReader m_sections;
    QList<SectionItem> m_items;
    QList<PassengerLine> m_passengers;
    QList<DocumentEvent> m_exchanged; // the documents given in for new ones
};

} // namespace

bool isMirRecord(const QByteArray& fileBytes) {
    return fileBytes.startsWith("T5");
}

MirDocuments readDocuments(const QByteArray& fileBytes) {
    MirDocuments result;
    if (!isMirRecord(fileBytes)) {
        result.problems.append({u"header"_s, u"not a MIR record"_s});
        return result;
    }
    const QString text = mirTextFromBytes(fileBytes);
    const HeaderLines head = headerLines(text);
    if (!head.conforming) {
        QStringList breaks;
        for (const qsizetype at : head.breaks())
            breaks.append(QString::number(at));
        result.problems.append(
            {u"header"_s, u"breaks at %1, not at 80, 144, 241, 293 and 342: not a conforming MIR "
                          "header, no document is read"_s.arg(breaks.join(u", "_s))});
        return result;
    }
    Reader reader(result, text, head);
    reader.readHeader();
    reader.readDocuments();
    return result;
}

} // namespace mir::documents
