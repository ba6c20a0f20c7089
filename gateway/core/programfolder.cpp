#include "programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString programFolder() {
    const QString home = qEnvironmentVariable("KESTO_HOME");
    if (!home.isEmpty()) {
        QString folder = home;
        while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
            folder.chop(1);
        return folder;
    }
    if (QCoreApplication::instance() != nullptr)
        return QCoreApplication::applicationDirPath();
    // Before the application object exists, the executable's own link says it.
    return QFileInfo(QStringLiteral("/proc/self/exe"))
        .canonicalFilePath()
        .section(QLatin1Char('/'), 0, -2);
}

QString palvaIniPath() {
    return programFolder() + QStringLiteral("/PALVA.INI");
}

QString localErrorLogPath() {
    // An unset, empty or relative XDG_STATE_HOME is ignored, as XDG says.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/KESTO/errors.log");
}
