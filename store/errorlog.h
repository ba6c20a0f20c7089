#pragma once

#include <QString>

// Records one failure as an AMERROR row: DATE_1 (mm-dd-yyyy) and TIME_1
// (hh:mm:ss) from two readings of currentClock(), and MESSAGE = source + "-->"
// + code + ":" + text, cut to its first 255 characters. Writes on the calling
// thread's connection for ConnectionString. Never throws and never fails
// towards the caller: a column that fails is skipped. When the row cannot be
// written at all (the database cannot be reached) it goes to the local error
// log instead, if one is set, and the result is false.
bool LogError(const QString& source, qint32 code, const QString& text);

// A text file that keeps the error rows the database could not take, one
// line each ("mm-dd-yyyy hh:mm:ss MESSAGE"); "" for none.
void setLocalErrorLog(const QString& path);

// The MESSAGE value LogError stores.
QString errorLogMessage(const QString& source, qint32 code, const QString& text);

class NewRow;
// The AMERROR row LogError writes, for a caller that writes it itself inside
// a transaction of its own rows.
NewRow errorRow(const QString& source, qint32 code, const QString& text);

struct LoggedError {
    QString message;     // the row's MESSAGE
    bool stored = false; // written to the database (not only to the local error log)
};

// Records an error the way every trap of the cycle does: the last error set to
// the number and text, one AMERROR row, the last error cleared again. The row
// is written from the values given, never read back from the shared last
// error, which another thread may set meanwhile.
LoggedError logTrappedError(const QString& source, qint32 number, const QString& text);
