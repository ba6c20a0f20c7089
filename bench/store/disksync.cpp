#include "disksync.h"

#include <QElapsedTimer>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <array>

double secondsPerDurableWrite(const QString& folder, int count) {
    const QString path = folder + QStringLiteral("/disk-sync-probe.bin");
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    std::array<char, 512> block{};
    // The first write allocates the block; only rewrites are measured, as a
    // database rewrites pages it already has.
    bool ok =
        ::pwrite(fd, block.data(), block.size(), 0) == ssize_t(block.size()) && ::fsync(fd) == 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; ok && i < count; ++i) {
        block[0] = static_cast<char>(i);
        ok = ::pwrite(fd, block.data(), block.size(), 0) == ssize_t(block.size()) &&
             ::fdatasync(fd) == 0;
    }
    const qint64 elapsed = timer.nsecsElapsed();
    ::close(fd);
    QFile::remove(path);
    return ok ? double(elapsed) / 1e9 / count : -1;
}
