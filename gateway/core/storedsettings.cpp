#include "storedsettings.h"

#include "programfolder.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSysInfo>

#include <vector>

using kesto::registry::RegistryKey;
using kesto::registry::Status;
using kesto::registry::ValueType;

namespace {

// Reads one value by the start-up rules; nothing when the setting keeps its value.
std::optional<QString> readSzValue(const RegistryKey& key, const char* name) {
    ValueType type = ValueType::None;
    std::size_t size = 0;
    if (key.queryValueInfo(name, type, size) != Status::Ok || type != ValueType::Sz)
        return std::nullopt;
    std::vector<std::uint8_t> buffer(size);
    if (key.readValue(name, type, buffer, size) != Status::Ok || type != ValueType::Sz)
        return std::nullopt;
    return decodeStoredText(
        QByteArray(reinterpret_cast<const char*>(buffer.data()), static_cast<qsizetype>(size)));
}

} // namespace

void applyStoredSettingDefaults(GatewaySettings& settings) {
    const QString home = QDir::homePath();
    settings.MirDataSource = defaultDataFolder();
    settings.MirDownPath = home + QStringLiteral("/Mirs/");
    settings.MirBackupPath = home + QStringLiteral("/BkMirs/");
    settings.MirProcessTKT = QStringLiteral("1");
    settings.MirSettle = QStringLiteral("listing");
}

void readStoredSettings(GatewaySettings& settings) {
    Status status = Status::Ok;
    const auto key = RegistryKey::open(kSettingsKeyPath, status);
    if (!key)
        return;
    const std::pair<const char*, QString*> values[] = {
        {"MirDataSource", &settings.MirDataSource}, {"MirDownPath", &settings.MirDownPath},
        {"MirBackupPath", &settings.MirBackupPath}, {"MirProcessTKT", &settings.MirProcessTKT},
        {"MirSettle", &settings.MirSettle},         {"MirMetrics", &settings.MirMetrics},
        {"MirGateway", &settings.MirGateway},
    };
    for (const auto& [name, field] : values) {
        if (auto text = readSzValue(*key, name))
            *field = *text;
    }
}

Status saveOneSetting(const char* name, const QString& text) {
    Status status = Status::Ok;
    auto key = RegistryKey::create(kSettingsKeyPath, status);
    if (!key)
        return status;
    if (text.isEmpty())
        return key->deleteValue(name);
    return writeFolderSetting(*key, name, text);
}

QByteArray encodeStoredText(const QString& text) {
    QByteArray data = text.toUtf8();
    if (data.size() >= kStoredTextLength)
        data.append('\0');
    else
        data.append(QByteArray(kStoredTextLength - data.size(), '\0'));
    return data;
}

QString decodeStoredText(const QByteArray& data) {
    const qsizetype nul = data.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? data : data.left(nul));
}

Status writeFolderSetting(RegistryKey& key, const char* name, const QString& text) {
    const QByteArray data = encodeStoredText(text);
    return key.setValue(name, ValueType::Sz,
                        std::span(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                  static_cast<std::size_t>(data.size())));
}

Status saveStoredSettings(const GatewaySettings& settings) {
    Status status = Status::Ok;
    auto key = RegistryKey::create(kSettingsKeyPath, status);
    if (!key)
        return status;
    const std::pair<const char*, const QString*> values[] = {
        {"MirDataSource", &settings.MirDataSource},
        {"MirDownPath", &settings.MirDownPath},
        {"MirBackupPath", &settings.MirBackupPath},
        {"MirProcessTKT", &settings.MirProcessTKT},
    };
    Status first = Status::Ok;
    for (const auto& [name, field] : values) {
        const Status written = writeFolderSetting(*key, name, *field);
        if (first == Status::Ok)
            first = written;
    }
    return first;
}

QString ensureGatewayIdentity(GatewaySettings& settings) {
    // Made by an earlier run since these settings were read, it stays.
    if (settings.MirGateway.isEmpty()) {
        GatewaySettings stored;
        readStoredSettings(stored);
        settings.MirGateway = stored.MirGateway;
    }
    if (!settings.MirGateway.isEmpty())
        return {};
    QString host;
    for (const QChar c : QSysInfo::machineHostName()) {
        if (c.isLetterOrNumber() && c.unicode() < 128)
            host.append(c);
        else if (c == u'.' || c == u'-')
            host.append(u'-');
    }
    const QString id = (host.isEmpty() ? QStringLiteral("gateway") : host.left(40)) +
                       QLatin1Char('-') +
                       QString::number(QRandomGenerator::system()->generate64() & 0xffffffffffffULL, 16)
                           .rightJustified(12, u'0');
    if (saveOneSetting("MirGateway", id) != Status::Ok)
        return QStringLiteral("the gateway's identity cannot be kept: the settings store could "
                              "not be written");
    settings.MirGateway = id;
    return {};
}
