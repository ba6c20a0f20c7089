#include "owedposter.h"

#include "backoff.h"
#include "connectionstring.h"
#include "crashpoint.h"
#include "cyclemetrics.h"
#include "errorlog.h"
#include "httppost.h"
#include "owedposts.h"
#include "postbooking.h"
#include "recordphase.h"
#include "stopsignal.h"
#include "storeerror.h"
#include "threadconnection.h"

#include <QThread>

OwedPoster::OwedPoster(const Options& options, const StopSignal& stop)
    : m_options(options), m_stop(stop) {}

OwedPoster::~OwedPoster() {
    finish(false);
}

void OwedPoster::start() {
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->start();
}

void OwedPoster::wake() {
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
    }
    m_changed.notify_all();
}

void OwedPoster::finish(bool deliverFirst) {
    if (!m_thread)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_finishing = true;
        m_deliverFirst = deliverFirst;
    }
    if (!deliverFirst)
        m_cut = true;
    m_changed.notify_all();
    m_thread->wait();
    m_thread.reset();
}

bool OwedPoster::cutShort() const {
    return m_cut.load() || m_stop.isStopRequested();
}

void OwedPoster::run() {
    XmlHttpPost http(m_options.httpTimeoutMs, [this] { return cutShort(); });
    for (;;) {
        const Round round = deliverOwed(http);
        if (round == Round::Stopped)
            break;
        std::unique_lock lock(m_mutex);
        if (round == Round::Failed || round == Round::Unknown) {
            // Backing off: a new owed post does not make the endpoint answer.
            const auto probe = std::chrono::steady_clock::now() + m_pause;
            m_changed.wait_until(lock, probe, [this] { return m_finishing; });
            if (m_finishing)
                break;
            continue;
        }
        m_changed.wait(lock, [this] { return m_woken || m_finishing; });
        if (m_finishing && (!m_deliverFirst || !m_woken))
            break;
        m_woken = false;
    }
    closeThreadConnections();
}

// Posts what is owed, oldest first, until nothing is, a post does not go
// through, or a stop.
OwedPoster::Round OwedPoster::deliverOwed(XmlHttpPost& http) {
    const QString folder = m_options.settings.MirDownPath;
    if (!m_tablePresent) {
        // Asked here rather than by the cycle, so that posts owed by an
        // earlier run go out even when the database answers only later.
        try {
            m_tablePresent = owedPostsPresent();
        } catch (const StoreError&) {
            m_pause = nextBackoff(m_pause, m_options.firstRetry);
            return Round::Unknown; // the cycle reports the outage
        }
    }
    if (!*m_tablePresent)
        return Round::Stopped; // a database that keeps no owed posts
    for (;;) {
        if (cutShort())
            return Round::Stopped;
        std::optional<OwedPost> post;
        try {
            count();
            post = oldestOwedPost(folder);
        } catch (const StoreError& error) {
            if (m_reports.shouldWrite(QString(), QLatin1String(kXmlPostTag), error.number()))
                writeErrorRow(QString(), error.number(),
                              QStringLiteral("Cannot read the posts owed: ") + error.description() +
                                  QLatin1String(kXmlPostTag));
            m_pause = nextBackoff(m_pause, m_options.firstRetry);
            return Round::Failed;
        }
        if (!post)
            return Round::Idle;
        const PostOutcome outcome = sendBookingXml(
            {post->xmlText, post->file.name, post->recordLocator + u'/' + post->serialNumber},
            m_options.settings.XML_DNS, http, [this](const QString& line) { addLine(line); });
        crashPoint("after-post");
        countPostDelivery(outcome.delivery);
        const Round round = settle(*post, outcome);
        if (round != Round::Idle)
            return round;
    }
}

// Notes how a post went: in the ledger when the endpoint took or refused it,
// in the error log when it did not answer.
OwedPoster::Round OwedPoster::settle(const OwedPost& post, const PostOutcome& outcome) {
    const QString& file = post.file.name;
    const QString key = postFailureKey(post.pass);
    if (outcome.delivery == PostDelivery::Aborted)
        return Round::Stopped;
    if (outcome.delivery == PostDelivery::Undelivered) {
        if (m_reports.shouldWrite(file, key, outcome.errorNumber))
            writeErrorRow(file, outcome.errorNumber, outcome.errorText);
        m_pause = nextBackoff(m_pause, m_options.firstRetry);
        return Round::Failed;
    }
    const bool refused = outcome.delivery == PostDelivery::Refused;
    try {
        settleOwedPost(post, refused ? PostState::Refused : PostState::Acknowledged);
    } catch (const StoreError& error) {
        // Still owed: posted again once the database takes the note.
        if (m_reports.shouldWrite(file, QLatin1String(kXmlPostTag), error.number()))
            writeErrorRow(file, error.number(), error.description() + QLatin1String(kXmlPostTag));
        m_pause = nextBackoff(m_pause, m_options.firstRetry);
        return Round::Failed;
    }
    m_pause = {};
    if (refused) {
        // The row that says why the booking never reached the endpoint.
        writeErrorRow(file, outcome.errorNumber, outcome.errorText);
    } else if (const int failures = m_reports.succeeded(file, key); failures > 0) {
        writeErrorRow(file, 0, recoveredText(failures, QLatin1String(kXmlPostTag)));
    }
    m_reports.forgetFile(file);
    return Round::Idle;
}

void OwedPoster::count() {
    setOwed(owedPostCount(ConnectionString(), m_options.settings.MirDownPath).value_or(0));
}

void OwedPoster::setOwed(int count) {
    if (m_owed.exchange(count) != count)
        Q_EMIT owedChanged(count);
}

void OwedPoster::writeErrorRow(const QString& source, qint32 number, const QString& text) {
    ++m_errorRows;
    CycleMetrics::instance().countErrorRow();
    const LoggedError logged = logTrappedError(source, number, text);
    Q_EMIT errorRecorded(logged.message);
    if (!logged.stored)
        Q_EMIT errorNotStored(logged.message);
}
