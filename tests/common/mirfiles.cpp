#include "mirfiles.h"

using namespace Qt::StringLiterals;

namespace mirfiles {

namespace {

// A text in a field of its width: blank-padded on the right, cut when longer.
QString cell(const QString& text, qsizetype width) {
    return text.leftJustified(width, u' ', true);
}

// An amount in a field of its width: right-justified.
QString amountCell(const QString& text, qsizetype width) {
    return text.rightJustified(width, u' ', true);
}

QString count(int value) {
    return QStringLiteral("%1").arg(value, 3, 10, QLatin1Char('0'));
}

int linesOf(const QStringList& sections, const char* code) {
    int lines = 0;
    for (const QString& line : sections)
        lines += line.startsWith(QLatin1String(code)) ? 1 : 0;
    return lines;
}

// A 13-digit document number with a check digit after it (the remainder of
// the number by 7, as airlines compute it).
QString withCheckDigit(const QString& number) {
    return number + QString::number(number.toLongLong() % 7);
}

QString taxBoxes(const Taxes& taxes) {
    QString boxes;
    int box = 0;
    for (const auto& [amount, code] : taxes)
        boxes += QStringLiteral("T%1:").arg(++box) + amountCell(amount, 8) + cell(code, 2);
    return boxes;
}

} // namespace

Header header(const QString& recordLocator, QChar command, bool exchange) {
    Header header;
    header.recordLocator = recordLocator;
    header.indicators[11] = command;
    header.indicators[6] = exchange ? u'Y' : u'N';
    return header;
}

QStringList headerLines(const Header& h, const QStringList& sections, qsizetype declaredSize) {
    const int passengers = h.passengers >= 0 ? h.passengers : linesOf(sections, "A02");
    const QString size = QStringLiteral("%1").arg(declaredSize, 5, 10, QLatin1Char('0'));
    return {
        // 1: id, routing, size, sequence, date, time, airline, name, first travel
        u"T5"_s + u"1G773392"_s + size + cell(h.sequence, 5) + cell(h.date, 7) +
            cell(h.time, 5) + cell(h.airline, 2) + cell(h.airlineNumber, 3) +
            cell(h.airlineName, 24) + cell(h.firstTravel, 7) + u"BB644FE761E4"_s,
        // 2: pseudo-cities, IATA number, locator, agent signs and duty code
        cell(h.bookingPcc, 4) + cell(h.ticketingPcc, 4) + cell(h.iataNumber, 9) +
            cell(h.recordLocator, 6) + cell(QString(), 13) + cell(h.bookingAgent, 2) + u"N"_s +
            cell(h.ticketingAgent, 2) + cell(h.dutyCode, 2) + cell(u"07DEC2600007DEC26021"_s, 20),
        // 3: fare currency and amount, decimals, taxes, commission, tour code
        cell(h.fareCurrency, 3) + cell(h.fare, 12) + cell(h.decimals, 1) +
            cell(h.taxCurrency, 3) + u"00000000  "_s.repeated(5) + cell(h.commission, 8) +
            cell(h.commissionRate, 4) + cell(h.tourCode, 15),
        // 4: the indicators
        cell(h.indicators, 17) + cell(u"   TW"_s, 34),
        // 5: the section counts
        count(0) + count(0) + count(passengers) + count(0) + count(0) + count(0) + count(0) +
            count(linesOf(sections, "A07")) + count(linesOf(sections, "A10")) +
            count(linesOf(sections, "A11")) + count(0).repeated(6),
    };
}

QByteArray mirFile(const Header& header, const QStringList& sections) {
    const auto text = [&](qsizetype declared) -> QString {
        QString all = headerLines(header, sections, declared).join(u'\r') + u"\r\r"_s;
        for (const QString& line : sections)
            all += line + u'\r';
        return all + u"\r\f"_s;
    };
    return text(text(0).size()).toLatin1();
}

QString passenger(const QString& name, const QString& serial, int books, const QString& fareItem,
                  const QString& exchangeItem) {
    return u"A02"_s + cell(name, 33) + cell(QString(), 11) + u"6"_s + cell(serial, 10) +
           QStringLiteral("%1").arg(books, 2, 10, QLatin1Char('0')) + cell(QString(), 9) +
           cell(u"ADT"_s, 6) + cell(fareItem, 2) + cell(exchangeItem, 2) + u"N"_s;
}

QString fare(const QString& section, const QString& total, const Taxes& taxes,
             const QString& currency) {
    return u"A07"_s + cell(section, 2) + cell(currency, 3) + amountCell(QString(), 12) +
           cell(currency, 3) + amountCell(total, 12) + cell(QString(), 3) +
           amountCell(QString(), 12) + cell(currency, 3) + taxBoxes(taxes);
}

QString itLine(const Taxes& taxes) {
    QString line = u"IT:"_s;
    for (const auto& [amount, code] : taxes)
        line += amountCell(amount, 8) + cell(code, 2);
    return line;
}

QStringList exchange(const QString& item, const QString& originalDate,
                     const QStringList& documents, const QString& originalTotal) {
    QStringList lines{u"A10"_s + cell(item, 2) + cell(originalDate, 7) + cell(u"TPE"_s, 8) +
                      cell(QString(), 59) + u"A"_s};
    for (const QString& document : documents)
        lines.append(u"TI:"_s + withCheckDigit(document) + u"1234"_s);
    lines.append(u"TWD"_s + cell(QString(), 80) + originalTotal.rightJustified(12, u'0'));
    return lines;
}

QString payment(const QString& type, const QString& amount, const QString& cardCode,
                const QString& cardNumber) {
    return u"A11"_s + cell(type, 2) + amountCell(amount, 12) + u"N"_s + cell(cardCode, 2) +
           cell(cardNumber, 20) + (cardNumber.isEmpty() ? QString() : u"1229"_s);
}

QStringList refund(const Refund& r) {
    const QString rangeEnd = r.rangeEnd.isEmpty() ? QString() : withCheckDigit(r.rangeEnd);
    QStringList lines{u"A23"_s + withCheckDigit(r.document) + u"-"_s + cell(rangeEnd, 14) +
                          cell(r.issueDate, 7) + cell(QString(), 9) + cell(r.passenger, 33),
                      u"TI:1234"_s};
    if (!r.base.isEmpty())
        lines.append(u"BF:"_s + cell(r.currency, 3) + amountCell(r.base, 8) + taxBoxes(r.taxes));
    if (!r.penalty.isEmpty())
        lines.append(u"PF:"_s + amountCell(r.penalty, 8));
    if (!r.total.isEmpty())
        lines.append(u"RA:"_s + amountCell(r.fareUsed, 8) + amountCell(r.total, 8) +
                     amountCell(QString(), 8) + amountCell(QString(), 8) + cell(r.currency, 3) +
                     amountCell(r.total, 8));
    return lines;
}

QStringList emd(const QString& name, const QString& number, const QString& total,
                const QString& related, const QString& currency) {
    QStringList lines{u"A29"_s + u"01"_s + u"01"_s + u"BGGE"_s + u" "_s + u"A"_s +
                      u"C"_s + cell(name, 55) + cell(number, 13) + cell(QString(), 13) +
                      u"CI"_s + cell(currency, 3) + amountCell(total, 12) + cell(QString(), 30) +
                      cell(currency, 3) + amountCell(total, 12) + cell(QString(), 36)};
    if (!related.isEmpty())
        lines.append(u"ED-/RL-"_s + related + u"/ER-NONREF"_s);
    return lines;
}

} // namespace mirfiles
