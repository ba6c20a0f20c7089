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
// The same on the calling thread's connection for the text; a connection that
// died is dropped so that the next call reconnects.
void appendRow(const QString& connectionText, const NewRow& row);

// Reads a currency column's value as the database returned it (use
// QSql::HighPrecision on the query). Nothing for NULL or a non-number.
std::optional<Currency> currencyFromColumn(const QVariant& value);
