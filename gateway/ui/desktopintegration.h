#pragma once

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>

class QMenu;
class QWidget;

// The notification-area icon of the main window (tip "KESTO Gateway"): a
// double-click shows the window maximised, a right-click opens the icon's menu.
// The notification area may not be there yet when the program starts (a
// session still coming up): the icon is then tried again every few seconds
// until it can be shown. Where there is none at all, the window is never sent
// there: hiding and minimising leave it minimised and reachable from the
// desktop's window list instead (see trayAvailable()). GUI thread only.
class DesktopIntegration : public QObject {
    Q_OBJECT

public:
    // Whether a notification area exists; tests replace the platform's answer.
    using TrayProbe = std::function<bool()>;

    DesktopIntegration(QWidget* window, QMenu* menu, const QIcon& icon, TrayProbe probe,
                       QObject* parent = nullptr);
    ~DesktopIntegration() override;

    static QString toolTip();
    static TrayProbe platformProbe();

    // Whether the window may be hidden to the notification area right now: a
    // notification area exists and the icon is in it.
    bool trayAvailable() const;
    bool isIconShown() const { return m_tray.isVisible(); }
    QSystemTrayIcon& trayIcon() { return m_tray; }

    // Shows the window maximised, visible and in front.
    void showWindow();
    // A minimised window goes to the notification area, coming back maximised;
    // without a notification area it stays minimised.
    void windowMinimised();
    // Removes the icon for good (Exit).
    void removeIcon();

public Q_SLOTS:
    void handleActivation(QSystemTrayIcon::ActivationReason reason);

private:
    void tryShowIcon();

    QWidget* m_window;
    QSystemTrayIcon m_tray;
    TrayProbe m_probe;
    QTimer m_retry;
    bool m_removed = false;
};
