#pragma once

#include "gatewaysettings.h"

#include <QString>

// The four values the operator edits in the main window (or passes to
// `kesto setup`): data, download and backup folders and the AMTEMP choice.
struct SetupFields {
    QString dataFolder;   // Text1, MirDataSource
    QString downFolder;   // Text2, MirDownPath
    QString backupFolder; // Text3, MirBackupPath
    QString amtemp;       // Text5, MirProcessTKT
};

enum class SetupResult {
    Saved,          // accepted and written to the settings store
    AmtempRejected, // the AMTEMP choice is not between "1" and "6"; nothing saved
    SaveFailed,     // accepted, but the settings store could not be written
};

// "AMTEMP 暫存檔選擇:1-6": the message for a rejected AMTEMP choice.
QString amtempRejectedMessage();

// A folder text with the folder separator appended when it does not end with
// one (an empty text becomes "/").
QString withTrailingSeparator(const QString& folder);

// The AMTEMP choice is accepted when, compared as text code by code, it is not
// less than "1" and not greater than "6" (so "10" and "5A" pass, "0", "7" and
// "" fail).
bool isAcceptedAmtemp(const QString& amtemp);

// Setup: the folder fields get their trailing separator (in `fields` too, so
// the window can show them) and go into `settings` whatever the AMTEMP check
// says; when the AMTEMP choice is accepted it goes into `settings` as well and
// the four values are written to the settings store in order.
SetupResult applySetup(SetupFields& fields, GatewaySettings& settings);
