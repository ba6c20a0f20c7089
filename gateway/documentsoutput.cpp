#include "documentsoutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace {

QJsonValue textOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QJsonValue amountOrNull(const std::optional<ShownAmount>& amount) {
    return amount ? QJsonValue(amount->text()) : QJsonValue(QJsonValue::Null);
}

QString amountText(const std::optional<ShownAmount>& amount) {
    return amount ? amount->text() : QString();
}

// A CSV field, quoted when it holds a separator, a quote or a line break.
QString csvField(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}

QString eventsText(const DocumentView& document) {
    QStringList events;
    for (const StoredEvent& event : document.events)
        events.append(event.transaction + u' ' + event.file);
    return events.join(u"; "_s);
}

} // namespace

QString documentsJson(const QList<DocumentView>& documents) {
    QJsonArray array;
    for (const DocumentView& document : documents) {
        QJsonArray events;
        for (const StoredEvent& event : document.events) {
            QJsonObject object{
                {u"transaction"_s, event.transaction},
                {u"file"_s, event.file},
                {u"recloc"_s, event.recordLocator},
                {u"ser_no"_s, textOrNull(event.serialNumber)},
                {u"amount"_s, amountOrNull(event.amount)},
                {u"date"_s, textOrNull(event.date)},
            };
            // What only some events have is given where they have it.
            const auto addText = [&object](const QString& key, const QString& text) {
                if (!text.isEmpty())
                    object.insert(key, text);
            };
            addText(u"document_date"_s, event.documentDate);
            addText(u"related"_s, event.related);
            addText(u"penalty"_s, amountText(event.penalty));
            addText(u"fare_used"_s, amountText(event.fareUsed));
            addText(u"collected"_s, amountText(event.collected));
            events.append(object);
        }
        array.append(QJsonObject{
            {u"number"_s, document.number},
            {u"kind"_s, document.kind},
            {u"state"_s, document.state},
            {u"passenger"_s, document.passenger},
            {u"airline"_s, document.airline},
            {u"issued"_s, textOrNull(document.issued)},
            {u"currency"_s, document.currency},
            {u"total"_s, amountOrNull(document.total)},
            {u"original"_s, textOrNull(document.original)},
            {u"events"_s, events},
        });
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}

QString documentsCsv(const QList<DocumentView>& documents) {
    QString text = u"number,kind,state,passenger,airline,issued,currency,total,original,events\n"_s;
    for (const DocumentView& document : documents) {
        const QStringList fields{
            document.number,   document.kind,       document.state,    document.passenger,
            document.airline,  document.issued,     document.currency, amountText(document.total),
            document.original, eventsText(document)};
        QStringList quoted;
        for (const QString& field : fields)
            quoted.append(csvField(field));
        text += quoted.join(u',') + u'\n';
    }
    return text;
}

QString documentsText(const QList<DocumentView>& documents) {
    QString text;
    for (const DocumentView& document : documents) {
        text += u"%1  %2  %3  %4  %5  %6 %7  %8\n"_s.arg(
            document.number, document.kind.leftJustified(6), document.state.leftJustified(9),
            document.airline.leftJustified(2), document.issued.leftJustified(10),
            document.currency.leftJustified(3), amountText(document.total).rightJustified(12),
            document.passenger);
        for (const StoredEvent& event : document.events) {
            text += u"    %1  %2  %3 %4  %5\n"_s.arg(event.transaction.leftJustified(13),
                                                     event.file, event.recordLocator,
                                                     event.serialNumber, amountText(event.amount));
        }
    }
    if (documents.isEmpty())
        text = u"(no documents)\n"_s;
    return text;
}
