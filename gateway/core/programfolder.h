#pragma once

#include <QString>

// Where the gateway's own files are. $KESTO_HOME, when set (tests and demos),
// is the program folder of everything below. A program run from its build
// folder uses the folder of its executable. An installed program reads
// /etc/kesto/PALVA.INI and keeps its default data folder in the service's
// state folder /var/lib/kesto when it runs as the service's user (whose home
// that is), else in $XDG_DATA_HOME/KESTO (default ~/.local/share/KESTO).

// The file PALVA.INI.
QString palvaIniPath();

// The default folder of PALVA.mdb, ending with '/'.
QString defaultDataFolder();

// Where the gateway keeps the error rows its database could not take:
// $XDG_STATE_HOME/KESTO/errors.log (default ~/.local/state/KESTO/).
QString localErrorLogPath();
