#include "programfolder.h"

#include "configfolders.h"
#include "installlayout.h"

#include <QDir>
#include <QFileInfo>

namespace {

// $KESTO_HOME without trailing slashes, or the empty text when it is not set.
QString kestoHome() {
    QString folder = qEnvironmentVariable("KESTO_HOME");
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

QString fromPath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

QString executableFolder() {
    return fromPath(kesto::install::runningExecutable().parent_path());
}

QString installedDataHome() {
    const QString serviceState = fromPath(kesto::install::serviceStateFolder());
    const QString home = QFileInfo(QDir::homePath()).canonicalFilePath();
    if (!home.isEmpty() && home == QFileInfo(serviceState).canonicalFilePath())
        return serviceState;
    return fromPath(kesto::config::xdgBaseFolder("XDG_DATA_HOME", ".local/share") / "KESTO");
}

} // namespace

QString palvaIniPath() {
    if (const QString home = kestoHome(); !home.isEmpty())
        return home + QStringLiteral("/PALVA.INI");
    if (kesto::install::installedPrefix())
        return fromPath(kesto::install::configurationFolder() / "PALVA.INI");
    return executableFolder() + QStringLiteral("/PALVA.INI");
}

QString defaultDataFolder() {
    QString folder = kestoHome();
    if (folder.isEmpty())
        folder = kesto::install::installedPrefix() ? installedDataHome() : executableFolder();
    return folder + QStringLiteral("/vela_data/");
}

QString localErrorLogPath() {
    return fromPath(kesto::config::xdgBaseFolder("XDG_STATE_HOME", ".local/state") / "KESTO" /
                    "errors.log");
}
