// The change watch, the stop signal that ends every wait, the skip rule, the
// listing of the download folder and the visible form of its names.
#include "changewatch.h"
#include "downloadlisting.h"
#include "shownname.h"
#include "stopsignal.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <thread>

namespace {

void touch(const QString& path, const QByteArray& bytes = "x") {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
    file.write(bytes);
}

} // namespace

class TestChangeWatch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void skipRule_data();
    void skipRule();
    void listingHoldsOrdinaryFilesOnly();
    void shownNames_data();
    void shownNames();
    void unreachableFolderIs52();
    void changeEndsWait_data();
    void changeEndsWait();
    void newSubfolderIsWatched();
    void rescanEndsWaitWithoutChange();
    void stopEndsWaitAtOnce();
    void removedFolderInvalidatesWatch();
    void stopEndsPause();
};

void TestChangeWatch::skipRule_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("skipped");
    QTest::newRow("dot") << "." << true;
    QTest::newRow("dot dot") << ".." << true;
    QTest::newRow("mirfile.txt") << "mirfile.txt" << true;
    QTest::newRow("MIRFILE.TXT.bak") << "MIRFILE.TXT.bak" << true;
    QTest::newRow("Temp1.mir") << "Temp1.mir" << true;
    QTest::newRow("ATTEMPT.MIR") << "ATTEMPT.MIR" << true;
    QTest::newRow("ordinary") << "K4T0001.MIR" << false;
    QTest::newRow("mirfile without extension") << "MIRFILE" << false;
    QTest::newRow("tem p split") << "TEM_P.MIR" << false;
}

void TestChangeWatch::skipRule() {
    QFETCH(QString, name);
    QFETCH(bool, skipped);
    QCOMPARE(isSkippedName(name), skipped);
}

void TestChangeWatch::listingHoldsOrdinaryFilesOnly() {
    QTemporaryDir dir;
    touch(dir.filePath(QStringLiteral("a.mir")));
    touch(dir.filePath(QStringLiteral("b.mir")));
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    touch(dir.filePath(QStringLiteral("sub/c.mir")));
    const DownloadListing listing = listDownloadFolder(dir.path() + QLatin1Char('/'));
    QVERIFY(listing.ok());
    QList<QByteArray> names = listing.names;
    std::sort(names.begin(), names.end());
    QCOMPARE(names, QList<QByteArray>({"a.mir", "b.mir"}));
}

void TestChangeWatch::shownNames_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << QByteArray("K4T0001.MIR") << "K4T0001.MIR";
    QTest::newRow("UTF-8") << QByteArray("票號 ü.MIR") << "票號 ü.MIR";
    QTest::newRow("newline, tab, CR") << QByteArray("A\nB\tC\rD") << "A\\nB\\tC\\rD";
    QTest::newRow("backslash") << QByteArray("A\\nB") << "A\\\\nB";
    QTest::newRow("other control") << QByteArray("A\x01\x7f") << "A\\x01\\x7F";
    QTest::newRow("not UTF-8") << QByteArray("\xff\xfe"
                                             "A\xc3")
                               << "\\xFF\\xFEA\\xC3";
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << "\\xC0\\xAF";
    QTest::newRow("line separator") << QByteArray("A\xe2\x80\xa8") << "A\\xE2\\x80\\xA8";
}

void TestChangeWatch::shownNames() {
    QFETCH(QByteArray, name);
    QFETCH(QString, shown);
    QCOMPARE(shownFileName(name), shown);
    // FILE_NM holds 260 characters: a longer form is cut and stays unique.
    const QByteArray longName = QByteArray(200, '\x01') + name;
    QCOMPARE(shownFileName(longName).size(), 260);
    QVERIFY(shownFileName(longName) != shownFileName(QByteArray(200, '\x01') + "other"));
}

void TestChangeWatch::unreachableFolderIs52() {
    QTemporaryDir dir;
    const DownloadListing listing = listDownloadFolder(dir.filePath(QStringLiteral("gone/")));
    QVERIFY(!listing.ok());
    QCOMPARE(listing.failure.number, 52);
}

void TestChangeWatch::changeEndsWait_data() {
    QTest::addColumn<QString>("what");
    QTest::newRow("file written") << "write";
    QTest::newRow("file in subfolder written") << "subwrite";
    QTest::newRow("file removed") << "remove";
    QTest::newRow("folder made") << "mkdir";
    QTest::newRow("file moved in") << "move";
}

void TestChangeWatch::changeEndsWait() {
    QFETCH(QString, what);
    QTemporaryDir dir;
    QTemporaryDir outside;
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    touch(dir.filePath(QStringLiteral("old.mir")));
    touch(outside.filePath(QStringLiteral("in.mir")));
    ChangeWatch watch(dir.path() + QLatin1Char('/'));
    QVERIFY(watch.rearm());
    StopSignal stop;
    if (what == QLatin1String("write"))
        touch(dir.filePath(QStringLiteral("new.mir")));
    else if (what == QLatin1String("subwrite"))
        touch(dir.filePath(QStringLiteral("sub/new.mir")));
    else if (what == QLatin1String("remove"))
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("old.mir"))));
    else if (what == QLatin1String("mkdir"))
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("made")));
    else
        QVERIFY(QFile::rename(outside.filePath(QStringLiteral("in.mir")),
                              dir.filePath(QStringLiteral("in.mir"))));
    QCOMPARE(watch.wait(stop, 5000), ChangeWatch::WaitResult::Changed);
}

void TestChangeWatch::newSubfolderIsWatched() {
    QTemporaryDir dir;
    ChangeWatch watch(dir.path() + QLatin1Char('/'));
    QVERIFY(watch.rearm());
    StopSignal stop;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("late")));
    QCOMPARE(watch.wait(stop, 5000), ChangeWatch::WaitResult::Changed);
    touch(dir.filePath(QStringLiteral("late/file.mir")));
    QCOMPARE(watch.wait(stop, 5000), ChangeWatch::WaitResult::Changed);
}

void TestChangeWatch::rescanEndsWaitWithoutChange() {
    QTemporaryDir dir;
    ChangeWatch watch(dir.path() + QLatin1Char('/'));
    QVERIFY(watch.rearm());
    StopSignal stop;
    QCOMPARE(watch.wait(stop, 50), ChangeWatch::WaitResult::Rescan);
}

void TestChangeWatch::stopEndsWaitAtOnce() {
    QTemporaryDir dir;
    ChangeWatch watch(dir.path() + QLatin1Char('/'));
    QVERIFY(watch.rearm());
    StopSignal stop;
    std::thread stopper([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stop.requestStop();
    });
    QElapsedTimer timer;
    timer.start();
    const auto result = watch.wait(stop, 60000);
    stopper.join();
    QCOMPARE(result, ChangeWatch::WaitResult::Stopped);
    QVERIFY(timer.elapsed() < 5000);
}

void TestChangeWatch::removedFolderInvalidatesWatch() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("down"));
    QVERIFY(QDir().mkpath(folder));
    ChangeWatch watch(folder + QLatin1Char('/'));
    QVERIFY(watch.rearm());
    StopSignal stop;
    QVERIFY(QDir(folder).removeRecursively());
    QCOMPARE(watch.wait(stop, 5000), ChangeWatch::WaitResult::Changed);
    QVERIFY(!watch.rearm());
    QVERIFY(!watch.isValid());
    QCOMPARE(watch.wait(stop, 5000), ChangeWatch::WaitResult::Invalid);
}

void TestChangeWatch::stopEndsPause() {
    StopSignal stop;
    QVERIFY(stop.pause(10));
    std::thread stopper([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stop.requestStop();
    });
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!stop.pause(60000));
    stopper.join();
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(!stop.pause(10));
}

QTEST_GUILESS_MAIN(TestChangeWatch)
#include "test_changewatch.moc"
