#include "testhome.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {

const char* const kVariables[] = {
    "KESTO_HOME", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_STATE_HOME",
    "HOME",       "XDG_DATA_HOME",   "XDG_RUNTIME_DIR"};

// Copies the class registry that the build wrote, so that KORVA can be
// activated inside the test's own configuration folder.
void copyTree(const QString& from, const QString& to) {
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + source.mid(from.size());
        QDir().mkpath(QFileInfo(target).path());
        QFile::remove(target);
        QFile::copy(source, target);
    }
}

} // namespace

TestHome::TestHome(Korva korva) {
    for (const char* name : kVariables)
        m_saved.append({name, qgetenv(name)});
    QDir root(m_dir.path());
    for (const char* sub : {"program", "config", "xdg", "state", "home", "runtime"})
        root.mkpath(QLatin1String(sub));
    QFile::setPermissions(runtimeFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("KESTO_HOME", programFolder().toUtf8());
    qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
    // Whatever this machine has registered for all users stays out of the test.
    qputenv("XDG_CONFIG_DIRS", systemConfigFolder().toUtf8());
    qunsetenv("XDG_DATA_HOME");
    qputenv("HOME", home().toUtf8());
    qputenv("XDG_STATE_HOME", (m_dir.path() + QStringLiteral("/state")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", runtimeFolder().toUtf8());
    if (korva == Korva::Registered)
        copyTree(QStringLiteral(KESTO_BUILD_CONFIG_HOME), configHome());
}

TestHome::~TestHome() {
    for (const auto& [name, value] : m_saved) {
        if (value.isNull())
            qunsetenv(name.constData());
        else
            qputenv(name.constData(), value);
    }
}

QString TestHome::programFolder() const {
    return m_dir.path() + QStringLiteral("/program");
}
QString TestHome::configHome() const {
    return m_dir.path() + QStringLiteral("/config");
}
QString TestHome::systemConfigFolder() const {
    return m_dir.path() + QStringLiteral("/xdg");
}
QString TestHome::home() const {
    return m_dir.path() + QStringLiteral("/home");
}
QString TestHome::runtimeFolder() const {
    return m_dir.path() + QStringLiteral("/runtime");
}

QString TestHome::folder(const QString& name) const {
    const QString path = m_dir.path() + QLatin1Char('/') + name;
    QDir().mkpath(path);
    return path + QLatin1Char('/');
}

void TestHome::writeIni(const QByteArray& content) const {
    writeFileBytes(programFolder() + QStringLiteral("/PALVA.INI"), content);
}

void writeFileBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        QFAIL(qPrintable(QStringLiteral("cannot write ") + path));
    file.write(bytes);
}

QByteArray readFileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
