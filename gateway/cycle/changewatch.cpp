#include "changewatch.h"

#include "stopsignal.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE | IN_MODIFY | IN_DELETE |
                                IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// A link to a folder elsewhere is no subfolder: it is not followed.
constexpr uint32_t kSubfolderMask = kWatchMask | IN_DONT_FOLLOW;

QByteArray withoutTrailingSlash(QByteArray path) {
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

} // namespace

ChangeWatch::ChangeWatch(const QString& folder)
    : m_folder(withoutTrailingSlash(QFile::encodeName(folder))) {}

ChangeWatch::~ChangeWatch() {
    close();
}

void ChangeWatch::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_rootWatch = -1;
    m_rootLost = false;
    m_paths.clear();
}

bool ChangeWatch::rearm() {
    // Closing an inotify instance waits for the kernel's grace period, several
    // milliseconds that every file arriving alone would wait too, so a watch
    // that still holds its folder is kept: what it queued so far is read and
    // dropped (the listing that follows sees it), and subfolders made
    // meanwhile are watched.
    if (isValid()) {
        drainEvents();
        if (isValid()) {
            watchTree(m_folder);
            return true;
        }
    }
    close();
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return false;
    m_rootWatch = ::inotify_add_watch(m_fd, m_folder.constData(), kWatchMask);
    if (m_rootWatch < 0) {
        close();
        return false;
    }
    m_paths.insert(m_rootWatch, m_folder);
    watchTree(m_folder);
    return true;
}

void ChangeWatch::watchTree(const QByteArray& path) {
    DIR* dir = ::opendir(path.constData());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN)
            continue;
        const QByteArray child = path + '/' + entry->d_name;
        const int watch = ::inotify_add_watch(m_fd, child.constData(), kSubfolderMask);
        if (watch < 0)
            continue; // not a folder after all, or gone already
        if (!m_paths.contains(watch)) {
            m_paths.insert(watch, child);
            watchTree(child);
        }
    }
    ::closedir(dir);
}

bool ChangeWatch::drainEvents() {
    alignas(inotify_event) char buffer[16 * 1024];
    bool changed = false;
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (ssize_t offset = 0; offset < length;) {
            inotify_event event;
            std::memcpy(&event, buffer + offset, sizeof event);
            const char* name = buffer + offset + sizeof(inotify_event);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
            if (event.mask & IN_Q_OVERFLOW) {
                changed = true;
                continue;
            }
            if (event.mask & IN_IGNORED) {
                if (event.wd == m_rootWatch)
                    m_rootLost = true;
                m_paths.remove(event.wd);
                continue;
            }
            if (event.wd == m_rootWatch && (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)))
                m_rootLost = true;
            changed = true;
            if ((event.mask & IN_ISDIR) && (event.mask & (IN_CREATE | IN_MOVED_TO)) &&
                event.len > 0) {
                const QByteArray parent = m_paths.value(event.wd);
                if (!parent.isEmpty()) {
                    const QByteArray child = parent + '/' + name;
                    const int watch = ::inotify_add_watch(m_fd, child.constData(), kSubfolderMask);
                    if (watch >= 0 && !m_paths.contains(watch)) {
                        m_paths.insert(watch, child);
                        watchTree(child);
                    }
                }
            }
        }
    }
    return changed;
}

ChangeWatch::WaitResult ChangeWatch::wait(const StopSignal& stop, int rescanMs) {
    if (stop.isStopRequested())
        return WaitResult::Stopped;
    if (!isValid())
        return WaitResult::Invalid;
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {stop.fd(), POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, 2, rescanMs);
        if (stop.isStopRequested())
            return WaitResult::Stopped;
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return WaitResult::Rescan;
        }
        if (ready == 0)
            return WaitResult::Rescan;
        if ((fds[0].revents & POLLIN) && drainEvents())
            return WaitResult::Changed;
        if (!isValid())
            return WaitResult::Changed;
    }
}
