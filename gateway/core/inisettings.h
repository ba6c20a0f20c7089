#pragma once

#include "gatewaysettings.h"

#include <QString>

// Reads the ten keys of section PALVA, one call each, in this order: Provider,
// Server, uid, pwd, database, RM_T2K, DUP_CHK, XML_FG, XML_DNS, T_MODE. A
// missing or unreadable file, section or key gives the empty text; each value
// is at most 1023 characters and otherwise kept as the profile reader returns
// it (see platform/ini/profilereader.h).
void readIniSettings(GatewaySettings& settings, const QString& iniPath);
