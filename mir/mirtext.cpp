#include "mirtext.h"

#include <QFile>

namespace mir {

QString mirTextFromBytes(const QByteArray& fileBytes) {
    QString text;
    text.reserve(fileBytes.size() + 1);
    const qsizetype size = fileBytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char byte = fileBytes[i];
        if (byte == '\r') {
            if (i + 1 < size && fileBytes[i + 1] == '\n')
                ++i;
            text.append(u'\r');
        } else if (byte == '\n') {
            text.append(u'\r');
        } else {
            text.append(QChar(static_cast<uchar>(byte)));
        }
    }
    // The last line has no line end of its own in the file: it still gets its CR.
    if (!text.isEmpty() && !fileBytes.endsWith('\r') && !fileBytes.endsWith('\n'))
        text.append(u'\r');
    return text;
}

MirFileText readMirText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {false, {}, file.errorString()};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {false, {}, file.errorString()};
    return {true, mirTextFromBytes(bytes), {}};
}

} // namespace mir
