#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// MIR files for the tests of the document ledger, built from the document
// reader's own field tables (mir/documents/sectionlayout.h): each value is
// placed by its label, so a column that moves shows up as a named field.
namespace documentmirs {

using Values = QMap<QString, QString>; // label -> text

// A section line: the section label, then each value at its field's columns.
// Amount fields (A07TTA, A11AMT, A29TLA, ...) are right justified.
QString line(const char* section, const Values& values);
// An A07 line with tax boxes "T1:" ... after the fixed fields.
QString fareLine(const Values& values, const QList<QPair<QString, QString>>& taxes);

// The file's bytes: the header (T50BID, its CRs and the declared length set
// here) and the lines, CR after each, a form feed line last.
QByteArray mirFile(const Values& header, const QStringList& lines);

// A header for a transaction on 07DEC26 by airline CI/297.
Values header(const QString& recordLocator, const QString& indicator = QStringLiteral(" "));

// A passenger with a ticket serial (10 digits) of `books` coupons' books.
QString passenger(const QString& name, const QString& serial, int books = 1,
                  const QString& fareItem = QStringLiteral("01"),
                  const QString& exchangeItem = QString());

} // namespace documentmirs
