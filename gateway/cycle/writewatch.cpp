#include "writewatch.h"

#include <algorithm>

WriteWatch::WriteWatch(Clock::duration settle) : m_settle(settle) {}

void WriteWatch::look(const QByteArray& name, const QString& fingerprint) {
    const auto found = m_files.find(name);
    if (found != m_files.end() && found->fingerprint == fingerprint)
        return;
    m_files.insert(name, {fingerprint, Clock::now(), false, 0});
}

bool WriteWatch::settled(const QByteArray& name) {
    const auto found = m_files.find(name);
    if (found == m_files.end())
        return true;
    found->heldBack = Clock::now() - found->since < m_settle;
    return !found->heldBack;
}

WriteWatch::Clock::duration WriteWatch::untilSettled(const QByteArray& name) const {
    const auto found = m_files.constFind(name);
    if (found == m_files.cend())
        return {};
    return std::max(Clock::duration{}, found->since + m_settle - Clock::now());
}

bool WriteWatch::isHeldBack(const QByteArray& name) const {
    const auto found = m_files.constFind(name);
    return found != m_files.cend() && found->heldBack && Clock::now() - found->since < m_settle;
}

QList<QByteArray> WriteWatch::heldBack() const {
    QList<QByteArray> names;
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it) {
        if (it->heldBack)
            names.append(it.key());
    }
    return names;
}

std::optional<WriteWatch::Clock::duration> WriteWatch::untilNextSettled() const {
    std::optional<Clock::duration> next;
    const Clock::time_point now = Clock::now();
    for (const Entry& entry : m_files) {
        if (!entry.heldBack || now - entry.since >= m_settle)
            continue;
        const Clock::duration left = entry.since + m_settle - now;
        if (!next || left < *next)
            next = left;
    }
    return next;
}

int WriteWatch::countIncomplete(const QByteArray& name) {
    return ++m_files[name].incomplete;
}

void WriteWatch::forget(const QByteArray& name) {
    m_files.remove(name);
}
