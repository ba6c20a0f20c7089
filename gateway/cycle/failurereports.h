#pragma once

#include <QHash>
#include <QString>

#include <chrono>

// Keeps a lasting fault from flooding the error log without hiding another
// one. Failures are told apart by file, step and error number: for each, the
// first is written, then at most one an hour while it lasts; a failure with
// a new number always gets its row. When the step succeeds again, one row
// says after how many failures.
// The row that ends a run of failures: "Recovered after N failed attempt(s)[Tag]".
QString recoveredText(int failures, QLatin1String tag);

class FailureReports {
public:
    using Clock = std::chrono::steady_clock;

    explicit FailureReports(Clock::duration interval = std::chrono::hours(1));

    // Counts a failure of the step; whether it is to be written now.
    bool shouldWrite(const QString& file, const QString& step, qint32 number);
    // Counts a failure whose row is written whatever came before (the one
    // that explains a final outcome).
    void countWritten(const QString& file, const QString& step, qint32 number);
    // The step succeeded: the number of failures it had in a row, whatever
    // their numbers (a recovery row is due when it is above 0). The count
    // starts again.
    int succeeded(const QString& file, const QString& step);
    // The file is gone (filed away): what its steps went through is forgotten.
    void forgetFile(const QString& file);

private:
    struct Entry {
        int failures = 0;
        Clock::time_point lastWritten;
    };
    struct Key {
        QString file;
        QString step;
        qint32 number = 0;
        bool operator==(const Key&) const = default;
        friend size_t qHash(const Key& key, size_t seed = 0) {
            return qHashMulti(seed, key.file, key.step, key.number);
        }
    };

    Clock::duration m_interval;
    QHash<Key, Entry> m_entries;
};
