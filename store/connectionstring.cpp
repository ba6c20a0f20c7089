#include "connectionstring.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex g_mutex;
QString g_connectionString;
} // namespace

QString ConnectionString() {
    QMutexLocker lock(&g_mutex);
    return g_connectionString;
}

void setConnectionString(const QString& text) {
    QMutexLocker lock(&g_mutex);
    g_connectionString = text;
}
