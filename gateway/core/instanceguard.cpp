#include "instanceguard.h"

#include <QFile>

using kesto::instance::InstanceLock;

namespace {

bool claim(std::unique_ptr<InstanceLock>& lock, std::string name) {
    lock = std::make_unique<InstanceLock>(std::move(name));
    return lock->tryAcquire() != InstanceLock::State::HeldElsewhere;
}

} // namespace

bool InstanceGuard::claimProgram(const QString& executablePath) {
    return claim(m_program,
                 InstanceLock::programLockName(QFile::encodeName(executablePath).toStdString()));
}

bool InstanceGuard::claimInstanceTitle(const QString& title) {
    return claim(m_title, InstanceLock::titleLockName(title.toStdString()));
}
