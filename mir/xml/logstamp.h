#pragma once

#include <QDateTime>
#include <QString>

// The date and time of a log line as the system formats them: the locale's
// short date, a space, and the time with seconds.
QString logStampText(const QDateTime& when);

// A log line without the CR LF it ends with, for displays that add their own
// line breaks (the window's list, standard output).
QString withoutLineEnd(QString line);
