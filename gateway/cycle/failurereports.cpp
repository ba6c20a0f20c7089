#include "failurereports.h"

FailureReports::FailureReports(Clock::duration interval) : m_interval(interval) {}

bool FailureReports::shouldWrite(const QString& file, const QString& step, qint32 number) {
    Entry& entry = m_entries[{file, step, number}];
    const Clock::time_point now = Clock::now();
    ++entry.failures;
    if (entry.failures > 1 && now - entry.lastWritten < m_interval)
        return false;
    entry.lastWritten = now;
    return true;
}

void FailureReports::countWritten(const QString& file, const QString& step, qint32 number) {
    Entry& entry = m_entries[{file, step, number}];
    ++entry.failures;
    entry.lastWritten = Clock::now();
}

int FailureReports::succeeded(const QString& file, const QString& step) {
    int failures = 0;
    m_entries.removeIf([&](const auto& entry) {
        if (entry.key().file != file || entry.key().step != step)
            return false;
        failures += entry.value().failures;
        return true;
    });
    return failures;
}

void FailureReports::forgetFile(const QString& file) {
    m_entries.removeIf([&file](const auto& entry) { return entry.key().file == file; });
}

QString recoveredText(int failures, QLatin1String tag) {
    return QStringLiteral("Recovered after %1 failed attempt(s)").arg(failures) + tag;
}
