#pragma once

#include <QString>

// Records one failure as an AMERROR row: DATE_1 (mm-dd-yyyy) and TIME_1
// (hh:mm:ss) from two readings of currentClock(), and MESSAGE = source + "-->"
// + code + ":" + text, cut to its first 255 characters. Writes on the calling
// thread's connection for ConnectionString. Never throws and never fails
// towards the caller: a step that fails is skipped, and when the database
// cannot be reached nothing is written.
void LogError(const QString& source, qint32 code, const QString& text);

// The MESSAGE value LogError stores.
QString errorLogMessage(const QString& source, qint32 code, const QString& text);

// Records an error the way every trap of the cycle does: the last error set to
// the number and text, one AMERROR row, the last error cleared again. The row
// is written from the values given, never read back from the shared last
// error, which another thread may set meanwhile. Returns the row's MESSAGE.
QString logTrappedError(const QString& source, qint32 number, const QString& text);
