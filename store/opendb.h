#pragma once

#include <QString>

struct GatewaySettings;

struct OpenDbOutcome {
    bool ok = false;
    QString windowTitle;          // empty only when the failure came before the title was chosen
    bool sqlIndexVisible = false; // whether the SqlIndex button is shown
};

// Opens the record store at the start of a run: chooses the window title and
// the SqlIndex visibility by mode, builds ConnectionString, and opens the
// calling thread's connection that the writers then reuse. On failure
// LastError holds the number and the description followed by "[Open_DB]";
// the caller (the window) shows the message box.
OpenDbOutcome Open_DB(const GatewaySettings& settings);

// Whether the last Open_DB succeeded, so that the index command knows a
// database is open.
bool isDatabaseOpen();
