#include "failurereports.h"

FailureReports::FailureReports(Clock::duration interval) : m_interval(interval) {}

bool FailureReports::shouldWrite(const QString& file, const QString& tag) {
    Entry& entry = m_entries[{file, tag}];
    const Clock::time_point now = Clock::now();
    ++entry.failures;
    if (entry.failures > 1 && now - entry.lastWritten < m_interval)
        return false;
    entry.lastWritten = now;
    return true;
}

int FailureReports::succeeded(const QString& file, const QString& tag) {
    return m_entries.take({file, tag}).failures;
}

void FailureReports::forgetFile(const QString& file) {
    m_entries.removeIf([&file](const auto& entry) { return entry.key().first == file; });
}
