#include "mirfield.h"

namespace mir {

QStringView fieldText(QStringView line, const MirField& field) {
    if (field.offset < 0 || field.offset >= line.size())
        return {};
    return line.mid(field.offset, qMin(field.width, line.size() - field.offset));
}

QString trimmedField(QStringView line, const MirField& field) {
    return fieldText(line, field).trimmed().toString();
}

QStringView fieldToEnd(QStringView line, const MirField& field) {
    if (field.offset < 0 || field.offset >= line.size())
        return {};
    return line.mid(field.offset);
}

} // namespace mir
