#pragma once

#include <array>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;

// The controls of the main window, named as the operator's documentation and
// the other parts of the gateway know them; each widget carries the same
// object name. The button array com_Show_Path has object names
// "com_Show_Path_0" to "com_Show_Path_2" and an int property "index" (0 to 2);
// index 0 chooses the folder of Text2, 1 of Text3, 2 of Text1.
struct MirMainControls {
    QPushButton* RunCmd = nullptr;
    QPushButton* StopCmd = nullptr;
    QPushButton* SetupCmd = nullptr;
    QPushButton* ExitCmd = nullptr;
    QPushButton* HideCmd = nullptr;
    QPushButton* SqlIndex = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;
    std::array<QPushButton*, 3> com_Show_Path{};

    QLineEdit* Text1 = nullptr;     // data folder (MirDataSource)
    QLineEdit* Text2 = nullptr;     // download folder (MirDownPath)
    QLineEdit* Text3 = nullptr;     // backup folder (MirBackupPath)
    QLineEdit* Text5 = nullptr;     // AMTEMP choice (MirProcessTKT)
    QCheckBox* AutoStart = nullptr; // start with the operator's session, applied by Setup
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;    // download folder unreachable message
    QLabel* PostsOwed = nullptr; // "posts owed: N" while stored versions await their post
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;

    QListWidget* List1 = nullptr;           // processing log lines
    QPlainTextEdit* RichTextBox1 = nullptr; // the MIR file being processed
    QLabel* PicOn = nullptr;                // the program icon

    // Pop-up menu of the notification icon; never part of a menu bar.
    QMenu* mnuShell = nullptr;
    QAction* mnuOpen = nullptr;
    QAction* mnuHide = nullptr;
    QAction* mnuClose = nullptr;
};
