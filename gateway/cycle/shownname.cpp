#include "shownname.h"

#include "sha256.h"

#include <QChar>

#include <algorithm>

namespace {

constexpr qsizetype kLongestForm = 260;
constexpr qsizetype kDigestDigits = 16;

// The length of the valid UTF-8 sequence at `at` (shortest form, no
// surrogates, at most U+10FFFF) and its code point; 0 when it is not valid.
int utf8Sequence(const QByteArray& bytes, qsizetype at, char32_t& codePoint) {
    const auto byte = [&bytes](qsizetype i) { return static_cast<unsigned char>(bytes.at(i)); };
    const unsigned char lead = byte(at);
    int length = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, codePoint = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, codePoint = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, codePoint = lead & 0x07, smallest = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (byte(at + i) & 0x3F);
    }
    if (codePoint < smallest || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

// Printable, and no line or paragraph separator (which QChar counts as printable).
bool isVisible(char32_t codePoint) {
    const QChar::Category category = QChar::category(codePoint);
    return QChar::isPrint(codePoint) && category != QChar::Separator_Line &&
           category != QChar::Separator_Paragraph;
}

void appendHexByte(QString& out, unsigned char byte) {
    static const char digits[] = "0123456789ABCDEF";
    out += QStringLiteral("\\x");
    out += QLatin1Char(digits[byte >> 4]);
    out += QLatin1Char(digits[byte & 0x0F]);
}

} // namespace

QString shownFileName(const QByteArray& name) {
    QString shown;
    for (qsizetype at = 0; at < name.size();) {
        char32_t codePoint = 0;
        const int length = utf8Sequence(name, at, codePoint);
        if (codePoint == u'\\' && length == 1) {
            shown += QStringLiteral("\\\\");
        } else if (codePoint == u'\n' && length == 1) {
            shown += QStringLiteral("\\n");
        } else if (codePoint == u'\t' && length == 1) {
            shown += QStringLiteral("\\t");
        } else if (codePoint == u'\r' && length == 1) {
            shown += QStringLiteral("\\r");
        } else if (length > 0 && isVisible(codePoint)) {
            shown += QString::fromUtf8(name.constData() + at, length);
        } else {
            for (int i = 0; i < std::max(length, 1); ++i)
                appendHexByte(shown, static_cast<unsigned char>(name.at(at + i)));
        }
        at += std::max(length, 1);
    }
    if (shown.size() > kLongestForm) {
        qsizetype keep = kLongestForm - 1 - kDigestDigits;
        if (shown.at(keep - 1).isHighSurrogate())
            --keep;
        shown.truncate(keep);
        shown += QLatin1Char('~') + QString::fromLatin1(sha256(name).toHex().left(kDigestDigits));
    }
    return shown;
}

QString shownText(const QByteArray& bytes) {
    QString text = QString::fromLatin1(bytes);
    text.replace(QLatin1Char('\r'), QStringLiteral("\r\n"));
    return text;
}
