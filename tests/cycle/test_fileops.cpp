#include "backupcopy.h"
#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

dev_t deviceOf(const QByteArray& path) {
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 ? info.st_dev : 0;
}

// Files the source the way the cycle does: prepared, synced, placed.
BackupCopy fileInto(const QByteArray& source, const QByteArray& folder, const QByteArray& name) {
    BackupFiling filing(source, folder, deviceOf(folder));
    if (filing.failure())
        return {filing.failure(), {}};
    syncFileSystem(folder);
    return filing.place(name);
}

} // namespace

// Filing a file into the backup: the file is linked when it can be, copied
// otherwise, whole on disk before the original may go, and no copy already
// in the backup may be lost.
class TestFileOps : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // NAME.1.MIR keeps the extension readable; the name stays within 255 bytes.
    void clashNames() {
        QCOMPARE(clashName("K4T0001.MIR", 1), QByteArray("K4T0001.1.MIR"));
        QCOMPARE(clashName("NOEXT", 2), QByteArray("NOEXT.2"));
        QCOMPARE(clashName(".profile", 1), QByteArray(".profile.1"));
        QCOMPARE(clashName(QByteArray(251, 'N') + ".MIR", 12),
                 QByteArray(QByteArray(248, 'N') + ".12.MIR"));
    }

    void copyKeepsModeAndHoles() {
        TestHome home;
        const QByteArray source = QFile::encodeName(home.folder(QStringLiteral("down"))) + "S";
        const QByteArray backup = QFile::encodeName(home.folder(QStringLiteral("backup")));
        const int fd = ::open(source.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(fd >= 0);
        constexpr off_t kSize = off_t(256) << 20;
        QCOMPARE(::pwrite(fd, "head", 4, 0), 4);
        QCOMPARE(::pwrite(fd, "tail", 4, kSize - 4), 4);
        ::close(fd);
        // A second link to it: linking it would leave the archive reachable.
        const QByteArray other = source + ".link";
        QCOMPARE(::link(source.constData(), other.constData()), 0);

        QVERIFY(!fileInto(source, backup, "S").failure);
        struct stat original {
        }, copy{};
        QCOMPARE(::stat(source.constData(), &original), 0);
        QCOMPARE(::stat(QByteArray(backup + "S").constData(), &copy), 0);
        QCOMPARE(copy.st_mode & 07777, mode_t(0600));
        QCOMPARE(copy.st_size, kSize);
        QVERIFY2(copy.st_blocks <= original.st_blocks + 64,
                 qPrintable(QStringLiteral("%1 blocks").arg(copy.st_blocks)));
        QFile copied(QFile::decodeName(backup + "S"));
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.read(4), QByteArray("head"));
        QVERIFY(copied.seek(kSize - 8));
        QCOMPARE(copied.read(8), QByteArray(QByteArray(4, 0) + "tail"));

        // A file dropped world-writable is archived under the umask.
        const mode_t mask = ::umask(022);
        const auto restoreMask = qScopeGuard([mask] { ::umask(mask); });
        QCOMPARE(::chmod(source.constData(), 0666), 0);
        QVERIFY(!fileInto(source, backup, "W").failure);
        QCOMPARE(::stat(QByteArray(backup + "W").constData(), &copy), 0);
        QCOMPARE(copy.st_mode & 07777, mode_t(0644));
    }

    // Its only link, on the backup's file system: the file itself is filed,
    // with its time and under the umask, and only once placed; a name taken
    // by other bytes is passed over, one holding the same bytes takes it
    // without a second copy.
    void loneFileIsLinked() {
        TestHome home;
        const QByteArray down = QFile::encodeName(home.folder(QStringLiteral("down")));
        const QByteArray backup = QFile::encodeName(home.folder(QStringLiteral("backup")));
        writeFileBytes(QFile::decodeName(backup + "A.MIR"), "other bytes");
        writeFileBytes(QFile::decodeName(down + "A.MIR"), "the booking");
        QCOMPARE(::chmod(QByteArray(down + "A.MIR").constData(), 0666), 0);
        const struct timespec times[2] = {{1000, 0}, {2000, 500}};
        QCOMPARE(::utimensat(AT_FDCWD, QByteArray(down + "A.MIR").constData(), times, 0), 0);
        struct stat before {};
        QCOMPARE(::stat(QByteArray(down + "A.MIR").constData(), &before), 0);
        const mode_t mask = ::umask(022);
        const auto restoreMask = qScopeGuard([mask] { ::umask(mask); });

        BackupFiling filing(down + "A.MIR", backup, deviceOf(backup));
        QVERIFY(!filing.failure() && !filing.isCopy());
        QCOMPARE(QDir(QFile::decodeName(backup)).entryList(QDir::Files | QDir::Hidden).size(), 1);
        QVERIFY(syncFileSystem(backup));
        const BackupCopy linked = filing.place("A.MIR");
        QVERIFY(!linked.failure);
        QCOMPARE(linked.filedAs, QByteArray("A.1.MIR"));
        struct stat after {};
        QCOMPARE(::stat(QByteArray(backup + "A.1.MIR").constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mode & 07777, mode_t(0644));
        QCOMPARE(after.st_mtim.tv_sec, time_t(2000));
        QCOMPARE(after.st_mtim.tv_nsec, 500L);
        // The original is the cycle's to delete, once the name is on disk.
        QVERIFY(QFile::exists(QFile::decodeName(down + "A.MIR")));
        QCOMPARE(::unlink(QByteArray(down + "A.MIR").constData()), 0);

        writeFileBytes(QFile::decodeName(down + "A.MIR"), "the booking");
        const BackupCopy again = fileInto(down + "A.MIR", backup, "A.MIR");
        QVERIFY(!again.failure);
        QCOMPARE(again.filedAs, QByteArray("A.1.MIR"));
        QCOMPARE(QDir(QFile::decodeName(backup)).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    void failedCopyKeepsTheEarlierCopy() {
        TestHome home;
        const QString backup = home.folder(QStringLiteral("backup"));
        const QByteArray source = QFile::encodeName(home.folder(QStringLiteral("down"))) + "A.MIR";
        writeFileBytes(backup + QStringLiteral("A.MIR"), "the good copy");
        // A FIFO is never read or copied.
        QCOMPARE(::mkfifo(source.constData(), 0600), 0);
        QVERIFY(fileInto(source, QFile::encodeName(backup), "A.MIR").failure.has_value());
        QCOMPARE(readFileBytes(backup + QStringLiteral("A.MIR")), QByteArray("the good copy"));
        QCOMPARE(QDir(backup).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void missingFolderIsPathNotFound() {
        TestHome home;
        const QString source = home.folder(QStringLiteral("down")) + QStringLiteral("A.MIR");
        writeFileBytes(source, "bytes");
        const auto failure =
            fileInto(QFile::encodeName(source),
                     QFile::encodeName(home.root() + QStringLiteral("/gone/")), "A.MIR")
                .failure;
        QVERIFY(failure.has_value());
        QCOMPARE(failure->number, kPathNotFound);
        QCOMPARE(readFileBytes(source), QByteArray("bytes"));
    }
};

QTEST_GUILESS_MAIN(TestFileOps)
#include "test_fileops.moc"
