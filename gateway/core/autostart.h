#pragma once

#include <QString>

// Whether the desktop gateway starts with the operator's session: an XDG
// autostart entry, $XDG_CONFIG_HOME/autostart/kesto.desktop (default
// ~/.config/autostart/), that starts the given program.

QString autostartEntryPath();
bool autostartEnabled();

// Writes the entry (replacing it as a whole) or removes it. Returns the
// reason on failure, "" on success.
QString setAutostart(bool on, const QString& executable);

// The desktop entry that starts the desktop gateway.
QString desktopEntryText(const QString& executable);
