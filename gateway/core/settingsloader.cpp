#include "settingsloader.h"

#include "inisettings.h"
#include "programfolder.h"
#include "storedsettings.h"

void setStartDate(GatewaySettings& settings, const QDate& startDate) {
    settings.StartYearMonth = startDate.toString(QStringLiteral("yyyyMM"));
    settings.StartDay = startDate.toString(QStringLiteral("dd"));
}

GatewaySettings loadGatewaySettings(const QDate& startDate) {
    GatewaySettings settings;
    settings.PlatformId = kPlatformId;
    readIniSettings(settings, palvaIniPath());
    applyStoredSettingDefaults(settings);
    setStartDate(settings, startDate);
    readStoredSettings(settings);
    return settings;
}

QString instanceTitle(const GatewaySettings& settings) {
    return settings.isSqlMode() ? QStringLiteral("KESTO-SQL") : QStringLiteral("KESTO-MDB");
}
