#pragma once

#include "documentevents.h"
#include "histogram.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

// What the processing cycle has done since the process started, for the
// metrics endpoint. One instance per process (counters count from the
// process start, as Prometheus expects, across the desktop's runs of the
// cycle); the cycle's thread writes relaxed atomics and never waits on the
// thread that reads them.
class CycleMetrics {
public:
    enum class FileOutcome { Stored, Refused, Uninterpreted, NotAFile, Count };
    enum class PostResult { Acknowledged, Refused, Failed, Count };
    using DocumentKind = mir::documents::DocumentKind;
    using DocumentEvent = mir::documents::Event;
    static constexpr std::size_t kDocumentKinds = std::size_t(DocumentKind::Count);
    static constexpr std::size_t kDocumentEvents = std::size_t(DocumentEvent::Count);

    static CycleMetrics& instance();

    void countFile(FileOutcome outcome) { add(m_files[std::size_t(outcome)]); }
    void countPost(PostResult result) { add(m_posts[std::size_t(result)]); }
    void countErrorRow() { add(m_errorRows); }
    // The database keeps the document ledger: its counter is served.
    void documentLedgerInUse() { m_documentLedger.store(true, std::memory_order_relaxed); }
    void countDocumentEvent(DocumentKind kind, DocumentEvent event) {
        add(m_documents[index(kind, event)]);
    }
    // One version committed, which took `seconds`; at `unixSeconds`.
    void versionStored(double seconds, std::int64_t unixSeconds);
    // A file's life after its settle wait, whatever became of it.
    void fileHandled(double seconds) { m_fileSeconds.observe(seconds); }

    std::uint64_t files(FileOutcome outcome) const { return get(m_files[std::size_t(outcome)]); }
    std::uint64_t posts(PostResult result) const { return get(m_posts[std::size_t(result)]); }
    std::uint64_t errorRows() const { return get(m_errorRows); }
    bool hasDocumentLedger() const { return m_documentLedger.load(std::memory_order_relaxed); }
    std::uint64_t documentEvents(DocumentKind kind, DocumentEvent event) const {
        return get(m_documents[index(kind, event)]);
    }
    std::uint64_t versionsStored() const { return get(m_versions); }
    std::int64_t lastStoredUnixSeconds() const {
        return m_lastStored.load(std::memory_order_relaxed);
    }
    Histogram::Snapshot fileSeconds() const { return m_fileSeconds.snapshot(); }
    Histogram::Snapshot commitSeconds() const { return m_commitSeconds.snapshot(); }

private:
    CycleMetrics();
    static void add(std::atomic<std::uint64_t>& counter) {
        counter.fetch_add(1, std::memory_order_relaxed);
    }
    static std::uint64_t get(const std::atomic<std::uint64_t>& counter) {
        return counter.load(std::memory_order_relaxed);
    }
    static std::size_t index(DocumentKind kind, DocumentEvent event) {
        return std::size_t(kind) * kDocumentEvents + std::size_t(event);
    }

    std::array<std::atomic<std::uint64_t>, std::size_t(FileOutcome::Count)> m_files{};
    std::array<std::atomic<std::uint64_t>, std::size_t(PostResult::Count)> m_posts{};
    std::atomic<std::uint64_t> m_errorRows{0};
    std::atomic<bool> m_documentLedger{false};
    std::array<std::atomic<std::uint64_t>, kDocumentKinds * kDocumentEvents> m_documents{};
    std::atomic<std::uint64_t> m_versions{0};
    std::atomic<std::int64_t> m_lastStored{0};
    Histogram m_fileSeconds;
    Histogram m_commitSeconds;
};

// The label of each value in the exposition.
const char* outcomeLabel(CycleMetrics::FileOutcome outcome);
const char* resultLabel(CycleMetrics::PostResult result);

// Observes a file's life in the cycle, from its making to its end, in
// `kesto_file_seconds`.
class FileTimer {
public:
    FileTimer() = default;
    ~FileTimer() {
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - m_start;
        CycleMetrics::instance().fileHandled(spent.count());
    }
    FileTimer(const FileTimer&) = delete;
    FileTimer& operator=(const FileTimer&) = delete;

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};
