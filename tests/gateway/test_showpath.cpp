#include "messagebox.h"
#include "showpath.h"
#include "testhome.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTreeView>

class TestShowPath : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void buttonsCarryTheirCaptions();
    void drivesListTheRootFirstAndEachVolumeOnce();
    void okHandsOverTheFolder_data();
    void okHandsOverTheFolder();
    void cancelAndCloseBoxHandOverNothing_data();
    void cancelAndCloseBoxHandOverNothing();
    void unreadableDriveIsReportedAndTheChooserStaysUsable();
    void tooSmallWindowKeepsTheLayout();
};

void TestShowPath::buttonsCarryTheirCaptions() {
    Show_Path chooser;
    QVERIFY(chooser.isModal());
    QCOMPARE(chooser.Command1[0]->text(), QStringLiteral("確定"));
    QCOMPARE(chooser.Command1[1]->text(), QStringLiteral("取消"));
    QCOMPARE(chooser.Command1[0]->property("index").toInt(), 0);
    QCOMPARE(chooser.Command1[1]->property("index").toInt(), 1);
    QCOMPARE(chooser.Drive1->objectName(), QStringLiteral("Drive1"));
    QCOMPARE(chooser.Dir1->objectName(), QStringLiteral("Dir1"));
}

void TestShowPath::drivesListTheRootFirstAndEachVolumeOnce() {
    const QStringList drives = Show_Path::driveList();
    QVERIFY(!drives.isEmpty());
    QCOMPARE(drives.first(), QStringLiteral("/"));
    QCOMPARE(QSet<QString>(drives.begin(), drives.end()).size(), drives.size());
    Show_Path chooser;
    QCOMPARE(chooser.Drive1->count(), drives.size());
}

void TestShowPath::okHandsOverTheFolder_data() {
    QTest::addColumn<QString>("folder"); // under the test's root; empty: the drive root
    QTest::addColumn<bool>("root");
    QTest::newRow("root") << QString() << true;
    QTest::newRow("folder") << "mirs" << false;
    QTest::newRow("nested folder with a blank") << "a b/c" << false;
}

void TestShowPath::okHandsOverTheFolder() {
    QFETCH(QString, folder);
    QFETCH(bool, root);
    TestHome home;
    Show_Path chooser;
    QVERIFY(chooser.setDrive(QStringLiteral("/")));
    QString expected = QStringLiteral("/");
    if (!root) {
        const QString path = home.folder(folder);
        expected = QDir::cleanPath(path);
        chooser.setFolder(path);
    }
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));
    QCOMPARE(chooser.selectedFolder(), expected);
    chooser.Command1[0]->click();
    QCOMPARE(chooser.result(), int(QDialog::Accepted));
    QVERIFY(!chooser.isVisible());
    // No trailing separator, except for the root itself.
    QCOMPARE(chooser.chosenFolder(), expected);
}

void TestShowPath::cancelAndCloseBoxHandOverNothing_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Cancel") << false;
    QTest::newRow("close box") << true;
}

void TestShowPath::cancelAndCloseBoxHandOverNothing() {
    QFETCH(bool, closeBox);
    TestHome home;
    Show_Path chooser;
    chooser.setDrive(QStringLiteral("/"));
    chooser.setFolder(home.folder(QStringLiteral("mirs")));
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));
    if (closeBox)
        QVERIFY(chooser.close());
    else
        chooser.Command1[1]->click();
    QCOMPARE(chooser.result(), int(QDialog::Rejected));
    QVERIFY(chooser.chosenFolder().isEmpty());
}

void TestShowPath::unreadableDriveIsReportedAndTheChooserStaysUsable() {
    TestHome home;
    Show_Path chooser;
    QVERIFY(chooser.setDrive(QStringLiteral("/")));
    // A volume gone since the list was made cannot be read.
    const QString gone = home.root() + QStringLiteral("/unmounted/");
    MessageBoxRecorder boxes;
    QVERIFY(!chooser.setDrive(gone));
    QCOMPARE(boxes.texts(), QStringList{gone + QStringLiteral(" 無法讀取")});
    QCOMPARE(chooser.currentDrive(), QStringLiteral("/"));
    QCOMPARE(chooser.Drive1->currentData().toString(), QStringLiteral("/"));
    // Still usable: a folder can be chosen and handed over.
    const QString folder = home.folder(QStringLiteral("after"));
    chooser.setFolder(folder);
    chooser.Command1[0]->click();
    QCOMPARE(chooser.chosenFolder(), QDir::cleanPath(folder));
}

void TestShowPath::tooSmallWindowKeepsTheLayout() {
    Show_Path chooser;
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));
    chooser.resize(400, 300);
    QTRY_COMPARE(chooser.height(), 300);
    const QRect tree = chooser.Dir1->geometry();
    const QRect ok = chooser.Command1[0]->geometry();
    const QRect cancel = chooser.Command1[1]->geometry();
    // The buttons sit side by side, centred, right below the tree.
    QCOMPARE(ok.top(), tree.bottom() + 1);
    QCOMPARE(cancel.left(), ok.right() + 1);
    QCOMPARE(ok.left(), (400 - 2 * ok.width()) / 2);
    QCOMPARE(tree.width(), 400);

    chooser.resize(200, 40); // no room for the tree: nothing moves
    QTRY_COMPARE(chooser.height(), 40);
    QCOMPARE(chooser.Dir1->geometry(), tree);
    QCOMPARE(chooser.Command1[0]->geometry(), ok);
}

QTEST_MAIN(TestShowPath)
#include "test_showpath.moc"
