#include "dailyreport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

using namespace Qt::StringLiterals;

namespace {

void add(ShownAmount& sum, const std::optional<ShownAmount>& amount) {
    if (!amount)
        return;
    sum.value = Currency::fromUnits(sum.value.units() + amount->value.units());
    sum.decimals = qMax(sum.decimals, amount->decimals);
}

DailyLine& lineFor(QMap<QPair<QString, QString>, DailyLine>& lines, const DocumentView& document) {
    DailyLine& line = lines[{document.airline, document.currency}];
    line.airline = document.airline;
    line.currency = document.currency;
    return line;
}

} // namespace

QList<DailyLine> dailyReport(const QList<DocumentView>& documents, const QString& day) {
    QMap<QPair<QString, QString>, DailyLine> lines;
    for (const DocumentView& document : documents) {
        bool issued = false, voided = false, refunded = false;
        std::optional<ShownAmount> refund;
        // What a void took back: the total its file gives, else the issue's.
        std::optional<ShownAmount> voidedTotal = document.total;
        for (const StoredEvent& event : document.events) {
            if (event.date != day)
                continue;
            if (event.transaction == u"issue") {
                issued = true;
            } else if (event.transaction == u"void") {
                voided = true;
                if (event.amount)
                    voidedTotal = event.amount;
            } else if (event.transaction == u"refund") {
                refunded = true;
                add(refund.emplace(), event.amount);
            }
        }
        if (refunded && document.state != u"refunded")
            refunded = false;
        if (!issued && !voided && !refunded)
            continue;
        DailyLine& line = lineFor(lines, document);
        if (issued) {
            ++line.issued;
            add(line.issuedTotal, document.total);
        }
        if (voided) {
            ++line.voided;
            add(line.voidedTotal, voidedTotal);
        }
        if (refunded) {
            ++line.refunded;
            add(line.refundedTotal, refund);
        }
    }
    QList<DailyLine> result;
    for (DailyLine line : std::as_const(lines)) {
        line.net.value =
            Currency::fromUnits(line.issuedTotal.value.units() - line.voidedTotal.value.units() -
                                line.refundedTotal.value.units());
        line.net.decimals = qMax(line.issuedTotal.decimals,
                                 qMax(line.voidedTotal.decimals, line.refundedTotal.decimals));
        result.append(line);
    }
    return result;
}

QString dailyReportText(const QList<DailyLine>& lines, const QString& day) {
    const QStringList heads{u"AIRLINE"_s, u"CURRENCY"_s, u"ISSUED"_s, u"TOTAL"_s, u"VOIDED"_s,
                            u"TOTAL"_s,   u"REFUNDED"_s, u"AMOUNT"_s, u"NET"_s};
    QList<QStringList> rows{heads};
    for (const DailyLine& line : lines) {
        rows.append({line.airline, line.currency, QString::number(line.issued),
                     line.issuedTotal.text(), QString::number(line.voided), line.voidedTotal.text(),
                     QString::number(line.refunded), line.refundedTotal.text(), line.net.text()});
    }
    QList<qsizetype> widths(heads.size(), 0);
    for (const QStringList& row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[i] = qMax(widths[i], row[i].size());
    }
    QString text = u"Documents of "_s + day + u'\n';
    for (const QStringList& row : rows) {
        QStringList cells;
        for (qsizetype i = 0; i < row.size(); ++i) {
            // Codes to the left, counts and amounts to the right.
            cells.append(i < 2 ? row[i].leftJustified(widths[i])
                               : row[i].rightJustified(widths[i]));
        }
        text += cells.join(u"  "_s) + u'\n';
    }
    if (lines.isEmpty())
        text += u"(no documents)\n"_s;
    return text;
}

QString dailyReportJson(const QList<DailyLine>& lines, const QString& day) {
    QJsonArray array;
    for (const DailyLine& line : lines) {
        array.append(QJsonObject{
            {u"airline"_s, line.airline},
            {u"currency"_s, line.currency},
            {u"issued"_s,
             QJsonObject{{u"count"_s, line.issued}, {u"total"_s, line.issuedTotal.text()}}},
            {u"voided"_s,
             QJsonObject{{u"count"_s, line.voided}, {u"total"_s, line.voidedTotal.text()}}},
            {u"refunded"_s,
             QJsonObject{{u"count"_s, line.refunded}, {u"amount"_s, line.refundedTotal.text()}}},
            {u"net"_s, line.net.text()},
        });
    }
    const QJsonObject report{{u"date"_s, day}, {u"lines"_s, array}};
    return QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Indented));
}
