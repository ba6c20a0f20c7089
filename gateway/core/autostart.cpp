#include "autostart.h"

#include "configfolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

QString autostartEntryPath() {
    const auto entry =
        kesto::config::xdgBaseFolder("XDG_CONFIG_HOME", ".config") / "autostart" / "kesto.desktop";
    return QString::fromStdString(entry.string());
}

bool autostartEnabled() {
    return QFileInfo::exists(autostartEntryPath());
}

QString desktopEntryText(const QString& executable) {
    // The path is quoted in Exec, with backslashes and quotes escaped, so that
    // blanks or quotes in it reach the program as one argument.
    QString quoted = executable;
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    quoted.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=KESTO Gateway\n"
                          "Comment=Stores the ticketing records of the GDS queue\n"
                          "Exec=\"%1\"\n"
                          "Icon=kesto\n"
                          "Terminal=false\n"
                          "Categories=Office;\n")
        .arg(quoted);
}

QString setAutostart(bool on, const QString& executable) {
    const QString path = autostartEntryPath();
    if (!on) {
        if (QFileInfo::exists(path) && !QFile::remove(path))
            return QStringLiteral("cannot remove ") + path;
        return QString();
    }
    if (!QDir().mkpath(QFileInfo(path).path()))
        return QStringLiteral("cannot make the folder of ") + path;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    file.write(desktopEntryText(executable).toUtf8());
    if (!file.commit())
        return file.errorString();
    return QString();
}
