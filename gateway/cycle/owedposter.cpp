#include "owedposter.h"

#include "backoff.h"
#include "connectionstring.h"
#include "crashpoint.h"
#include "httppost.h"
#include "owedposts.h"
#include "postbooking.h"
#include "recordphase.h"
#include "runevents.h"
#include "stopsignal.h"
#include "storeerror.h"
#include "threadconnection.h"

#include <QThread>

OwedPoster::OwedPoster(const Options& options, const StopSignal& stop, RunEvents& events)
    : m_options(options), m_stop(stop), m_events(events), m_rows(events) {}

OwedPoster::~OwedPoster() {
    finish(false);
}

void OwedPoster::start() {
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->start();
}

void OwedPoster::owedMore(int count) {
    if (count <= 0)
        return;
    if (m_owed.load() >= 0)
        m_events.postsOwedCounted(m_owed += count);
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
        if (round == Round::Failed) {
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
// through, or a stop. The posts owed are counted once, and again after a
// round that failed; between, the count follows the posts owed and settled.
OwedPoster::Round OwedPoster::deliverOwed(XmlHttpPost& http) {
    for (;;) {
        if (cutShort())
            return Round::Stopped;
        std::optional<OwedPost> post;
        try {
            if (!m_counted) {
                setOwed(owedPostCount(ConnectionString(), m_options.settings.MirDownPath));
                m_counted = true;
            }
            post = oldestOwedPost(m_options.settings.MirDownPath);
        } catch (const StoreError& error) {
            m_rows.failed(QString(), error.number(),
                          QStringLiteral("Cannot read the posts owed: ") + error.description() +
                              QLatin1String(kXmlPostTag),
                          QLatin1String(kXmlPostTag));
            return backOff();
        }
        if (!post) {
            setOwed(0);
            return Round::Idle;
        }
        const PostOutcome outcome = sendBookingXml(
            {post->xmlText, post->file.name, post->recordLocator + u'/' + post->serialNumber},
            m_options.settings.XML_DNS, http, [this](const QString& line) { m_events.line(line); });
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
        m_rows.failed(file, outcome.errorNumber, outcome.errorText, key);
        return backOff();
    }
    const bool refused = outcome.delivery == PostDelivery::Refused;
    try {
        settleOwedPost(post, refused ? PostState::Refused : PostState::Acknowledged);
    } catch (const StoreError& error) {
        // Still owed: posted again once the database takes the note.
        m_rows.failed(file, {error.number(), error.description()}, kXmlPostTag);
        return backOff();
    }
    m_pause = {};
    setOwed(std::max(0, m_owed.load() - 1));
    if (refused) {
        // The row that says why the booking never reached the endpoint.
        m_rows.write(file, outcome.errorNumber, outcome.errorText);
    } else {
        m_rows.recovered(file, key, kXmlPostTag);
    }
    m_rows.forgetFile(file);
    return Round::Idle;
}

OwedPoster::Round OwedPoster::backOff() {
    m_counted = false;
    m_pause = nextBackoff(m_pause, m_options.firstRetry);
    return Round::Failed;
}

void OwedPoster::setOwed(int count) {
    if (m_owed.exchange(count) != count)
        m_events.postsOwedCounted(count);
}
