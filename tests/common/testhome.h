#pragma once

#include <QString>
#include <QTemporaryDir>

// A private world for one test: program folder (KESTO_HOME), settings store and
// class registry (XDG_CONFIG_HOME), the local error log
// (XDG_STATE_HOME), HOME and XDG_RUNTIME_DIR all point into one
// temporary folder that is removed with the object. The previous values of the
// variables come back on destruction.
class TestHome {
public:
    enum class Korva { NotRegistered, Registered };

    explicit TestHome(Korva korva = Korva::NotRegistered);
    ~TestHome();
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString root() const { return m_dir.path(); }
    QString programFolder() const;      // KESTO_HOME, ends without '/'
    QString configHome() const;         // XDG_CONFIG_HOME
    QString systemConfigFolder() const; // XDG_CONFIG_DIRS
    QString home() const;               // HOME
    QString runtimeFolder() const;      // XDG_RUNTIME_DIR
    // A folder under the root, created when missing; ends with '/'.
    QString folder(const QString& name) const;

    // Writes PALVA.INI into the program folder, bytes as given.
    void writeIni(const QByteArray& content) const;

private:
    QTemporaryDir m_dir;
    QList<QPair<QByteArray, QByteArray>> m_saved;
};

// Writes bytes to a file, creating its folder; fails the calling test on error.
void writeFileBytes(const QString& path, const QByteArray& bytes);
QByteArray readFileBytes(const QString& path);
