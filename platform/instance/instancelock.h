#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kesto::instance {

// An exclusive lock held by this process for as long as the object lives: an
// flock on "<runtime folder>/<name>.lock". The kernel drops the lock when the
// process ends in any way, so a crashed instance leaves no stale lock; the
// file itself stays and is harmless.
class InstanceLock {
public:
    enum class State {
        NotTried,
        Acquired,      // this process holds the lock
        HeldElsewhere, // another process holds it
        Unavailable,   // no runtime folder or the lock file cannot be opened
    };

    explicit InstanceLock(std::string name);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Tries once, without waiting. Calling again after success changes nothing.
    State tryAcquire();
    State state() const { return m_state; }
    const std::string& name() const { return m_name; }

    // "kesto-program-<hash>": one lock per installed copy of the program, from
    // the 64-bit FNV-1a hash of its canonical path, so that a second start of
    // the same executable meets the first one's lock.
    static std::string programLockName(const std::filesystem::path& executable);

    // Lock name for an instance title ("KESTO-MDB" -> "kesto-mdb"): titles are
    // compared without regard to letter case, so the name is lower-cased.
    static std::string titleLockName(std::string_view title);

private:
    std::string m_name;
    int m_fd = -1;
    State m_state = State::NotTried;
};

} // namespace kesto::instance
