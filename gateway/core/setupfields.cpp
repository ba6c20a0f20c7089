#include "setupfields.h"

#include "storedsettings.h"

QString amtempRejectedMessage() {
    return QStringLiteral("AMTEMP 暫存檔選擇:1-6");
}

QString withTrailingSeparator(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

bool isAcceptedAmtemp(const QString& amtemp) {
    return QString::compare(amtemp, QLatin1String("1")) >= 0 &&
           QString::compare(amtemp, QLatin1String("6")) <= 0;
}

SetupResult applySetup(SetupFields& fields, GatewaySettings& settings) {
    fields.dataFolder = withTrailingSeparator(fields.dataFolder);
    fields.downFolder = withTrailingSeparator(fields.downFolder);
    fields.backupFolder = withTrailingSeparator(fields.backupFolder);
    settings.MirDataSource = fields.dataFolder;
    settings.MirDownPath = fields.downFolder;
    settings.MirBackupPath = fields.backupFolder;
    if (!isAcceptedAmtemp(fields.amtemp))
        return SetupResult::AmtempRejected;
    settings.MirProcessTKT = fields.amtemp;
    return saveStoredSettings(settings) == kesto::registry::Status::Ok ? SetupResult::Saved
                                                                       : SetupResult::SaveFailed;
}
