#pragma once

#include "gatewaysettings.h"
#include "stepfailure.h"

#include <QString>

#include <optional>

// What Run checks and prepares before the cycle starts, shared by the window
// and `kesto run`.

// Whether the data folder holds the database file, looked up as "PALVA.MDB"
// without regard to case (the file is PALVA.mdb).
bool dataFolderHoldsMdb(const QString& dataFolder);
bool folderExists(const QString& path);

// The texts of the failed checks and of the unreachable download folder.
QString mdbMissingMessage(const QString& dataFolder);      // data + "PALVA.MDB 找不到"
QString downloadMissingMessage(const QString& downFolder); // down + " 路徑找不到"
QString backupMissingQuestion(const QString& backupFolder); // backup + " 路徑找不到,建立目錄?"
QString unreachableDownloadMessage(const QString& downFolder); // "MIR 下載目錄 [down] 無法存取 !!!"

// backup folder + StartYearMonth + "/" + StartDay + "/": where files are filed.
QString backupDateFolder(const GatewaySettings& settings);

// Makes the backup folder itself (after the operator agreed).
std::optional<StepFailure> createBackupFolder(const QString& backupFolder);
// Makes backup + StartYearMonth and then backup + StartYearMonth + "/" + StartDay
// when they are missing.
std::optional<StepFailure> createBackupDateFolders(const GatewaySettings& settings);
