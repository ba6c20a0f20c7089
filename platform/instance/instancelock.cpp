#include "instancelock.h"

#include "runtimefolder.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kesto::instance {

InstanceLock::InstanceLock(std::string name) : m_name(std::move(name)) {}

InstanceLock::~InstanceLock() {
    if (m_fd >= 0)
        ::close(m_fd);
}

InstanceLock::State InstanceLock::tryAcquire() {
    if (m_state == State::Acquired)
        return m_state;
    const auto folder = runtimeFolder();
    if (!folder) {
        m_state = State::Unavailable;
        return m_state;
    }
    const std::filesystem::path file = *folder / (m_name + ".lock");
    if (m_fd < 0)
        m_fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        m_state = State::Unavailable;
        return m_state;
    }
    int result = 0;
    do {
        result = ::flock(m_fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0)
        m_state = State::Acquired;
    else
        m_state = errno == EWOULDBLOCK ? State::HeldElsewhere : State::Unavailable;
    return m_state;
}

std::string InstanceLock::programLockName(const std::filesystem::path& executable) {
    std::error_code error;
    std::filesystem::path canonical = std::filesystem::canonical(executable, error);
    if (error)
        canonical = std::filesystem::absolute(executable, error);
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : canonical.string()) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return std::string("kesto-program-") + text;
}

std::string InstanceLock::titleLockName(std::string_view title) {
    std::string name(title);
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        else if (c == '/' || c == '\0')
            c = '_';
    }
    return name;
}

} // namespace kesto::instance
