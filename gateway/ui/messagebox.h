#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

class QWidget;

// Every message box of the gateway goes through here: no title of its own (the
// application title "KESTO" shows), OK only unless the caller asks for more.
// Tests divert the boxes into a MessageBoxRecorder instead of showing them.
class MessageBox {
public:
    static QMessageBox::StandardButton show(QWidget* parent, const QString& text,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok);

    // The title every box carries.
    static QString applicationTitle();
};

// One box as it would have been shown.
struct ShownMessage {
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
};

// While one exists (GUI thread only), message boxes are not shown but recorded
// and answered: with the queued answers in order, then with OK when the box
// has it, else with its first button.
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    void queueAnswer(QMessageBox::StandardButton answer) { m_answers.append(answer); }
    const QList<ShownMessage>& shown() const { return m_shown; }
    QStringList texts() const;

private:
    friend class MessageBox;
    QMessageBox::StandardButton record(const ShownMessage& message);

    QList<ShownMessage> m_shown;
    QList<QMessageBox::StandardButton> m_answers;
    MessageBoxRecorder* m_previous = nullptr;
};
