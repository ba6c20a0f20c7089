#include "setupcommand.h"

#include "autostart.h"
#include "lasterror.h"
#include "messagebox.h"
#include "mirmain.h"
#include "setupfields.h"
#include "storefile.h"
#include "trappederror.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

#include <new>

namespace {

// A settings store that could not be written: the run-time's file access error,
// naming the store file so that the operator knows where to look.
TrappedError storeWriteError() {
    const QString file = QString::fromStdString(kesto::registry::defaultStoreFile().string());
    return TrappedError(
        75, QStringLiteral("Path/File access error: %1 could not be written").arg(file));
}

void showTrappedError(MirMain& window, qint32 number, const QString& description) {
    setLastError(number, description + QStringLiteral("[SetupCmd_Click]"));
    MessageBox::show(&window, QString::number(number) + QLatin1Char(':') + lastErrorText());
}

void runSetupSteps(MirMain& window) {
    const MirMainControls& c = window.controls();
    SetupFields fields{c.Text1->text(), c.Text2->text(), c.Text3->text(), c.Text5->text()};
    const SetupResult result = applySetup(fields, window.settings());
    c.Text1->setText(fields.dataFolder);
    c.Text2->setText(fields.downFolder);
    c.Text3->setText(fields.backupFolder);

    switch (result) {
    case SetupResult::Saved:
        if (const QString failure =
                setAutostart(c.AutoStart->isChecked(), QCoreApplication::applicationFilePath());
            !failure.isEmpty())
            throw TrappedError(75, QStringLiteral("Path/File access error: ") + failure);
        c.RunCmd->setEnabled(true);
        c.StopCmd->setEnabled(false);
        c.HideCmd->setEnabled(false);
        for (QPushButton* button : c.com_Show_Path)
            button->setEnabled(true);
        return;
    case SetupResult::AmtempRejected:
        MessageBox::show(&window, amtempRejectedMessage());
        c.Text5->setFocus();
        return;
    case SetupResult::SaveFailed:
        throw storeWriteError();
    }
}

} // namespace

void runSetupCommand(MirMain& window) {
    try {
        runSetupSteps(window);
    } catch (const TrappedError& error) {
        showTrappedError(window, error.number(), error.description());
    } catch (const std::bad_alloc&) {
        showTrappedError(window, ErrorNumber::OutOfMemory, QStringLiteral("Out of memory"));
    } catch (const std::exception& error) {
        showTrappedError(window, ErrorNumber::InternalError, QString::fromLocal8Bit(error.what()));
    }
}
