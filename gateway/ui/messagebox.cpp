#include "messagebox.h"

namespace {
MessageBoxRecorder* g_recorder = nullptr;
} // namespace

QMessageBox::StandardButton MessageBox::show(QWidget* parent, const QString& text,
                                             QMessageBox::StandardButtons buttons) {
    if (g_recorder != nullptr)
        return g_recorder->record({applicationTitle(), text, buttons});
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString MessageBox::applicationTitle() {
    return QStringLiteral("KESTO");
}

MessageBoxRecorder::MessageBoxRecorder() : m_previous(g_recorder) {
    g_recorder = this;
}

MessageBoxRecorder::~MessageBoxRecorder() {
    g_recorder = m_previous;
}

QStringList MessageBoxRecorder::texts() const {
    QStringList texts;
    for (const ShownMessage& message : m_shown)
        texts.append(message.text);
    return texts;
}

QMessageBox::StandardButton MessageBoxRecorder::record(const ShownMessage& message) {
    m_shown.append(message);
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    if (message.buttons.testFlag(QMessageBox::Ok))
        return QMessageBox::Ok;
    const int buttons = message.buttons.toInt();
    return static_cast<QMessageBox::StandardButton>(buttons & -buttons); // lowest flag set
}
