#include "sectionlines.h"

#include "columns.h"
#include "mirlayout.h"

#include <algorithm>

namespace mir {

namespace {

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

} // namespace

SectionLines::SectionLines(QStringView text, qsizetype from)
    : m_remaining(text.mid(qMin(text.size(), from))) {}

bool SectionLines::next(QStringView& line) {
    if (m_remaining.isEmpty())
        return false;
    line = trimBlanks(SplitToken(m_remaining, u"\r"));
    return true;
}

QStringView sectionCode(QStringView line) {
    if (line.size() < 3 || line[0] != u'A' || !isAsciiDigit(line[1]) || !isAsciiDigit(line[2]))
        return {};
    return line.left(3);
}

QStringView SectionItem::subLine(QStringView label) const {
    for (const QStringView sub : subLines) {
        if (sub.startsWith(label))
            return sub;
    }
    return {};
}

QList<QStringView> SectionItem::subLinesLabelled(QStringView label) const {
    QList<QStringView> found;
    for (const QStringView sub : subLines) {
        if (sub.startsWith(label))
            found.append(sub);
    }
    return found;
}

QList<SectionItem> sectionItems(QStringView text, qsizetype from) {
    QList<SectionItem> items;
    SectionLines lines(text, from);
    QStringView line;
    while (lines.next(line)) {
        const QStringView code = sectionCode(line);
        if (!code.isEmpty())
            items.append({code, line, {}});
        else if (!line.isEmpty() && !items.isEmpty())
            items.last().subLines.append(line);
    }
    return items;
}

QStringView HeaderLines::field(const MirField& field) const {
    const int line = layout::headerLine(field.offset);
    if (line > lines.size())
        return {};
    const MirField inLine{field.label, layout::headerColumn(field.offset) - 1, field.width};
    return fieldText(lines[line - 1], inLine);
}

QList<qsizetype> HeaderLines::breaks() const {
    QList<qsizetype> at;
    qsizetype offset = 0;
    for (const QStringView line : lines) {
        offset += line.size();
        at.append(offset);
        ++offset;
    }
    return at;
}

HeaderLines headerLines(QStringView text) {
    HeaderLines header;
    qsizetype start = 0;
    while (header.lines.size() < qsizetype(layout::kHeaderBreaks.size()) && start < text.size()) {
        qsizetype end = text.indexOf(u'\r', start);
        if (end < 0)
            end = text.size();
        header.lines.append(text.mid(start, end - start));
        start = end + 1;
    }
    header.end = qMin(start, text.size());
    const QList<qsizetype> breaks = header.breaks();
    header.conforming = breaks.size() == qsizetype(layout::kHeaderBreaks.size()) &&
                        std::equal(breaks.cbegin(), breaks.cend(), layout::kHeaderBreaks.cbegin());
    return header;
}

} // namespace mir
