#include "inisettings.h"

#include "profilereader.h"

#include <QFile>

namespace {

QString readPalvaKey(const std::filesystem::path& file, const char* key) {
    return QString::fromStdString(kesto::ini::readProfileString(file, "PALVA", key));
}

} // namespace

void readIniSettings(GatewaySettings& settings, const QString& iniPath) {
    const std::filesystem::path file(QFile::encodeName(iniPath).toStdString());
    settings.Provider = readPalvaKey(file, "Provider");
    settings.Server = readPalvaKey(file, "Server");
    settings.uid = readPalvaKey(file, "uid");
    settings.pwd = readPalvaKey(file, "pwd");
    settings.database = readPalvaKey(file, "database");
    settings.RM_T2K = readPalvaKey(file, "RM_T2K");
    settings.DUP_CHK = readPalvaKey(file, "DUP_CHK");
    settings.XML_FG = readPalvaKey(file, "XML_FG");
    settings.XML_DNS = readPalvaKey(file, "XML_DNS");
    settings.T_MODE = readPalvaKey(file, "T_MODE");
}
