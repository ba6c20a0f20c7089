#pragma once

#include <QByteArray>
#include <QString>

// A file name is whatever bytes the file system holds. The cycle touches
// files by those bytes and shows, logs and stores (FILE_NM, AMERROR, log
// lines) this visible form instead: printable UTF-8 as it is; a backslash
// as "\\"; newline, tab and carriage return as "\n", "\t", "\r"; every other
// control character, invisible character or byte that is not valid UTF-8 as
// "\xHH". No two names share a form, and no form holds a line break.
// A form longer than FILE_NM's 260 characters is cut and ends with "~" and
// 16 hex digits of the name's SHA-256, so it stays unique.
QString shownFileName(const QByteArray& name);

// A file's bytes as the window shows them: read as Latin-1, every CR as CR LF.
QString shownText(const QByteArray& bytes);
