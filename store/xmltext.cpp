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
        default:
            escaped += c;
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
