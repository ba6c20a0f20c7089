#pragma once

#include "gatewaysettings.h"
#include "mirmaincontrols.h"

#include "desktopintegration.h"
#include "mainlayout.h"

#include <QDate>
#include <QString>
#include <QWidget>

#include <functional>

class Form1;
class Form2;
class QLineEdit;

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
        // Whether a notification area exists (tests put their own answer).
        DesktopIntegration::TrayProbe trayAvailable = DesktopIntegration::platformProbe();
        // Ends the program at Exit (tests count the calls instead).
        std::function<void()> quit;
    };

    explicit MirMain(QWidget* parent = nullptr);

    // Start-up, in the documented order: platform identifier, menu hidden, INI
    // keys, instance title check, AutoStartPending = 1, defaults, start date,
    // settings store, fields and buttons, program icon, notification-area
    // icon. Any error from the
    // platform identifier on is trapped: LastError = number and description +
    // "[Form.Load]", a message box "number:text", and start-up stops there.
    StartupResult runStartup(const StartupOptions& options);

    // Runs Open_DB and applies its outcome: the window title and the SqlIndex
    // button once Open_DB got as far as choosing them, and on failure the
    // message box "number:LastErrorText". Returns whether the database opened.
    bool runOpenDb();

    // Shows the window maximised, visible and in front (the icon's double-click
    // and mnuOpen).
    void showWindow();
    // Hides the window to the notification area (HideCmd, and Run). Without a
    // notification area the window is minimised instead; hide() does the same.
    void hideWindow();
    // Exit (ExitCmd, mnuClose, the close box): the icon is removed, exiting()
    // lets the processing cycle end its waits, the window closes and the
    // program ends without waiting for the cycle.
    void exitProgram();

    // The folder the chooser handed over last; cleared by each folder button.
    QString ChosenFolder() const { return m_chosenFolder; }
    // The field a folder button fills: index 0 Text2, 1 Text3, 2 Text1.
    QLineEdit* folderField(int index) const;

    // The viewers, made by their buttons; null before the first press.
    DesktopIntegration* desktop() const { return m_desktop; }

    void setVisible(bool visible) override;

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
    // Exit has begun and the program is about to end: the processing cycle
    // must end its waits now (RunCommand::shutdown()).
    void exiting();

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createControls();
    void layOutControls();
    void fillFields();
    void loadProgramIcon(const QString& path);
    StartupResult failStartup(qint32 number, const QString& description);
    void runSqlIndex();
    void connectCommands();
    void chooseFolder(int index);
    void showRecordViewer();
    void showErrorLogViewer();
    void addNotificationIcon(const DesktopIntegration::TrayProbe& probe);

    MirMainControls m_controls;
    GatewaySettings m_settings;
    int m_autoStartPending = 0;
    QWidget* m_topPanel = nullptr;
    MainLayout m_logLayout;
    DesktopIntegration* m_desktop = nullptr;
    std::function<void()> m_quit;
    bool m_exiting = false;
    QString m_chosenFolder;
    Form1* m_form1 = nullptr; // owned as a child window
    Form2* m_form2 = nullptr;
};
