#include "commands.h"

#include "instanceguard.h"
#include "mirmain.h"
#include "runcommand.h"

#include <QApplication>

#include <cstdio>

// The desktop gateway. A second start of the same executable ends silently
// (status 0) before reading any configuration; a second instance of the same
// mode (instance title "KESTO-MDB" or "KESTO-SQL") beeps, says so on standard
// error and ends with status 1.
int runDesktop(int& argc, char** argv) {
    QApplication app(argc, argv);

    InstanceGuard instances;
    if (!instances.claimProgram(QCoreApplication::applicationFilePath()))
        return 0;

    QString title;
    MirMain::StartupOptions options;
    options.claimInstanceTitle = [&instances, &title](const QString& instanceTitle) {
        title = instanceTitle;
        return instances.claimInstanceTitle(instanceTitle);
    };

    MirMain window;
    if (window.runStartup(options) == MirMain::StartupResult::SameModeRunning) {
        QApplication::beep();
        std::fprintf(stderr, "kesto: %s is already running\n", qPrintable(title));
        return 1;
    }
    // Run and Stop drive the processing cycle; the first activation starts it,
    // and Exit ends its waits before the program goes.
    RunCommand runCommand(window);
    QObject::connect(&window, &MirMain::autoStartRequested, &runCommand, &RunCommand::run);
    QObject::connect(&window, &MirMain::exiting, &runCommand, &RunCommand::shutdown);
    window.show();
    return app.exec();
}
