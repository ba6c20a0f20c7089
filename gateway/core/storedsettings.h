#pragma once

#include "gatewaysettings.h"

#include "registrykey.h"

#include <QByteArray>
#include <QString>

// The four folder and AMTEMP settings kept in the settings store under
// Software\KESTO, as REG_SZ values. Their text is stored as UTF-8 bytes (the
// stand-in for the ANSI code page).
inline constexpr char kSettingsKeyPath[] = "Software\\KESTO";
inline constexpr int kStoredTextLength = 100;

// Start-up's defaults: MirDataSource = program folder + "/vela_data/",
// MirDownPath = $HOME/Mirs/, MirBackupPath = $HOME/BkMirs/, MirProcessTKT = "1",
// MirSettle = "listing".
void applyStoredSettingDefaults(GatewaySettings& settings);

// Overrides the four settings, MirSettle, MirMetrics and MirGateway with what the store holds, one value at a
// time: only a REG_SZ value counts (its type is asked first), its text runs up to the first NUL,
// and an empty value gives the empty text. A value of another type, a missing value or a value that
// cannot be read keeps the setting as it was; when the key cannot be opened (missing, unreadable or
// damaged store) all four stay. Data without any NUL is taken whole: stores written before long
// folder texts were kept whole hold such values, and cutting them would lose the operator's folder.
void readStoredSettings(GatewaySettings& settings);

// The value data for one text: its UTF-8 bytes followed by NUL bytes up to 100
// bytes. A text of 100 bytes or more cannot keep a NUL within 100 bytes, so it
// is stored whole with one terminating NUL (length = text length + 1) and reads
// back whole.
QByteArray encodeStoredText(const QString& text);

// The text of REG_SZ data: up to the first NUL, or all of it without a NUL.
QString decodeStoredText(const QByteArray& data);

// Writes one setting as REG_SZ with encodeStoredText's data.
kesto::registry::Status writeFolderSetting(kesto::registry::RegistryKey& key, const char* name,
                                           const QString& text);

// Opens or creates Software\KESTO and writes MirDataSource, MirDownPath,
// MirBackupPath and MirProcessTKT in that order. Returns the first failure
// (the later values are still attempted), or Ok.
kesto::registry::Status saveStoredSettings(const GatewaySettings& settings);

// Writes one value that the Setup button leaves alone (MirSettle, MirMetrics,
// MirGateway), or removes it when the text is empty.
kesto::registry::Status saveOneSetting(const char* name, const QString& text);

// Makes the gateway's identity (MirGateway) when it has none yet and keeps
// it in the settings store: the host's name and twelve random hex digits.
// Returns why it could not be kept, "" when all is well.
QString ensureGatewayIdentity(GatewaySettings& settings);
