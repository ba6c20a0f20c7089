#include "bookingxml.h"

#include "xmltext.h"

#include <QXmlStreamReader>

QString bookingXmlText(const FileContext& context, const QString& xmlDns) {
    return QStringLiteral("<PNR><DNS>") + xmlEscaped(xmlDns) + QStringLiteral("</DNS><RECLOC>") +
           xmlEscaped(context.RecordLocator) + QStringLiteral("</RECLOC>") + context.AmamdXml +
           QStringLiteral("<KIND>") + xmlEscaped(context.Kind) + QStringLiteral("</KIND></AMAMD>") +
           context.AmamddXml + context.AmheadXml + context.AmtktXml + context.AmpaxXml +
           QStringLiteral("</PNR>");
}

bool bookingXmlLoads(const QString& text, QString* why) {
    QXmlStreamReader reader(text);
    bool sawRoot = false;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement)
            sawRoot = true;
    }
    if (reader.hasError()) {
        if (why)
            *why = QStringLiteral("line %1 column %2: %3")
                       .arg(reader.lineNumber())
                       .arg(reader.columnNumber())
                       .arg(reader.errorString());
        return false;
    }
    if (!sawRoot) {
        if (why)
            *why = QStringLiteral("no root element");
        return false;
    }
    return true;
}
