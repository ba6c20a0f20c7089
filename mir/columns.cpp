#include "columns.h"

namespace mir {

QStringView columns(QStringView line, qsizetype first, qsizetype last) {
    if (first < 1 || last < first || first > line.size())
        return {};
    return line.mid(first - 1, qMin(last, line.size()) - first + 1);
}

QStringView columnsFrom(QStringView line, qsizetype first) {
    return columns(line, first, line.size());
}

QStringView trimBlanks(QStringView line) {
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && line[begin] == u' ')
        ++begin;
    while (end > begin && line[end - 1] == u' ')
        --end;
    return line.mid(begin, end - begin);
}

QStringView SplitToken(QStringView& source, QStringView separator) {
    // An ASCII character other than a letter has no other case: the search
    // for it need not fold every character of the source.
    const bool caseless = separator.size() == 1 && separator.front().unicode() < 128 &&
                          !separator.front().isLetter();
    const qsizetype at =
        source.indexOf(separator, 0, caseless ? Qt::CaseSensitive : Qt::CaseInsensitive);
    if (at < 0) {
        const QStringView token = source;
        source = {};
        return token;
    }
    const QStringView token = source.left(at);
    source = source.mid(at + 1);
    return token;
}

} // namespace mir
