#include "runchecks.h"

#include "fileops.h"

#include <QDir>
#include <QFileInfo>

bool dataFolderHoldsMdb(const QString& dataFolder) {
    const QDir folder(dataFolder);
    const QStringList files = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : files) {
        if (name.compare(QLatin1String("PALVA.MDB"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool folderExists(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

QString mdbMissingMessage(const QString& dataFolder) {
    return dataFolder + QStringLiteral("PALVA.MDB 找不到");
}

QString downloadMissingMessage(const QString& downFolder) {
    return downFolder + QStringLiteral(" 路徑找不到");
}

QString backupMissingQuestion(const QString& backupFolder) {
    return backupFolder + QStringLiteral(" 路徑找不到,建立目錄?");
}

QString unreachableDownloadMessage(const QString& downFolder) {
    return QStringLiteral("MIR 下載目錄 [") + downFolder + QStringLiteral("] 無法存取 !!!");
}

QString backupDateFolder(const GatewaySettings& settings) {
    return settings.MirBackupPath + settings.StartYearMonth + QLatin1Char('/') + settings.StartDay +
           QLatin1Char('/');
}

std::optional<StepFailure> createBackupFolder(const QString& backupFolder) {
    return makeFolderIfMissing(backupFolder);
}

std::optional<StepFailure> createBackupDateFolders(const GatewaySettings& settings) {
    if (auto failure = makeFolderIfMissing(settings.MirBackupPath + settings.StartYearMonth))
        return failure;
    return makeFolderIfMissing(settings.MirBackupPath + settings.StartYearMonth + QLatin1Char('/') +
                               settings.StartDay);
}
