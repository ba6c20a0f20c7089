#pragma once

#include <QString>

// The process-wide last error that every error trap writes and the cycle and
// the error log read. Safe to use from the GUI thread and the cycle's thread.
struct LastError {
    qint32 number = 0;
    QString text;
};

LastError lastError();
qint32 lastErrorNumber();
QString lastErrorText();
void setLastError(qint32 number, const QString& text);
void clearLastError();
