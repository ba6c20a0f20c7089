#pragma once

#include "gatewaysettings.h"
#include "mirmain.h"
#include "mirmaincontrols.h"

#include <QLineEdit>
#include <QPushButton>

// Gives the window the settings and its folder fields, as if Setup had been
// used, so that Run passes its checks.
inline void useSettings(MirMain& window, const GatewaySettings& settings) {
    window.settings() = settings;
    const MirMainControls& c = window.controls();
    c.RunCmd->setEnabled(true);
    c.Text1->setText(settings.MirDataSource);
    c.Text2->setText(settings.MirDownPath);
    c.Text3->setText(settings.MirBackupPath);
}
