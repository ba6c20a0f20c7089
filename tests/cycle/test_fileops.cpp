#include "fileops.h"
#include "testhome.h"

#include <QDir>
#include <QTest>

// Filing a file into the backup: the copy must be whole on disk before the
// original may go, and a failed copy must not cost an earlier good copy.
class TestFileOps : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void copyReplacesTheTargetWhole() {
        TestHome home;
        const QString source = home.folder(QStringLiteral("down")) + QStringLiteral("A.MIR");
        const QString target = home.folder(QStringLiteral("backup")) + QStringLiteral("A.MIR");
        writeFileBytes(source, QByteArray("T5 new\r", 7));
        writeFileBytes(target, "older copy of another file");
        QCOMPARE(copyFileDurably(source, target).has_value(), false);
        QCOMPARE(readFileBytes(target), QByteArray("T5 new\r"));
        QCOMPARE(QDir(home.folder(QStringLiteral("backup"))).entryList(QDir::Files | QDir::Hidden),
                 QStringList(QStringLiteral("A.MIR")));
    }

    void failedCopyKeepsTheEarlierCopy() {
        TestHome home;
        const QString backup = home.folder(QStringLiteral("backup"));
        const QString source = home.folder(QStringLiteral("down")) + QStringLiteral("A.MIR");
        writeFileBytes(source, "new bytes");
        writeFileBytes(backup + QStringLiteral("A.MIR"), "the good copy");
        // Something in the way of the temporary copy makes the copy fail.
        QVERIFY(QDir().mkpath(backup + QStringLiteral(".A.MIR.kesto-partial")));
        QVERIFY(copyFileDurably(source, backup + QStringLiteral("A.MIR")).has_value());
        QCOMPARE(readFileBytes(backup + QStringLiteral("A.MIR")), QByteArray("the good copy"));
    }

    void missingFolderIsPathNotFound() {
        TestHome home;
        const QString source = home.folder(QStringLiteral("down")) + QStringLiteral("A.MIR");
        writeFileBytes(source, "bytes");
        const auto failure = copyFileDurably(source, home.root() + QStringLiteral("/gone/A.MIR"));
        QVERIFY(failure.has_value());
        QCOMPARE(failure->number, kPathNotFound);
        QCOMPARE(readFileBytes(source), QByteArray("bytes"));
    }
};

QTEST_GUILESS_MAIN(TestFileOps)
#include "test_fileops.moc"
