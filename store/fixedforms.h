#pragma once

#include <QDate>
#include <QString>
#include <QTime>

// The fixed date and time texts stored in DATE_1 and TIME_1, independent of
// regional settings.
QString dateTextMdy(const QDate& date);    // mm-dd-yyyy, e.g. 12-06-2026
QString timeTextHms(const QTime& time);    // hh:mm:ss (24-hour), e.g. 07:05:09
QString dateTextYymmdd(const QDate& date); // yymmdd, e.g. 090305 for 5 March 2009
