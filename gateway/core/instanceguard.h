#pragma once

#include "instancelock.h"

#include <QString>

#include <memory>

// The gateway's two instance checks, held for the life of this object (in
// practice the process). A lock that cannot be taken for want of a runtime
// folder or lock file does not stop the program: the check then passes, as a
// failed window search would have.
class InstanceGuard {
public:
    InstanceGuard() = default;
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // False when another process runs this same executable.
    bool claimProgram(const QString& executablePath);

    // False when another process holds this instance title ("KESTO-MDB" or
    // "KESTO-SQL", compared without regard to letter case).
    bool claimInstanceTitle(const QString& title);

private:
    std::unique_ptr<kesto::instance::InstanceLock> m_program;
    std::unique_ptr<kesto::instance::InstanceLock> m_title;
};
