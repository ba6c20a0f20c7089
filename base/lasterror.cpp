#include "lasterror.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex g_mutex;
LastError g_lastError;
} // namespace

LastError lastError() {
    QMutexLocker lock(&g_mutex);
    return g_lastError;
}

qint32 lastErrorNumber() {
    return lastError().number;
}

QString lastErrorText() {
    return lastError().text;
}

void setLastError(qint32 number, const QString& text) {
    QMutexLocker lock(&g_mutex);
    g_lastError = {number, text};
}

void clearLastError() {
    setLastError(0, QString());
}
