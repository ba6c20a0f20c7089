#pragma once

#include <QString>
#include <QStringView>

namespace mir {

// One fixed-column field of a MIR line: its label, its offset (0-based, the
// section label included, as the format guide counts) and its width. In the
// header the offset counts every line break as one character.
struct MirField {
    const char* label;
    qsizetype offset;
    qsizetype width;
};

// The field's text on a line: cut short where the line ends early, "" when
// it starts past the end. Blanks kept.
QStringView fieldText(QStringView line, const MirField& field);
// The same without leading and trailing blanks.
QString trimmedField(QStringView line, const MirField& field);
// Everything from the field's offset to the end of the line.
QStringView fieldToEnd(QStringView line, const MirField& field);

} // namespace mir
