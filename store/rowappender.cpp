#include "rowappender.h"

#include "schema.h"
#include "storecall.h"
#include "storeerror.h"
#include "writebatch.h"

#include <QHash>

#include <algorithm>

namespace {

// The widest rows a file writes (a document file's) have 28 columns.
constexpr qsizetype kReservedColumns = 32;

// [A-Za-z_][A-Za-z0-9_]*, tested for every column of every row.
bool isIdentifier(const QString& name) {
    if (name.isEmpty() || name.front().isDigit())
        return false;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (!((u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') ||
              u == u'_'))
            return false;
    }
    return true;
}

// A currency column's value in the canonical four-decimal text, which every
// engine converts exactly (SQLite keeps it as the text itself).
QVariant currencyParameter(const QString& column, const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return value;
    std::optional<Currency> amount;
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
        amount = Currency::fromWhole(value.toLongLong());
        break;
    case QMetaType::QString:
        amount = Currency::fromText(value.toString());
        break;
    default:
        if (value.metaType() == QMetaType::fromType<Currency>())
            amount = value.value<Currency>();
        break;
    }
    if (!amount)
        throw StoreError(
            StoreError::kTypeMismatch,
            QStringLiteral("Type mismatch: %1 cannot hold '%2'").arg(column, value.toString()));
    return amount->toCanonicalText();
}

// The row's values as they are bound, its names checked.
QVariantList boundValues(const NewRow& row) {
    if (!isIdentifier(row.table()))
        throw StoreError(StoreError::kProviderFailure,
                         QStringLiteral("Invalid table name '%1'").arg(row.table()));
    const QStringList columns = row.columns();
    QVariantList values = row.values();
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (!isIdentifier(columns[i]))
            throw StoreError(StoreError::kProviderFailure,
                             QStringLiteral("Invalid column name '%1'").arg(columns[i]));
        if (isCurrencyColumn(row.table(), columns[i]))
            values[i] = currencyParameter(columns[i], values[i]);
        else if (values[i].metaType() == QMetaType::fromType<Currency>())
            values[i] = values[i].value<Currency>().toCanonicalText();
    }
    return values;
}

QString makeInsertStatement(const QString& table, const QStringList& columns, qsizetype rows) {
    QString sql = QStringLiteral("INSERT INTO ") + table;
    if (columns.isEmpty())
        return sql + QStringLiteral(" DEFAULT VALUES");
    QStringList marks;
    marks.fill(QStringLiteral("?"), columns.size());
    const QString tuple = QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
    QStringList tuples;
    tuples.fill(tuple, rows);
    return sql + QStringLiteral(" (") + columns.join(QLatin1Char(',')) +
           QStringLiteral(") VALUES ") + tuples.join(QLatin1Char(','));
}

struct InsertShape {
    QString table;
    QStringList columns;
    qsizetype rows = 0;
    bool operator==(const InsertShape&) const = default;
};

size_t qHash(const InsertShape& shape, size_t seed = 0) {
    return qHashMulti(seed, shape.table, shape.columns, shape.rows);
}

// The statement's text, made once per shape on each thread: a drain writes
// the same few shapes thousands of times.
QString insertStatement(const QString& table, const QStringList& columns, qsizetype rows) {
    constexpr qsizetype kKeptShapes = 256;
    thread_local QHash<InsertShape, QString> made;
    InsertShape shape{table, columns, rows};
    if (const auto found = made.constFind(shape); found != made.cend())
        return *found;
    if (made.size() >= kKeptShapes)
        made.clear();
    QString sql = makeInsertStatement(table, columns, rows);
    made.insert(std::move(shape), sql);
    return sql;
}

// Rows of one table with the same columns.
struct RowShape {
    QString table;
    QStringList columns;
    QList<QVariantList> rows;
};

} // namespace

NewRow::NewRow(const QString& table) : m_table(table) {
    // Room for the columns of the widest rows a file writes: growing the lists
    // one column at a time cost a twentieth of a file's instructions.
    m_columns.reserve(kReservedColumns);
    m_values.reserve(kReservedColumns);
}

void NewRow::set(const QString& column, const QVariant& value) {
    QVariant stored = value;
    if (value.metaType().id() == QMetaType::QString &&
        static_cast<const QString*>(value.constData())->isNull())
        stored = QString(QLatin1String(""));
    const qsizetype at = m_columns.indexOf(column, 0);
    if (at >= 0) {
        m_values[at] = stored;
        return;
    }
    m_columns.append(column);
    m_values.append(stored);
}

void NewRow::setCurrency(const QString& column, Currency amount) {
    set(column, QVariant::fromValue(amount));
}

void appendRows(QSqlDatabase& db, const QList<NewRow>& rows) {
    QList<RowShape> shapes;
    for (const NewRow& row : rows) {
        QVariantList values = boundValues(row);
        const QStringList columns = row.columns();
        auto shape = std::find_if(shapes.begin(), shapes.end(), [&](const RowShape& known) {
            return known.table == row.table() && known.columns == columns;
        });
        if (shape == shapes.end())
            shapes.append({row.table(), columns, {std::move(values)}});
        else
            shape->rows.append(std::move(values));
    }
    for (const RowShape& shape : std::as_const(shapes)) {
        // A row without columns takes every default, one statement each.
        const qsizetype perStatement =
            shape.columns.isEmpty() ? 1
                                    : std::max<qsizetype>(1, kMaxBoundValues / shape.columns.size());
        for (qsizetype first = 0; first < shape.rows.size(); first += perStatement) {
            const qsizetype count = std::min(perStatement, shape.rows.size() - first);
            QVariantList values;
            for (qsizetype i = first; i < first + count; ++i)
                values.append(shape.rows[i]);
            runOrBatch(db, insertStatement(shape.table, shape.columns, count), values);
        }
    }
}

void appendRow(QSqlDatabase& db, const NewRow& row) {
    appendRows(db, {row});
}

void appendRow(const QString& connectionText, const NewRow& row) {
    withThreadConnection(connectionText, [&row](QSqlDatabase& db) { appendRow(db, row); });
}

void appendRows(const QString& connectionText, const QList<NewRow>& rows) {
    withThreadConnection(connectionText, [&rows](QSqlDatabase& db) { appendRows(db, rows); });
}

std::optional<Currency> currencyFromColumn(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
        return Currency::fromWhole(value.toLongLong());
    case QMetaType::Double:
        // Only a query without QSql::HighPrecision gets here: take the
        // nearest four-decimal value.
        return Currency::fromText(QString::number(value.toDouble(), 'f', 4));
    default:
        return Currency::fromText(value.toString());
    }
}
