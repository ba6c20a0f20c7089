#pragma once

#include <QString>

// The program's folder, without a trailing '/': $KESTO_HOME when set (tests and
// demos), else the folder of the running executable. PALVA.INI and the default
// data folder live here.
QString programFolder();

// programFolder() + "/PALVA.INI".
QString palvaIniPath();

// Where the gateway keeps the error rows its database could not take:
// $XDG_STATE_HOME/KESTO/errors.log (default ~/.local/state/KESTO/).
QString localErrorLogPath();
