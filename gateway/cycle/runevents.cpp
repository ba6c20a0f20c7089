#include "runevents.h"

#include "errorlog.h"

RunEvents::RunEvents(Watchers watchers) : m_watchers(std::move(watchers)) {}

void RunEvents::startRun() {
    m_stored = m_refused = m_uninterpreted = m_errorRows = 0;
}

void RunEvents::line(const QString& text) const {
    if (m_watchers.line)
        m_watchers.line(text);
}

void RunEvents::fileEnded(CycleMetrics::FileOutcome outcome) {
    CycleMetrics::instance().countFile(outcome);
    switch (outcome) {
    case CycleMetrics::FileOutcome::Stored:
        ++m_stored;
        break;
    case CycleMetrics::FileOutcome::Refused:
        ++m_refused;
        break;
    case CycleMetrics::FileOutcome::Uninterpreted:
        ++m_uninterpreted;
        break;
    case CycleMetrics::FileOutcome::NotAFile:
    case CycleMetrics::FileOutcome::Count:
        break;
    }
}

void RunEvents::errorRow(const LoggedError& row) {
    ++m_errorRows;
    CycleMetrics::instance().countErrorRow();
    if (m_watchers.errorRow)
        m_watchers.errorRow(row.message);
    if (!row.stored && m_watchers.errorNotStored)
        m_watchers.errorNotStored(row.message);
}

void RunEvents::documentRecorded(CycleMetrics::DocumentKind kind,
                                 CycleMetrics::DocumentEvent event) const {
    CycleMetrics::instance().countDocumentEvent(kind, event);
}

void RunEvents::postsOwedCounted(int count) const {
    if (m_watchers.postsOwed)
        m_watchers.postsOwed(count);
}

void RunEvents::refusedToRun(const QString& why) const {
    if (m_watchers.refused)
        m_watchers.refused(why);
}

RunSummary RunEvents::summary() const {
    RunSummary summary;
    summary.stored = m_stored;
    summary.refused = m_refused;
    summary.uninterpreted = m_uninterpreted;
    summary.errorRows = m_errorRows;
    return summary;
}
