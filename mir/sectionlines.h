#pragma once

#include "mirfield.h"

#include <QList>
#include <QStringView>

// The one way both readers walk a MIR text in the interpreter's form (every
// line end one CR, see mirtext.h): the header's lines, and the section lines
// after it.
namespace mir {

// The section lines of a text from a character on (0-based), each taken up
// to its CR and trimmed of blanks: `next` gives them one by one, empty ones
// included, until the text ends.
class SectionLines {
public:
    SectionLines(QStringView text, qsizetype from);
    bool next(QStringView& line);

private:
    QStringView m_remaining;
};

// The three-character section code of a section line ("A02"), or "" for a
// line that carries none of its own: an empty line, or one that belongs to
// the section item above it ("TI:", "IT:", "ED-", "C35:" ...).
QStringView sectionCode(QStringView line);

// One section item: its section line and the lines without a code of their
// own that follow it, blank lines left out.
struct SectionItem {
    QStringView code;
    QStringView line;
    QList<QStringView> subLines;

    // The first sub-line that starts with the label ("RA:"), or "".
    QStringView subLine(QStringView label) const;
    // Every sub-line that starts with the label.
    QList<QStringView> subLinesLabelled(QStringView label) const;
};

// The section items of a text from a character on; lines before the first
// section line belong to no item and are left out.
QList<SectionItem> sectionItems(QStringView text, qsizetype from);

// The header's five lines as the text breaks them (fewer when it ends
// earlier), and whether they have the lengths of a conforming header.
struct HeaderLines {
    QList<QStringView> lines;
    bool conforming = false;
    qsizetype end = 0; // where the text after the fifth line's break starts

    // A header field, taken by its line and column: cut short or "" past
    // the end of its line.
    QStringView field(const MirField& field) const;
    // Where the lines break, counting every break as one character.
    QList<qsizetype> breaks() const;
};
HeaderLines headerLines(QStringView text);

} // namespace mir
