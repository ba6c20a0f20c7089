#pragma once

#include <QDialog>
#include <QString>

#include <array>
#include <optional>

class QComboBox;
class QFileSystemModel;
class QPushButton;
class QTreeView;

// The folder chooser: a drive list (Drive1: the mounted volumes of this
// machine and "/"), a folder tree of the chosen drive (Dir1, folders only)
// and the buttons Command1 index 0 "確定" (OK) and index 1 "取消" (Cancel).
// OK hands over the folder selected in Dir1 (the drive root when none is) as a
// full path without a trailing separator, except for the root "/"; Cancel and
// the close box hand over nothing. A drive that cannot be read is reported
// and the lists stay on the drive shown before. GUI thread only.
class Show_Path : public QDialog {
    Q_OBJECT

public:
    explicit Show_Path(QWidget* parent = nullptr);

    // Opens the chooser modally and returns the folder chosen with OK, or the
    // empty text after Cancel or the close box. While a test has queued an
    // answer with setNextAnswer(), that answer is returned instead and no
    // window opens.
    static QString choose(QWidget* parent);
    // The answer of the next choose() (an empty text stands for Cancel).
    static void setNextAnswer(const QString& folder);

    // Root paths of the mounted volumes, "/" first, each once.
    static QStringList driveList();

    // Switches Dir1 to a drive (a root path). A drive that cannot be read is
    // reported with a message box, and Drive1 and Dir1 stay where they were.
    bool setDrive(const QString& root);
    // Selects a folder in Dir1 (on the current drive).
    void setFolder(const QString& path);
    // The folder as OK would hand it over.
    QString selectedFolder() const;
    // What OK handed over; empty until OK is pressed.
    QString chosenFolder() const { return m_chosen; }
    QString currentDrive() const { return m_drive; }

    QComboBox* Drive1 = nullptr;
    QTreeView* Dir1 = nullptr;
    std::array<QPushButton*, 2> Command1{};

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void driveChosen(int index);
    void layOut(bool onLoad);

    QFileSystemModel* m_folders = nullptr;
    QString m_drive;
    QString m_chosen;
    static std::optional<QString> s_nextAnswer;
};
