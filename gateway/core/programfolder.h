#pragma once

#include <QString>

// The program's folder, without a trailing '/': $KESTO_HOME when set (tests and
// demos), else the folder of the running executable. PALVA.INI and the default
// data folder live here.
QString programFolder();

// programFolder() + "/PALVA.INI".
QString palvaIniPath();
