#pragma once

#include "gatewaysettings.h"
#include "mirmaincontrols.h"

#include <QDate>
#include <QString>
#include <QWidget>

#include <functional>

// The main window MIRMAIN: its controls, start-up (configuration, fields,
// icon), the one-time automatic start and the database opening that every run
// performs. GUI thread only.
class MirMain : public QWidget {
    Q_OBJECT

public:
    enum class StartupResult {
        Started,
        Failed,          // a trapped error; the message was shown, the window still opens
        SameModeRunning, // another instance of this mode holds the instance title
    };

    struct StartupOptions {
        // Claims the instance title ("KESTO-MDB"/"KESTO-SQL") for this process;
        // returns false when an instance of that mode already runs. Unset: no check.
        std::function<bool(const QString& title)> claimInstanceTitle;
        // The program icon shown by PicOn (a file or a resource path).
        QString iconPath = defaultIconPath();
        QDate startDate = QDate::currentDate();
    };

    explicit MirMain(QWidget* parent = nullptr);

    // Start-up, in the documented order: platform identifier, menu hidden, INI
    // keys, instance title check, AutoStartPending = 1, defaults, start date,
    // settings store, fields and buttons, program icon. Any error from the
    // platform identifier on is trapped: LastError = number and description +
    // "[Form.Load]", a message box "number:text", and start-up stops there.
    StartupResult runStartup(const StartupOptions& options);

    // Runs Open_DB and applies its outcome: the window title and the SqlIndex
    // button once Open_DB got as far as choosing them, and on failure the
    // message box "number:LastErrorText". Returns whether the database opened.
    bool runOpenDb();

    GatewaySettings& settings() { return m_settings; }
    const GatewaySettings& settings() const { return m_settings; }
    const MirMainControls& controls() const { return m_controls; }
    int autoStartPending() const { return m_autoStartPending; }

    static QString defaultIconPath();

Q_SIGNALS:
    // The first activation after a start-up without error: start the
    // processing cycle as if Run had been pressed.
    void autoStartRequested();
    // A "..." button of com_Show_Path was pressed (its index, 0 to 2).
    void comShowPathClicked(int index);

protected:
    bool event(QEvent* event) override;

private:
    void createControls();
    void layOutControls();
    void fillFields();
    void loadProgramIcon(const QString& path);
    StartupResult failStartup(qint32 number, const QString& description);
    void runSqlIndex();

    MirMainControls m_controls;
    GatewaySettings m_settings;
    int m_autoStartPending = 0;
};
