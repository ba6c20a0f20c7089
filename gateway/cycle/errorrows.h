#pragma once

#include "failurereports.h"
#include "stepfailure.h"

#include <QString>

class RunEvents;

// The error rows of the cycle, or of the poster: each one written to the
// error log and told as an event, and a lasting fault kept from flooding the
// log (failurereports.h) without hiding another one. One for each thread
// that writes rows.
class ErrorRows {
public:
    explicit ErrorRows(RunEvents& events);

    // A failure of a step of `file`: its row, "description[Tag]", when the
    // limits let it be written. `key` tells apart what the tag does not (the
    // two posts of a booking of two records).
    void failed(const QString& file, const StepFailure& failure, const char* tag);
    void failed(const QString& file, qint32 number, const QString& text, const QString& key);
    // A row that explains a final outcome: always written.
    void final(const QString& file, qint32 number, const QString& text, const QString& key);
    // The step of `file` worked: one row when it had failed, saying after
    // how many failures.
    void recovered(const QString& file, const QString& key, const char* tag);
    void recovered(const QString& file, const char* tag) {
        recovered(file, QLatin1String(tag), tag);
    }
    // The database could not take `file`'s booking: one row for the outage
    // under the limits, not one for each file that waits behind it, and one
    // when it ends.
    void outageFailed(const QString& file, const StepFailure& failure);
    void outageEnded(const QString& file, const char* tag);
    // The file is gone (filed away): what its steps went through is forgotten.
    void forgetFile(const QString& file) { m_reports.forgetFile(file); }

    // A row whatever came before.
    void write(const QString& source, qint32 number, const QString& text);

private:
    RunEvents& m_events;
    FailureReports m_reports;
    FailureReports m_outage; // the database's, whichever file met it
};
