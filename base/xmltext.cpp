#include "xmltext.h"

using namespace Qt::StringLiterals;

QString xmlEscaped(const QString& value) {
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'&':
            escaped += "&amp;"_L1;
            break;
        case u'<':
            escaped += "&lt;"_L1;
            break;
        case u'>':
            escaped += "&gt;"_L1;
            break;
        case u'"':
            escaped += "&quot;"_L1;
            break;
        case u'\'':
            escaped += "&apos;"_L1;
            break;
        case u'\t':
        case u'\n':
        case u'\r':
            escaped += c;
            break;
        default:
            // Characters XML does not allow at all (other control characters,
            // U+FFFE, U+FFFF) become a blank, which keeps the value's width.
            escaped += (c.unicode() < 0x20 || c.unicode() >= 0xFFFE) ? QChar(u' ') : c;
            break;
        }
    }
    return escaped;
}

void appendXmlElement(QString& xml, QStringView name, const QString& value) {
    xml += u'<';
    xml += name;
    xml += u'>';
    xml += xmlEscaped(value);
    xml += "</"_L1;
    xml += name;
    xml += u'>';
}
