#include "documentsections.h"

#include "decimaltext.h"
#include "mirlayout.h"

#include <QDate>

using namespace Qt::StringLiterals;

namespace mir::documents {

bool allDigits(QStringView text) {
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return !text.isEmpty();
}

namespace {

bool isBlank(QStringView text) {
    return text.trimmed().isEmpty();
}

QString quoted(QStringView text) {
    return u'\'' + text.toString() + u'\'';
}

} // namespace

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

QList<Tax> taxesByCode(const QList<Tax>& boxes, const QList<Tax>& itBoxes) {
    if (itBoxes.isEmpty())
        return boxes;
    QList<Tax> taxes;
    for (const Tax& tax : boxes) {
        if (tax.code != u"XT")
            taxes.append(tax);
    }
    return taxes + itBoxes;
}

SectionReader::SectionReader(QList<Problem>& problems, int decimals)
    : m_problems(problems), m_decimals(decimals) {}

void SectionReader::problem(const QString& section, const QString& text) {
    m_problems.append({section, text});
}

QString SectionReader::amount(QStringView line, const MirField& field, const QString& section) {
    const QStringView text = fieldText(line, field);
    if (const std::optional<QString> value = decimalField(text))
        return *value;
    problem(section, QLatin1String(field.label) + u' ' + quoted(text) + u" is not an amount"_s);
    return {};
}

QString SectionReader::impliedAmount(QStringView line, const MirField& field,
                                     const QString& section) {
    const QStringView text = fieldText(line, field);
    if (const std::optional<QString> value = impliedDecimalField(text, m_decimals))
        return *value;
    problem(section, QLatin1String(field.label) + u' ' + quoted(text) + u" is not an amount"_s);
    return {};
}

QString SectionReader::documentNumber(QStringView line, const MirField& field,
                                      const QString& section, bool withCheckDigit) {
    const QStringView text = fieldText(line, field);
    const QStringView number = text.left(13);
    if (allDigits(number) && number.size() == 13 &&
        (!withCheckDigit || (text.size() == 14 && allDigits(text.mid(13)))))
        return number.toString();
    problem(section, QLatin1String(field.label) + u' ' + quoted(text) +
                         u" is not a 13-digit document number"_s);
    return {};
}

QString SectionReader::date(QStringView line, const MirField& field, const QString& section) {
    const QStringView text = fieldText(line, field);
    if (isBlank(text))
        return {};
    const QString iso = isoDate(text);
    if (iso.isEmpty())
        problem(section, QLatin1String(field.label) + u' ' + quoted(text) + u" is not a date"_s);
    return iso;
}

QList<Tax> SectionReader::taxBoxes(QStringView line, qsizetype first, qsizetype last,
                                   const QString& section) {
    namespace box = layout::taxbox;
    QList<Tax> taxes;
    for (qsizetype at = first; at <= last && at < line.size(); at += box::kWidth) {
        const QStringView label = fieldText(line, box::at(at, box::kLabel));
        if (isBlank(label))
            continue;
        const QString code = trimmedField(line, box::at(at, box::kCode));
        const QString value = amount(line, box::at(at, box::kAmount), section);
        const bool labelled =
            label.size() == 3 && label[0] == u'T' && label[1].isDigit() && label[2] == u':';
        if (!labelled || value.isEmpty() || code.isEmpty())
            problem(section, u"tax box "_s + quoted(line.mid(at, box::kWidth)) +
                                 u" holds no amount and code"_s);
        else
            taxes.append({code, value});
    }
    return taxes;
}

QList<Tax> SectionReader::itTaxes(const SectionItem& item, const QString& section) {
    namespace it = layout::ittaxes;
    QList<Tax> taxes;
    for (const QStringView line : item.subLinesLabelled(u"IT:")) {
        for (qsizetype at = it::kFirst; at < line.size(); at += it::kWidth) {
            if (isBlank(line.mid(at, it::kWidth)))
                continue;
            const QString code = trimmedField(line, it::at(at, it::kCode));
            const QString value = amount(line, it::at(at, it::kAmount), section);
            if (value.isEmpty() || code.isEmpty())
                problem(section, u"IT: box "_s + quoted(line.mid(at, it::kWidth)) +
                                     u" holds no amount and code"_s);
            else
                taxes.append({code, value});
        }
    }
    return taxes;
}

PassengerLine SectionReader::passenger(const SectionItem& item, int number, bool checked) {
    namespace a02 = layout::a02;
    const QStringView line = item.line;
    PassengerLine passenger;
    passenger.number = number;
    passenger.name = trimmedField(line, a02::kName);
    passenger.fareItem = trimmedField(line, a02::kFareItem);
    passenger.exchangeItem = trimmedField(line, a02::kExchangeItem);
    const QStringView books = fieldText(line, a02::kBooks);
    passenger.books = allDigits(books) ? books.toInt() : 1;
    if (!checked)
        return passenger;
    const QString section = u"A02"_s;
    const QStringView serial = fieldText(line, a02::kSerial);
    if (passenger.books == 0 && isBlank(serial))
        return passenger; // a passenger without a document
    if (line.size() != a02::kLineLength) {
        problem(section, u"passenger %1's line is %2 characters long, not %3"_s.arg(number)
                             .arg(line.size())
                             .arg(a02::kLineLength));
    } else if (serial.size() != a02::kSerial.width || !allDigits(serial)) {
        problem(section, u"passenger %1's A02TKT %2 is not a 10-digit serial"_s.arg(number).arg(
                             quoted(serial)));
    } else {
        passenger.serial = serial.toString();
    }
    return passenger;
}

FareItem SectionReader::fare(const SectionItem& item) {
    namespace a07 = layout::a07;
    const QString section = u"A07"_s;
    FareItem fare;
    fare.section = trimmedField(item.line, a07::kFareSection);
    fare.currency = trimmedField(item.line, a07::kTotalCurrency);
    fare.total = amount(item.line, a07::kTotal, section);
    QList<Tax> boxes;
    for (const qsizetype at : a07::kTaxBoxes)
        boxes += taxBoxes(item.line, at, at, section);
    fare.taxes = taxesByCode(boxes, itTaxes(item, section));
    return fare;
}

ExchangedItem SectionReader::exchanged(const SectionItem& item) {
    namespace a10 = layout::a10;
    const QString section = u"A10"_s;
    ExchangedItem exchanged;
    exchanged.item = trimmedField(item.line, a10::kItem);
    exchanged.originalDate = date(item.line, a10::kOriginalDate, section);
    for (const QStringView line : item.subLinesLabelled(u"TI:")) {
        const QString number = documentNumber(line, a10::kTiDocument, section, true);
        if (!number.isEmpty())
            exchanged.documents.append(number);
    }
    if (exchanged.documents.isEmpty())
        problem(section, u"item %1 names no exchanged document (TI:)"_s.arg(exchanged.item));
    // The amounts line is the one without a label of its own.
    for (const QStringView line : item.subLines) {
        if (line.size() > 2 && (line[2] == u':' || line[2] == u'-'))
            continue;
        exchanged.originalTotal = impliedAmount(line, a10::kOriginalTotal, section);
        break;
    }
    return exchanged;
}

Payment SectionReader::payment(const SectionItem& item) {
    namespace a11 = layout::a11;
    Payment payment;
    payment.type = trimmedField(item.line, a11::kType);
    payment.amount = amount(item.line, a11::kAmount, u"A11"_s);
    payment.cardCode = trimmedField(item.line, a11::kCardCode);
    QString digits;
    for (const QChar c : fieldText(item.line, a11::kCardNumber)) {
        if (c >= u'0' && c <= u'9')
            digits.append(c);
    }
    payment.cardLast4 = digits.right(4);
    return payment;
}

RefundItem SectionReader::refund(const SectionItem& item) {
    namespace a23 = layout::a23;
    const QString section = u"A23"_s;
    RefundItem refund;
    refund.number = documentNumber(item.line, a23::kDocument, section, true);
    const QStringView rangeEnd = fieldText(item.line, a23::kRangeEnd).trimmed();
    if (!rangeEnd.isEmpty()) {
        const QString last = documentNumber(item.line, a23::kRangeEnd, section, true);
        if (last != refund.number)
            refund.lastNumber = last;
    }
    refund.issueDate = date(item.line, a23::kIssueDate, section);
    refund.passenger = trimmedField(item.line, a23::kPassenger);
    QList<Tax> boxes;
    if (const QStringView bf = item.subLine(u"BF:"); !bf.isEmpty()) {
        refund.currency = trimmedField(bf, a23::kBfCurrency);
        boxes = taxBoxes(bf, a23::kBfTaxBoxesFrom, bf.size(), section);
    }
    refund.taxes = taxesByCode(boxes, itTaxes(item, section));
    if (const QStringView pf = item.subLine(u"PF:"); !pf.isEmpty())
        refund.penalty = amount(pf, a23::kPenalty, section);
    if (const QStringView ra = item.subLine(u"RA:"); !ra.isEmpty()) {
        refund.hasRefundLine = true;
        refund.fareUsed = amount(ra, a23::kFareUsed, section);
        refund.total = amount(ra, a23::kRefundTotal, section);
        const QString currency = trimmedField(ra, a23::kRefundCurrency);
        if (!currency.isEmpty())
            refund.currency = currency;
    }
    return refund;
}

std::optional<EmdItem> SectionReader::emd(const SectionItem& item) {
    namespace a29 = layout::a29;
    const QString section = u"A29"_s;
    EmdItem emd;
    emd.number = documentNumber(item.line, a29::kNumber, section, false);
    if (emd.number.isEmpty())
        return std::nullopt;
    const QStringView last = fieldText(item.line, a29::kConjunctionEnd).trimmed();
    if (last.size() == 13 && allDigits(last) && last != emd.number)
        emd.lastNumber = last.toString();
    emd.passengerNumber = trimmedField(item.line, a29::kPassenger);
    emd.name = trimmedField(item.line, a29::kName);
    emd.carrier = trimmedField(item.line, a29::kCarrier);
    emd.currency = trimmedField(item.line, a29::kTotalCurrency);
    emd.total = amount(item.line, a29::kTotal, section);
    const QStringView ed = item.subLine(u"ED-");
    const qsizetype at = ed.indexOf(QLatin1String(a29::kRelatedLabel));
    if (at >= 0) {
        const QStringView related = ed.mid(at + qsizetype(qstrlen(a29::kRelatedLabel)), 13);
        if (related.size() == 13 && allDigits(related))
            emd.related = related.toString();
        else
            problem(section, u"/RL- "_s + quoted(related) + u" is not a 13-digit ticket number"_s);
    }
    return emd;
}

} // namespace mir::documents
