#pragma once

#include "gatewaysettings.h"

#include <QDate>
#include <QString>

// The platform identifier start-up records; 1 would mean the Windows 95/98/Me
// family, whose pause loops pumping messages. This platform is never that.
inline constexpr int kPlatformId = 2;

// StartYearMonth = yyyyMM and StartDay = dd of the date the program started;
// they are not refreshed while it runs.
void setStartDate(GatewaySettings& settings, const QDate& startDate);

// The whole configuration as start-up reads it: PlatformId, the ten keys of
// PALVA.INI (program folder), the defaults of the four stored settings, the
// start date and then the settings store (Software\KESTO). Missing or damaged
// sources give defaults; nothing here fails or shows a message.
GatewaySettings loadGatewaySettings(const QDate& startDate = QDate::currentDate());

// "KESTO-MDB" when Provider, trimmed, is empty, else "KESTO-SQL": the name
// under which one instance per mode may run.
QString instanceTitle(const GatewaySettings& settings);
