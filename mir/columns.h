#pragma once

#include <QStringView>

namespace mir {

// Columns first-last (1-based, inclusive) of a line. A field that runs past
// the end of the line is cut short, one that starts past the end is empty.
QStringView columns(QStringView line, qsizetype first, qsizetype last);
// Everything from column first to the end of the line.
QStringView columnsFrom(QStringView line, qsizetype first);

// The line without leading and trailing spaces (only spaces are blanks here:
// a tab or a form feed is a character of the line).
QStringView trimBlanks(QStringView line);

// Takes the token before the first occurrence of separator (compared without
// regard to letter case) off the front of source. Exactly one character after
// the token is removed, whatever the separator's length; when the separator is
// missing the whole source is the token and source becomes empty. Every call
// shortens a non-empty source, so a loop until source is empty ends.
QStringView SplitToken(QStringView& source, QStringView separator);

} // namespace mir
