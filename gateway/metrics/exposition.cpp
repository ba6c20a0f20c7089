#include "exposition.h"

#include "mirdocuments.h"

#include <QDateTime>
#include <QLocale>

namespace {

QByteArray number(double value) {
    return QString::number(value, 'g', QLocale::FloatingPointShortest).toLatin1();
}

class Writer {
public:
    void family(const char* name, const char* type, const char* help) {
        m_text +=
            QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
    }
    void sample(const QByteArray& name, const QByteArray& value) {
        m_text += name + ' ' + value + '\n';
    }
    void histogram(const char* name, const char* help, const Histogram::Snapshot& snapshot) {
        family(name, "histogram", help);
        const QByteArray base(name);
        for (std::size_t i = 0; i < snapshot.bounds.size(); ++i)
            sample(base + "_bucket{le=\"" + number(snapshot.bounds[i]) + "\"}",
                   QByteArray::number(snapshot.cumulative[i]));
        sample(base + "_bucket{le=\"+Inf\"}", QByteArray::number(snapshot.count()));
        sample(base + "_sum", number(snapshot.sum));
        sample(base + "_count", QByteArray::number(snapshot.count()));
    }
    QByteArray text() const { return m_text; }

private:
    QByteArray m_text;
};

// The newer of the last version this process stored and the ledger's
// newest row (kept in local time), so that the gauge survives a restart.
qint64 lastStoredSeconds(const CycleMetrics& metrics, const Health& health) {
    qint64 seconds = metrics.lastStoredUnixSeconds();
    const QDateTime ledger =
        QDateTime::fromString(health.lastStoredAt, QStringLiteral("MM-dd-yyyy hh:mm:ss"));
    if (ledger.isValid())
        seconds = std::max(seconds, ledger.toSecsSinceEpoch());
    return seconds;
}

} // namespace

QByteArray expositionText(const CycleMetrics& metrics, const Health& health,
                          const QString& version) {
    using Outcome = CycleMetrics::FileOutcome;
    using Result = CycleMetrics::PostResult;
    Writer out;
    out.family("kesto_files_total", "counter",
               "Files of the download folder the cycle finished with, by outcome.");
    for (std::size_t i = 0; i < std::size_t(Outcome::Count); ++i)
        out.sample(QByteArray("kesto_files_total{outcome=\"") + outcomeLabel(Outcome(i)) + "\"}",
                   QByteArray::number(metrics.files(Outcome(i))));
    out.family("kesto_versions_stored_total", "counter", "Versions of bookings committed.");
    out.sample("kesto_versions_stored_total", QByteArray::number(metrics.versionsStored()));
    out.family("kesto_error_rows_total", "counter",
               "Error rows written (or kept locally while the database was away).");
    out.sample("kesto_error_rows_total", QByteArray::number(metrics.errorRows()));
    out.family("kesto_posts_total", "counter", "XML posts of records, by the endpoint's answer.");
    for (std::size_t i = 0; i < std::size_t(Result::Count); ++i)
        out.sample(QByteArray("kesto_posts_total{result=\"") + resultLabel(Result(i)) + "\"}",
                   QByteArray::number(metrics.posts(Result(i))));
    if (metrics.hasDocumentLedger()) {
        out.family("kesto_documents_total", "counter",
                   "Document events recorded in the document ledger, by kind and transaction.");
        using Kind = CycleMetrics::DocumentKind;
        using Event = CycleMetrics::DocumentEvent;
        for (std::size_t k = 0; k < CycleMetrics::kDocumentKinds; ++k) {
            for (std::size_t e = 0; e < CycleMetrics::kDocumentEvents; ++e)
                out.sample(QByteArray("kesto_documents_total{kind=\"") +
                               mir::documents::kindName(Kind(k)).toLatin1() + "\",transaction=\"" +
                               mir::documents::eventName(Event(e)).toLatin1() + "\"}",
                           QByteArray::number(metrics.documentEvents(Kind(k), Event(e))));
        }
    }
    out.family("kesto_waiting_files", "gauge", "Files the gateway would take, still waiting.");
    out.sample("kesto_waiting_files", QByteArray::number(health.waitingFiles));
    out.family("kesto_oldest_waiting_seconds", "gauge",
               "Age of the oldest waiting file, by its modification time.");
    out.sample("kesto_oldest_waiting_seconds", QByteArray::number(health.oldestWaitingSeconds));
    out.family("kesto_posts_owed", "gauge",
               "Stored versions whose post the endpoint has not had yet.");
    out.sample("kesto_posts_owed", QByteArray::number(health.postsOwed));
    out.family("kesto_database_up", "gauge", "Whether the database answered (1) or not (0).");
    out.sample("kesto_database_up", health.databaseError.isEmpty() ? "1" : "0");
    out.family("kesto_last_stored_timestamp_seconds", "gauge",
               "When the last version was stored, in seconds since the epoch; 0 for never.");
    out.sample("kesto_last_stored_timestamp_seconds",
               QByteArray::number(lastStoredSeconds(metrics, health)));
    out.histogram("kesto_file_seconds",
                  "A file's life in the cycle after its settle wait, in seconds.",
                  metrics.fileSeconds());
    out.histogram("kesto_commit_seconds", "The commit of one version, in seconds.",
                  metrics.commitSeconds());
    out.family("kesto_build_info", "gauge", "The running version, as a label.");
    out.sample("kesto_build_info{version=\"" + version.toUtf8() + "\"}", "1");
    return out.text();
}
