#include "mirtext.h"

#include <QFile>

namespace mir {

QString mirTextFromBytes(const QByteArray& fileBytes) {
    const qsizetype size = fileBytes.size();
    // Written in place: appending the characters one by one cost a tenth of
    // a file's instructions.
    QString text(size + 1, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < size; ++i) {
        const char byte = fileBytes[i];
        if (byte == '\r') {
            if (i + 1 < size && fileBytes[i + 1] == '\n')
                ++i;
            *out++ = u'\r';
        } else if (byte == '\n') {
            *out++ = u'\r';
        } else {
            *out++ = QChar(static_cast<uchar>(byte));
        }
    }
    // The last line has no line end of its own in the file: it still gets its CR.
    if (size > 0 && !fileBytes.endsWith('\r') && !fileBytes.endsWith('\n'))
        *out++ = u'\r';
    text.truncate(out - text.constData());
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
