#pragma once

class MirMain;

// The Setup button (SetupCmd): the folder fields get their trailing separator,
// the three folders go into the settings whatever the AMTEMP choice is, and an
// accepted AMTEMP choice saves all four values to the settings store, adds or
// removes the session's autostart entry as the AutoStart box says, and resets
// the buttons (RunCmd on, StopCmd and HideCmd off, the folder buttons on). A
// rejected choice shows "AMTEMP 暫存檔選擇:1-6", puts the focus on Text5 and
// saves nothing. A failure is trapped as "[SetupCmd_Click]" and shown as
// "number:text". GUI thread only.
void runSetupCommand(MirMain& window);
