#pragma once

#include <QHash>
#include <QPair>
#include <QString>

#include <chrono>

// Keeps a lasting fault from flooding the error log. For a step that keeps
// failing for the same file, the first failure is written, then at most one
// an hour while it lasts, and one row when the step succeeds again.
class FailureReports {
public:
    using Clock = std::chrono::steady_clock;

    explicit FailureReports(Clock::duration interval = std::chrono::hours(1));

    // Counts a failure of the step; whether it is to be written now.
    bool shouldWrite(const QString& file, const QString& tag);
    // The step succeeded: the number of failures it had in a row (a recovery
    // row is due when it is above 0). The count starts again.
    int succeeded(const QString& file, const QString& tag);
    // The file is gone (filed away): what its steps went through is forgotten.
    void forgetFile(const QString& file);

private:
    struct Entry {
        int failures = 0;
        Clock::time_point lastWritten;
    };

    Clock::duration m_interval;
    QHash<QPair<QString, QString>, Entry> m_entries;
};
