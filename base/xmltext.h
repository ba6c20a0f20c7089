#pragma once

#include <QString>
#include <QStringView>

// The writers' XML fragments are plain concatenations of elements without
// attributes. Values are escaped so that the booking document stays
// well-formed whatever a value holds; a value without markup characters is
// written exactly as it stands.

// '&', '<', '>', '"' and '\'' replaced by their entity references; characters
// that XML does not allow anywhere (control characters other than tab, line
// feed and carriage return; U+FFFE and U+FFFF) replaced by a blank.
QString xmlEscaped(const QString& value);

// Appends "<name>" + escaped value + "</name>"; an empty value gives an empty element.
void appendXmlElement(QString& xml, QStringView name, const QString& value);
