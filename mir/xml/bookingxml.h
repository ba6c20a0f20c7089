#pragma once

#include "filecontext.h"

#include <QString>

// The booking XML text: the envelope around the writers' fragments, joined as
// they stand: "<PNR><DNS>" XML_DNS "</DNS><RECLOC>" RecordLocator "</RECLOC>"
// AmamdXml "<KIND>" Kind "</KIND></AMAMD>" AmamddXml AmheadXml AmtktXml
// AmpaxXml "</PNR>". The three envelope values are escaped like the
// fragments' values.
QString bookingXmlText(const FileContext& context, const QString& xmlDns);

// Whether the text loads as an XML document; when it does not, `why` tells
// where and why (for the error log).
bool bookingXmlLoads(const QString& text, QString* why);
