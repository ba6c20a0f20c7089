#include "fieldtable.h"

#include "columns.h"

#include <cstring>
#include <stdexcept>

namespace mir::documents {

QStringView fieldText(QStringView line, const Field& field) {
    return columns(line, field.first, field.first + field.width - 1);
}

QString trimmedField(QStringView line, const Field& field) {
    return fieldText(line, field).trimmed().toString();
}

const Field& fieldOf(std::span<const Field> table, const char* label) {
    for (const Field& field : table) {
        if (std::strcmp(field.label, label) == 0)
            return field;
    }
    // Only a mistyped label in this reader's own code gets here.
    throw std::logic_error(std::string("no MIR field ") + label);
}

} // namespace mir::documents
