#include "desktopintegration.h"

#include <QGuiApplication>
#include <QMenu>
#include <QWidget>

namespace {
constexpr int kRetryIntervalMs = 3000;
} // namespace

DesktopIntegration::DesktopIntegration(QWidget* window, QMenu* menu, const QIcon& icon,
                                       TrayProbe probe, QObject* parent)
    : QObject(parent), m_window(window), m_tray(icon), m_probe(std::move(probe)) {
    // The program ends by Exit only; closing a viewer or a message box while the
    // main window is hidden must not end it.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    m_tray.setToolTip(toolTip());
    m_tray.setContextMenu(menu);
    connect(&m_tray, &QSystemTrayIcon::activated, this, &DesktopIntegration::handleActivation);
    m_retry.setInterval(kRetryIntervalMs);
    connect(&m_retry, &QTimer::timeout, this, &DesktopIntegration::tryShowIcon);
    tryShowIcon();
}

DesktopIntegration::~DesktopIntegration() {
    m_tray.hide();
}

QString DesktopIntegration::toolTip() {
    return QStringLiteral("KESTO Gateway");
}

DesktopIntegration::TrayProbe DesktopIntegration::platformProbe() {
    return [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
}

bool DesktopIntegration::trayAvailable() const {
    return !m_removed && m_tray.isVisible() && m_probe();
}

void DesktopIntegration::tryShowIcon() {
    if (m_removed)
        return;
    if (!m_probe()) {
        if (!m_retry.isActive())
            m_retry.start();
        return;
    }
    m_retry.stop();
    m_tray.show();
}

void DesktopIntegration::handleActivation(QSystemTrayIcon::ActivationReason reason) {
    // The menu of a right-click is shown by the icon itself (its context menu).
    if (reason == QSystemTrayIcon::DoubleClick)
        showWindow();
}

void DesktopIntegration::showWindow() {
    m_window->showMaximized();
    m_window->raise();
    m_window->activateWindow();
}

void DesktopIntegration::windowMinimised() {
    if (!trayAvailable())
        return;
    // Hidden first, then marked maximised so that showing it again brings it
    // back maximised without flashing it on the screen now.
    m_window->hide();
    m_window->setWindowState(Qt::WindowMaximized);
}

void DesktopIntegration::removeIcon() {
    m_removed = true;
    m_retry.stop();
    m_tray.hide();
}
