#pragma once

#include <QString>
#include <QStringView>

#include <span>

namespace mir::documents {

// One fixed-column field of a MIR record as the format guide lists it: its
// label, its first column (1-based, as counted on the record line, the
// section label included) and its width.
struct Field {
    const char* label;
    qsizetype first;
    qsizetype width;
};

// The field's text on a line, or "" when the line is shorter; blanks kept.
QStringView fieldText(QStringView line, const Field& field);
// The same without leading and trailing blanks.
QString trimmedField(QStringView line, const Field& field);

// The field of a table by its label; the tables are small, so a scan serves.
const Field& fieldOf(std::span<const Field> table, const char* label);

} // namespace mir::documents
