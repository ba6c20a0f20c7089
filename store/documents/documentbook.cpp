#include "documentbook.h"

#include "rowappender.h"
#include "storecall.h"

#include <QMap>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

QString ShownAmount::text() const {
    QString plain = value.toCanonicalText(); // four decimals
    const int cut = 4 - qBound(0, decimals, 4);
    plain.chop(cut);
    if (plain.endsWith(u'.'))
        plain.chop(1);
    return plain;
}

QList<StoredEvent> loadDocumentEvents(const QString& connectionText,
                                      const DocumentSelection& selection) {
    return withThreadConnection(connectionText, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        query.setNumericalPrecisionPolicy(QSql::HighPrecision);
        QString sql = u"SELECT e.DOC_NO, e.DOC_KIND, e.TRANS, f.FILE_NM, f.RECLOC, f.SER_NO, "
                      "e.AMOUNT, e.AMT_DEC, e.CURRENCY, e.PAX_NM, e.AIRLINE, e.ISSUE_DT, "
                      "e.ORIG_DOC, e.RELATED_DOC, e.DOC_DT, e.PENALTY, e.FARE_USED, e.COLLECTED "
                      "FROM KDOCEVT e JOIN KDOCFILE f ON f.FILE_SHA = e.FILE_SHA"_s;
        QStringList conditions;
        if (!selection.number.isEmpty())
            conditions.append(u"e.DOC_NO = ?"_s);
        // Every event of a document with one on the day: its state needs them all.
        if (!selection.day.isEmpty())
            conditions.append(u"e.DOC_NO IN (SELECT DOC_NO FROM KDOCEVT WHERE ISSUE_DT = ?)"_s);
        if (!conditions.isEmpty())
            sql += u" WHERE "_s + conditions.join(u" AND "_s);
        sql += u" ORDER BY e.DOC_NO, e.ISSUE_DT, f.FILE_NM, e.EVT_NO"_s;
        if (!query.prepare(sql))
            throw StoreError::fromSqlError(query.lastError());
        if (!selection.number.isEmpty())
            query.addBindValue(selection.number);
        if (!selection.day.isEmpty())
            query.addBindValue(selection.day);
        if (!query.exec())
            throw StoreError::fromSqlError(query.lastError());
        QList<StoredEvent> events;
        while (query.next()) {
            StoredEvent event;
            event.number = query.value(0).toString();
            event.kind = query.value(1).toString();
            event.transaction = query.value(2).toString();
            event.file = query.value(3).toString();
            event.recordLocator = query.value(4).toString();
            event.serialNumber = query.value(5).toString();
            // Every amount of an event has the decimals its main one was given.
            const int decimals = query.value(7).toString().toInt();
            const auto shown = [&](int column) -> std::optional<ShownAmount> {
                if (const std::optional<Currency> amount = currencyFromColumn(query.value(column)))
                    return ShownAmount{*amount, decimals};
                return std::nullopt;
            };
            event.amount = shown(6);
            event.currency = query.value(8).toString();
            event.passenger = query.value(9).toString();
            event.airline = query.value(10).toString();
            event.date = query.value(11).toString();
            event.original = query.value(12).toString();
            event.related = query.value(13).toString();
            event.documentDate = query.value(14).toString();
            event.penalty = shown(15);
            event.fareUsed = shown(16);
            event.collected = shown(17);
            events.append(event);
        }
        if (query.lastError().isValid())
            throw StoreError::fromSqlError(query.lastError());
        return events;
    });
}

namespace {

QString stateOf(const QList<StoredEvent>& events) {
    int refunds = 0;
    bool exchanged = false;
    for (const StoredEvent& event : events) {
        if (event.transaction == u"void")
            return u"voided"_s;
        if (event.transaction == u"refund")
            ++refunds;
        else if (event.transaction == u"refund-cancel")
            --refunds;
        else if (event.transaction == u"exchange")
            exchanged = true;
    }
    if (refunds > 0)
        return u"refunded"_s;
    return exchanged ? u"exchanged"_s : u"issued"_s;
}

DocumentView viewOf(const QList<StoredEvent>& events) {
    DocumentView view;
    view.number = events.first().number;
    view.events = events;
    view.state = stateOf(events);
    const StoredEvent* issue = nullptr;
    for (const StoredEvent& event : events) {
        if (event.transaction == u"issue" && !issue)
            issue = &event;
    }
    // The issue says most; a document known only from later events takes
    // what the first of them gives.
    const StoredEvent& source = issue ? *issue : events.first();
    view.kind = source.kind;
    // A refund's header leaves the airline's code blank.
    view.airline = source.airline.isEmpty() ? view.number.left(3) : source.airline;
    view.currency = source.currency;
    for (const StoredEvent* event : {&source, &events.first()}) {
        if (view.passenger.isEmpty())
            view.passenger = event->passenger;
    }
    if (issue) {
        view.issued = issue->date;
        view.total = issue->amount;
        view.original = issue->original;
    }
    return view;
}

} // namespace

QList<DocumentView> documentViews(const QList<StoredEvent>& events) {
    QMap<QString, QList<StoredEvent>> byNumber;
    for (const StoredEvent& event : events)
        byNumber[event.number].append(event);
    QList<DocumentView> views;
    for (const QList<StoredEvent>& own : std::as_const(byNumber))
        views.append(viewOf(own));
    return views;
}
