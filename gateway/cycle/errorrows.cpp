#include "errorrows.h"

#include "errorlog.h"
#include "runevents.h"

ErrorRows::ErrorRows(RunEvents& events) : m_events(events) {}

void ErrorRows::failed(const QString& file, const StepFailure& failure, const char* tag) {
    failed(file, failure.number, failure.description + QLatin1String(tag), QLatin1String(tag));
}

void ErrorRows::failed(const QString& file, qint32 number, const QString& text,
                       const QString& key) {
    if (m_reports.shouldWrite(file, key, number))
        write(file, number, text);
}

void ErrorRows::final(const QString& file, qint32 number, const QString& text, const QString& key) {
    m_reports.countWritten(file, key, number);
    write(file, number, text);
}

void ErrorRows::recovered(const QString& file, const QString& key, const char* tag) {
    if (const int failures = m_reports.succeeded(file, key); failures > 0)
        write(file, 0, recoveredText(failures, QLatin1String(tag)));
}

void ErrorRows::outageFailed(const QString& file, const StepFailure& failure) {
    if (m_outage.shouldWrite(QString(), QString(), failure.number))
        write(file, failure.number, failure.description);
}

void ErrorRows::outageEnded(const QString& file, const char* tag) {
    if (const int failures = m_outage.succeeded(QString(), QString()); failures > 0)
        write(file, 0, recoveredText(failures, QLatin1String(tag)));
}

void ErrorRows::write(const QString& source, qint32 number, const QString& text) {
    m_events.errorRow(logTrappedError(source, number, text));
}
