#pragma once

#include "currency.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>

// One new row of a table, its columns in the order they were set, as the
// writers fill it before saving.
class NewRow {
public:
    explicit NewRow(const QString& table);

    // Setting a column again replaces its value and keeps its place. A text
    // is stored as given (a null text as the empty text); an invalid QVariant
    // stores NULL.
    void set(const QString& column, const QVariant& value);
    void setCurrency(const QString& column, Currency amount);

    QString table() const { return m_table; }
    QStringList columns() const { return m_columns; }
    QVariantList values() const { return m_values; }

private:
    QString m_table;
    QStringList m_columns;
    QVariantList m_values;
};

// Saves the row with one INSERT and bound parameters, inside the transaction
// open on the connection if there is one. Values for the currency columns of
// the schema (texts, whole numbers, Currency) are converted exactly to the
// four-decimal form and never pass through floating point; a text that is no
// number fails with StoreError::kTypeMismatch. Throws StoreError.
void appendRow(QSqlDatabase& db, const NewRow& row);
// Saves rows with as few statements as their shapes allow: the rows of one
// table with the same columns go into one INSERT of many rows (more when they
// would bind more parameters than kMaxBoundValues), the shapes in the order
// their first rows came. Every value is converted before the first statement,
// so a value that is no amount saves none of the rows. Rows of one statement
// are saved all or none; when a later statement fails, the earlier stay
// unless the caller's transaction rolls back. Throws StoreError.
void appendRows(QSqlDatabase& db, const QList<NewRow>& rows);
// The same on the calling thread's connection for the text; a connection that
// died is dropped so that the next call reconnects.
void appendRow(const QString& connectionText, const NewRow& row);
void appendRows(const QString& connectionText, const QList<NewRow>& rows);

// The most values one statement of appendRows binds: the oldest limit of the
// engines kept (SQLite's default before 3.32).
inline constexpr qsizetype kMaxBoundValues = 999;

// Reads a currency column's value as the database returned it (use
// QSql::HighPrecision on the query). Nothing for NULL or a non-number.
std::optional<Currency> currencyFromColumn(const QVariant& value);
