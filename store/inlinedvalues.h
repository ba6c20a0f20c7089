#pragma once

#include <QString>
#include <QVariantList>

#include <optional>

// The SQL text with each '?' replaced by its value, written the way psqlODBC
// writes a bound value into the text it sends: texts quoted with their quotes
// doubled, integers bare, NULL for a null. Binding the hundreds of values of a
// file through Qt and the driver takes about a quarter of its instructions on
// PostgreSQL; the text sent is the same.
//
// Nothing, so that the caller binds as before, when a value is of another
// type, a text holds a backslash (whose meaning depends on the server's
// standard_conforming_strings) or a NUL, or the values do not match the
// '?'s (as when one is inside a quoted literal of the text).
std::optional<QString> withValuesInlined(const QString& sql, const QVariantList& values);
