#include "recordphase.h"

#include "connectionstring.h"
#include "crashpoint.h"
#include "cyclemetrics.h"
#include "owedposts.h"
#include "postbooking.h"
#include "recordwriters.h"
#include "serialnumber.h"
#include "statusupdate.h"
#include "storeerror.h"
#include "threadconnection.h"
#include "trappederror.h"
#include "writebatch.h"

#include <QDateTime>

#include <chrono>
#include <exception>
#include <utility>

namespace {

// How often a version takes a serial again when other gateways took it first.
constexpr int kSerialAttempts = 10;

struct PassPlan {
    int number;
    bool ttp;
};

// One record, or two when the first passenger has a GDS ticket and also
// hand-entered ticket numbers.
QList<PassPlan> plannedPasses(const korva::Pnr& pnr) {
    const korva::Pax first = pnr.paxs().item(1);
    if (!hasTicketNumber(first))
        return {{1, false}};
    if (first.get("TKT_NO1").isEmpty())
        return {{1, true}};
    return {{1, true}, {2, false}};
}

class RecordPhase {
public:
    RecordPhase(const korva::Pnr& pnr, FileContext& context, const GatewaySettings& settings,
                XmlHttpPost& http, const LedgerView& ledger,
                const std::function<void(const QString&)>& addLine)
        : m_pnr(pnr), m_context(context), m_settings(settings), m_http(http), m_ledger(ledger),
          m_addLine(addLine), m_lastSerialRead(ledger.lastSerial) {}

    RecordResult run() {
        try {
            m_context.RecordLocator = m_pnr.get("RLOC_CD");
            const QList<PassPlan> passes = plannedPasses(m_pnr);
            for (const PassPlan& pass : passes) {
                if (pass.number > 1)
                    crashPoint("between-passes");
                if (!runPass(pass))
                    return m_result;
            }
        } catch (const StoreError& error) {
            const bool lost = error.cause() == StoreError::Cause::Connection;
            // Without a ledger a record committed earlier could not be told
            // apart at the next try, so the file is filed away instead.
            const bool wait = lost && (m_ledger.file || !m_committed);
            if (error.cause() == StoreError::Cause::Ledger)
                m_result.outcome = RecordOutcome::LedgerRefused;
            else
                m_result.outcome = wait ? RecordOutcome::Unreachable : RecordOutcome::Refused;
            m_result.error = tagged(error.number(), error.description());
        } catch (const korva::Error& error) {
            m_result.outcome = RecordOutcome::Refused;
            m_result.error =
                tagged(static_cast<qint32>(error.code()), QString::fromUtf8(error.what()));
        } catch (const std::exception& error) {
            m_result.outcome = RecordOutcome::Refused;
            m_result.error = tagged(ErrorNumber::InternalError, QString::fromUtf8(error.what()));
        }
        return m_result;
    }

private:
    static StepFailure tagged(qint32 number, const QString& description) {
        return {number, description + QLatin1String(kRecordPhaseTag)};
    }

    const RecordedPass* recorded(int number) const {
        for (const RecordedPass& pass : m_ledger.recorded) {
            if (pass.number == number)
                return &pass;
        }
        return nullptr;
    }

    // Returns false when the phase must end here (a post the file still owes).
    bool runPass(const PassPlan& pass) {
        if (const RecordedPass* done = recorded(pass.number))
            return resumePass(pass, *done);
        if (m_settings.databaseWritten())
            return storePass(pass);
        return postOnlyPass(pass);
    }

    void writeRecord(const PassPlan& pass, const GatewaySettings& settings) {
        const QString& locator = m_context.RecordLocator;
        UP_Header(pass.ttp, locator, m_context.SerialNumber, m_pnr, m_context, settings);
        UP_Segment(pass.ttp, locator, m_context.SerialNumber, m_pnr, m_context, settings);
        upPax(pass.ttp, locator, m_context.SerialNumber, m_pnr, m_context, settings);
    }

    RecordedPass ledgerRow(const PassPlan& pass, PostState post) const {
        return {pass.number, m_context.RecordLocator, m_context.SerialNumber, post, m_context.Kind};
    }

    // The rows, the status update and the ledger row in one transaction, then
    // the post. A serial that another gateway took first (the unique key
    // refuses the version) is taken again, a bounded number of times.
    bool storePass(const PassPlan& pass) {
        const QString kindBefore = m_context.Kind;
        for (int attempt = 1;; ++attempt) {
            m_context.Kind = kindBefore;
            try {
                commitPass(pass);
                break;
            } catch (const StoreError& error) {
                if (!takenByAnother(error))
                    throw;
                if (attempt == kSerialAttempts)
                    throw StoreError(error.number(),
                                     QStringLiteral("No free serial number for %1 after %2 tries: "
                                                    "other gateways took each one first (%3)")
                                         .arg(m_context.RecordLocator)
                                         .arg(kSerialAttempts)
                                         .arg(error.description()),
                                     StoreError::Cause::Connection);
            }
        }
        m_committed = true;
        m_result.storedNew = true;
        crashPoint("after-commit");
        if (!m_settings.xmlExportOn())
            return true;
        if (owesPosts()) {
            noteOwed(pass);
            return true;
        }
        return settlePost(pass, post(pass));
    }

    // Posts are owed to the poster rather than waited for: with the rows
    // stored the file need not wait for the endpoint.
    bool owesPosts() const { return m_ledger.postMode == PostMode::Owe && m_ledger.file; }

    // The post's text, made inside the version's transaction: owed when it
    // loads, refused for good (never sent) when it does not.
    PostState owePost(const PassPlan& pass) {
        m_invalidXml.reset();
        m_invalidLine.clear();
        m_invalidXml = prepareBookingXml(m_context, m_settings.XML_DNS,
                                         [this](const QString& line) { m_invalidLine = line; });
        if (m_invalidXml)
            return PostState::Refused;
        addOwedPost({0, m_settings.MirDownPath, *m_ledger.file, pass.number,
                     m_context.RecordLocator, m_context.SerialNumber, m_context.XmlText});
        return PostState::Waiting;
    }

    // After the commit: the poster is told, or the refusal of a text that
    // does not load is reported like any refused post.
    void noteOwed(const PassPlan& pass) {
        if (!m_invalidXml) {
            ++m_result.postsOwed;
            return;
        }
        m_addLine(m_invalidLine);
        m_result.postErrors.append(
            {pass.number, {m_invalidXml->errorNumber, m_invalidXml->errorText}, true});
        countPostDelivery(PostDelivery::Refused);
    }

    // Whether the version failed because its serial was taken meanwhile.
    bool takenByAnother(const StoreError& error) const {
        if (error.isDuplicateKey())
            return true;
        if (error.cause() != StoreError::Cause::Statement)
            return false;
        try {
            return serialTaken(m_context.RecordLocator, m_context.SerialNumber);
        } catch (const StoreError&) {
            return false; // the first failure is the one to report
        }
    }

    void commitPass(const PassPlan& pass) {
        const auto start = std::chrono::steady_clock::now();
        std::optional<WriteApart> documents;
        runVersionTransaction(ConnectionString(), [&] {
            m_context.SerialNumber = nextSerial();
            PostState post = PostState::None;
            {
                // The version's rows go to a server in one round trip, the
                // ledger's row with them.
                WriteBatch version(ConnectionString());
                writeRecord(pass, m_settings);
                updateBookingStatus(m_context.RecordLocator, m_context.SerialNumber,
                                    m_context.FileName, m_context.Kind);
                if (m_settings.xmlExportOn())
                    post = owesPosts() ? owePost(pass) : PostState::Waiting;
                if (m_ledger.file)
                    flushWithRecordedPass(version, *m_ledger.file, ledgerRow(pass, post));
                else
                    version.flush();
            }
            if (m_ledger.documents && pass.number == 1)
                documents = writeDocumentsWithVersion(*m_ledger.documents, m_context.RecordLocator,
                                                      m_context.SerialNumber);
        });
        // Only what was committed counts.
        if (documents)
            m_result.documents = documents;
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        CycleMetrics::instance().versionStored(spent.count(), QDateTime::currentSecsSinceEpoch());
    }

    // The first version's serial follows the last one read with the ledger's
    // look-up, before the transaction: another gateway may have taken it
    // meanwhile, and then the key refuses it and the next try reads again.
    QString nextSerial() {
        if (const std::optional<QString> last = std::exchange(m_lastSerialRead, std::nullopt))
            return serialAfter(m_context.RecordLocator, *last);
        return GET_XSER_NO(m_context.RecordLocator);
    }

    // Database writes off: the post is the only delivery, and the ledger
    // notes it once the endpoint has answered.
    bool postOnlyPass(const PassPlan& pass) {
        m_context.SerialNumber = GET_XSER_NO(m_context.RecordLocator);
        writeRecord(pass, m_settings);
        const PostDelivery delivery = post(pass);
        if (delivery == PostDelivery::Undelivered || delivery == PostDelivery::Aborted) {
            m_result.outcome = RecordOutcome::PostPending;
            return false;
        }
        m_result.storedNew = true;
        if (m_ledger.file)
            addRecordedPass(*m_ledger.file, ledgerRow(pass, postStateAfter(delivery)));
        return true;
    }

    // A record stored before: only its post may still be owed. Its fragments
    // are made again for that, and Kind is what it was stored with.
    bool resumePass(const PassPlan& pass, const RecordedPass& done) {
        m_context.SerialNumber = done.serialNumber;
        const bool owesPost = m_settings.xmlExportOn() && done.post == PostState::Waiting;
        if (owesPost) {
            GatewaySettings fragmentsOnly = m_settings;
            fragmentsOnly.T_MODE = QStringLiteral("0");
            writeRecord(pass, fragmentsOnly);
        }
        m_context.Kind = done.kind;
        if (!owesPost)
            return true;
        if (owesPosts()) {
            // Owed already when it was stored with this gateway's poster in
            // use; otherwise it is owed now.
            if (!isPostOwed(m_settings.MirDownPath, *m_ledger.file, pass.number)) {
                runInThreadTransaction(ConnectionString(), [&] {
                    if (owePost(pass) == PostState::Refused)
                        setPostState(*m_ledger.file, pass.number, PostState::Refused);
                });
                noteOwed(pass);
            }
            return true;
        }
        return settlePost(pass, post(pass));
    }

    // After the post of a stored record: the ledger notes how it went. A post
    // cut short by a stop is owed still, and the file waits for the next run.
    bool settlePost(const PassPlan& pass, PostDelivery delivery) {
        // Without a ledger the next run could not tell the stored record
        // apart, so a post cut short is given up and the file filed away.
        if (delivery == PostDelivery::Aborted && m_ledger.file) {
            m_result.outcome = RecordOutcome::PostPending;
            return false;
        }
        if (m_ledger.file)
            setPostState(*m_ledger.file, pass.number, postStateAfter(delivery));
        return true;
    }

    PostDelivery post(const PassPlan& pass) {
        const PostOutcome outcome = postBooking(m_context, m_settings.XML_DNS, m_http, m_addLine);
        crashPoint("after-post");
        if (outcome.errorNumber != 0) {
            // Refused, or given up with the rows stored: the booking is filed
            // without this post, and its row says why.
            const bool final =
                outcome.delivery == PostDelivery::Refused ||
                (outcome.delivery == PostDelivery::Undelivered && m_settings.databaseWritten());
            m_result.postErrors.append(
                {pass.number, {outcome.errorNumber, outcome.errorText}, final});
        }
        if (outcome.delivery == PostDelivery::Acknowledged)
            m_result.postedPasses.append(pass.number);
        countPostDelivery(outcome.delivery);
        return outcome.delivery;
    }

    // With the rows stored, an exchange that failed is given up, as the
    // booking is in the database.
    static PostState postStateAfter(PostDelivery delivery) {
        switch (delivery) {
        case PostDelivery::Acknowledged:
            return PostState::Acknowledged;
        case PostDelivery::Refused:
            return PostState::Refused;
        case PostDelivery::Undelivered:
            return PostState::GivenUp;
        case PostDelivery::Aborted:
            break;
        }
        return PostState::Waiting;
    }

    const korva::Pnr& m_pnr;
    FileContext& m_context;
    const GatewaySettings& m_settings;
    XmlHttpPost& m_http;
    const LedgerView& m_ledger;
    const std::function<void(const QString&)>& m_addLine;
    RecordResult m_result;
    bool m_committed = false;
    std::optional<PostOutcome> m_invalidXml; // the owed post's text did not load
    QString m_invalidLine;                   // and the log line that says so
    std::optional<QString> m_lastSerialRead; // until the first serial is taken
};

} // namespace

void countPostDelivery(PostDelivery delivery) {
    using Result = CycleMetrics::PostResult;
    CycleMetrics::instance().countPost(delivery == PostDelivery::Acknowledged ? Result::Acknowledged
                                       : delivery == PostDelivery::Refused    ? Result::Refused
                                                                              : Result::Failed);
}

RecordResult runRecordPhase(const korva::Pnr& pnr, FileContext& context,
                            const GatewaySettings& settings, XmlHttpPost& http,
                            const LedgerView& ledger,
                            const std::function<void(const QString&)>& addLine) {
    RecordResult result = RecordPhase(pnr, context, settings, http, ledger, addLine).run();
    context.Kind.clear();
    return result;
}
