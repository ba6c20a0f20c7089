#pragma once

#include "documentbook.h"

#include <QList>
#include <QString>

// One line of the daily report: the documents of one airline and currency
// that were issued, voided and refunded on the day, and what is left.
struct DailyLine {
    QString airline;
    QString currency;
    int issued = 0;
    ShownAmount issuedTotal;
    int voided = 0;
    ShownAmount voidedTotal; // what the voided documents were issued for
    int refunded = 0;
    ShownAmount refundedTotal;
    ShownAmount net; // issued - voided - refunded
};

// The report for a day (YYYY-MM-DD) from the documents: an event counts on
// the day of the file that carried it. A refund counts while it stands (no
// cancelled refund of the document on the same day or later undid it).
QList<DailyLine> dailyReport(const QList<DocumentView>& documents, const QString& day);

QString dailyReportText(const QList<DailyLine>& lines, const QString& day);
QString dailyReportJson(const QList<DailyLine>& lines, const QString& day);
