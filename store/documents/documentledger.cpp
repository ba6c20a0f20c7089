#include "documentledger.h"

#include "clock.h"
#include "currency.h"
#include "errorlog.h"
#include "fixedforms.h"
#include "preparedquery.h"
#include "rowappender.h"
#include "sqlitewrite.h"
#include "storecall.h"
#include "threadconnection.h"
#include "writebatch.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;
using namespace mir::documents;

namespace {

// An amount the reader gave as decimal text, as the four-decimal column takes it.
QVariant amountValue(const QString& text) {
    if (text.isEmpty())
        return QVariant();
    const std::optional<Currency> amount = Currency::fromText(text);
    return amount ? QVariant::fromValue(*amount) : QVariant();
}

// How many decimals the MIR gave an amount, so that it is shown as given.
QVariant decimalsOf(const QString& text) {
    if (text.isEmpty())
        return QVariant();
    const qsizetype point = text.indexOf(u'.');
    return point < 0 ? 0 : static_cast<int>(text.size() - point - 1);
}

// Where the gateway met a file, as its first reading recorded it: a reading
// that replaces an older one keeps it.
struct FileOrigin {
    DocumentFile file;
    QString recordLocator, serialNumber;
    QString date, time;
};

NewRow fileRow(const FileOrigin& origin, const MirDocuments& documents) {
    const HeaderFacts& header = documents.header;
    const DocumentFile& file = origin.file;
    NewRow row(u"KDOCFILE"_s);
    row.set(u"FILE_SHA"_s, file.sha256);
    row.set(u"FILE_NM"_s, file.name.left(260));
    row.set(u"FILE_SIZE"_s, QString::number(file.size));
    row.set(u"FILE_MTIME"_s, QString::number(file.modifiedNs));
    row.set(u"SOURCE"_s, file.imported ? u"I"_s : u"R"_s);
    row.set(u"TRANS"_s, transactionName(documents.transaction));
    row.set(u"IND_CD"_s, header.command.left(1));
    row.set(u"EXCH_IND"_s, header.exchange ? u"Y"_s : QString());
    row.set(u"ISSUE_DT"_s, header.issueDate);
    row.set(u"AIRLINE"_s, header.airline.left(2));
    row.set(u"AIRLINE_NO"_s, header.airlineNumber.left(3));
    row.set(u"BOOK_PCC"_s, header.bookingPcc.left(4));
    row.set(u"TKT_PCC"_s, header.ticketingPcc.left(4));
    row.set(u"IATA_NO"_s, header.iataNumber.left(9));
    row.set(u"BOOK_AGT"_s, header.bookingAgent.left(4));
    row.set(u"TKT_AGT"_s, header.ticketingAgent.left(4));
    row.set(u"CURRENCY"_s, header.fareCurrency.left(3));
    row.set(u"COMM"_s, header.commissionText.left(8));
    row.set(u"TOUR_CD"_s, header.tourCode.left(15));
    row.set(u"RECLOC"_s, origin.recordLocator);
    row.set(u"SER_NO"_s, origin.serialNumber);
    row.set(u"PROBLEMS"_s, problemSummary(documents).left(255));
    row.set(u"DATE_1"_s, origin.date);
    row.set(u"TIME_1"_s, origin.time);
    row.set(u"READER_VER"_s, kReaderVersion);
    row.set(u"ISSUE_TM"_s, header.issueTime);
    row.set(u"COMM_AMT"_s, amountValue(header.commission));
    row.set(u"COMM_RT"_s, header.commissionRate.left(6));
    return row;
}

// The rows of the events, their taxes and the payments.
QList<NewRow> eventRows(const QString& sha, const MirDocuments& documents) {
    QList<NewRow> rows;
    int number = 0;
    for (const DocumentEvent& event : documents.events) {
        ++number;
        NewRow& row = rows.emplace_back(u"KDOCEVT"_s);
        row.set(u"FILE_SHA"_s, sha);
        row.set(u"EVT_NO"_s, number);
        row.set(u"DOC_NO"_s, event.number);
        row.set(u"DOC_KIND"_s, kindName(event.kind));
        row.set(u"TRANS"_s, eventName(event.event));
        row.set(u"CONJ_LAST"_s, event.lastNumber);
        row.set(u"PAX_NM"_s, event.passenger.left(55));
        row.set(u"AIRLINE"_s, event.airline.left(2));
        row.set(u"ISSUE_DT"_s, documents.header.issueDate);
        row.set(u"CURRENCY"_s, event.currency.left(3));
        row.set(u"AMOUNT"_s, amountValue(event.amount));
        row.set(u"AMT_DEC"_s, decimalsOf(event.amount));
        row.set(u"ORIG_DOC"_s, event.original);
        row.set(u"RELATED_DOC"_s, event.related);
        row.set(u"DOC_DT"_s, event.documentDate);
        row.set(u"PENALTY"_s, amountValue(event.penalty));
        row.set(u"FARE_USED"_s, amountValue(event.fareUsed));
        row.set(u"COLLECTED"_s, amountValue(event.collected));
        for (const Tax& tax : event.taxes) {
            NewRow& taxRow = rows.emplace_back(u"KDOCTAX"_s);
            taxRow.set(u"FILE_SHA"_s, sha);
            taxRow.set(u"EVT_NO"_s, number);
            taxRow.set(u"TAX_CD"_s, tax.code.left(2));
            taxRow.set(u"AMOUNT"_s, amountValue(tax.amount));
            taxRow.set(u"ISSUE_DT"_s, documents.header.issueDate);
        }
    }
    int payment = 0;
    for (const Payment& fop : documents.payments) {
        NewRow& row = rows.emplace_back(u"KDOCFOP"_s);
        row.set(u"FILE_SHA"_s, sha);
        row.set(u"FOP_NO"_s, ++payment);
        row.set(u"FOP_TP"_s, fop.type.left(2));
        row.set(u"AMOUNT"_s, amountValue(fop.amount));
        row.set(u"CARD_CD"_s, fop.cardCode.left(2));
        row.set(u"CARD_LAST4"_s, fop.cardLast4.right(4));
        row.set(u"ISSUE_DT"_s, documents.header.issueDate);
    }
    return rows;
}

// The file's reading in the ledger, if any: where the gateway met the file
// and which reader read it (0 for the first, which did not say).
struct StoredReading {
    FileOrigin origin;
    int readerVersion = 0;
    QVariant issueDate; // the file's, on each of its rows: null when it had none
};

std::optional<StoredReading> readingFrom(QSqlQuery& row, const QString& sha256) {
    if (!row.next())
        return std::nullopt;
    StoredReading stored;
    stored.readerVersion = row.value(0).toInt();
    stored.origin.file = {sha256, row.value(1).toString(), row.value(2).toLongLong(),
                          row.value(3).toLongLong(), row.value(4).toString() == u"I"};
    stored.origin.recordLocator = row.value(5).toString();
    stored.origin.serialNumber = row.value(6).toString();
    stored.origin.date = row.value(7).toString();
    stored.origin.time = row.value(8).toString();
    stored.issueDate = row.value(9);
    return stored;
}

std::optional<StoredReading> storedReading(QSqlDatabase& db, const QString& sha256) {
    const QString sql = u"SELECT READER_VER, FILE_NM, FILE_SIZE, FILE_MTIME, SOURCE, RECLOC, "
                        "SER_NO, DATE_1, TIME_1, ISSUE_DT FROM KDOCFILE WHERE FILE_SHA = ?"_s;
    if (std::optional<QSqlQuery> sent = readAsText(db, sql, {sha256}))
        return readingFrom(*sent, sha256);
    // What waits goes before the statement is prepared: the savepoint that
    // waits for it must be set before the driver may send anything of it.
    flushWaitingWrites(db);
    PreparedQuery query(db, sql);
    query.bind(sha256);
    query.exec();
    return readingFrom(query.query(), sha256);
}

// Every row of the reading, found through the indexes led by the file's issue date.
void deleteReading(QSqlDatabase& db, const QString& sha256, const QVariant& issueDate) {
    const QString onDay = issueDate.isNull() ? u"ISSUE_DT IS NULL"_s : u"ISSUE_DT = ?"_s;
    for (const QString& table : {u"KDOCTAX"_s, u"KDOCFOP"_s, u"KDOCEVT"_s}) {
        PreparedQuery query(db, u"DELETE FROM %1 WHERE %2 AND FILE_SHA = ?"_s.arg(table, onDay));
        if (!issueDate.isNull())
            query.bind(issueDate);
        query.bind(sha256);
        query.exec();
    }
    PreparedQuery file(db, u"DELETE FROM KDOCFILE WHERE FILE_SHA = ?"_s);
    file.bind(sha256);
    file.exec();
}

// Writes a reading of the file unless one of this reader is there; one of
// an older reader is replaced, keeping where the gateway met the file.
// `lookUp`: false when the caller found none just before.
bool writeReading(QSqlDatabase& db, const DocumentFile& file, const MirDocuments& documents,
                  const QString& recordLocator, const QString& serialNumber,
                  const ProblemRow* problemRow, bool lookUp = true) {
    const std::optional<StoredReading> stored =
        lookUp ? storedReading(db, file.sha256) : std::nullopt;
    if (stored && stored->readerVersion >= kReaderVersion)
        return false;
    const QDateTime now = currentClock().now();
    FileOrigin origin{file, recordLocator, serialNumber, dateTextMdy(now.date()),
                      timeTextHms(now.time())};
    if (stored) {
        const FileOrigin& old = stored->origin;
        origin.file = old.file;
        origin.date = old.date;
        origin.time = old.time;
        if (recordLocator.isEmpty()) {
            origin.recordLocator = old.recordLocator;
            origin.serialNumber = old.serialNumber;
        }
        deleteReading(db, file.sha256, stored->issueDate);
    }
    // One statement per table of the reading.
    QList<NewRow> rows = eventRows(file.sha256, documents);
    rows.prepend(fileRow(origin, documents));
    if (problemRow && !documents.problems.isEmpty())
        rows.append(errorRow(problemRow->source, problemRow->number,
                             problemSummary(documents) + problemRow->tag));
    appendRows(db, rows);
    return true;
}

} // namespace

bool documentsRecorded(const QString& connectionText, const QString& sha256) {
    return withThreadConnection(connectionText, [&](QSqlDatabase& db) {
        const std::optional<StoredReading> stored = storedReading(db, sha256);
        return stored && stored->readerVersion >= kReaderVersion;
    });
}

RiderRead readingLookUp(const QString& sha256, std::optional<ReadingSeen>& seen) {
    return {u"SELECT READER_VER FROM KDOCFILE WHERE FILE_SHA = ?"_s,
            {sha256},
            [&seen](QSqlQuery& result) {
                if (!result.next())
                    seen = ReadingSeen::None;
                else
                    seen = result.value(0).toInt() >= kReaderVersion ? ReadingSeen::ByThisReader
                                                                     : ReadingSeen::ByOlderReader;
            }};
}

bool writeFileDocuments(const QString& connectionText, const DocumentFile& file,
                        const MirDocuments& documents, const QString& recordLocator,
                        const QString& serialNumber, const ProblemRow* problemRow) {
    return withThreadConnection(connectionText, [&](QSqlDatabase& db) {
        return writeReading(db, file, documents, recordLocator, serialNumber, problemRow);
    });
}

WriteApart writeFileDocumentsApart(const QString& connectionText, const DocumentFile& file,
                                   const MirDocuments& documents, const QString& recordLocator,
                                   const QString& serialNumber, const ProblemRow* problemRow,
                                   bool seenAbsent) {
    return withThreadConnection(connectionText, [&](QSqlDatabase& db) {
        // SQL Server names its savepoints differently and releases them at the commit.
        const bool sqlServer = engineOf(db) == DbEngine::SqlServer;
        const auto run = [&db](const QString& sql) { execStatement(db, sql); };
        // A server's savepoint waits in the documents' batch and goes in one
        // message with their first statement: the look-up of the file's
        // reading, or, when a look-up before the transaction found none,
        // the rows with the release. Writing the rows without any look-up
        // would make the server refuse, and log, a taken key for each file
        // whose bytes were met before.
        const bool batched = batchesWrites(db);
        if (!batched)
            run(sqlServer ? u"SAVE TRANSACTION KDOC"_s : u"SAVEPOINT KDOC"_s);
        WriteApart write;
        bool released = false;
        try {
            WriteBatch rows(connectionText);
            if (batched)
                runOrBatch(db, u"SAVEPOINT KDOC"_s, {});
            write.written = writeReading(db, file, documents, recordLocator, serialNumber,
                                         problemRow, !seenAbsent);
            // A batch's release goes with its rows; it runs only if they all
            // went in. With nothing written, the version's commit, which
            // follows, ends the savepoint.
            if (rows.isOpen() && write.written)
                runOrBatch(db, u"RELEASE SAVEPOINT KDOC"_s, {});
            rows.flush();
            released = rows.isOpen();
        } catch (const StoreError& error) {
            write.refused = error;
            run(sqlServer ? u"ROLLBACK TRANSACTION KDOC"_s : u"ROLLBACK TO SAVEPOINT KDOC"_s);
        }
        if (!sqlServer && !released)
            run(u"RELEASE SAVEPOINT KDOC"_s);
        return write;
    });
}

bool recordFileDocuments(const QString& connectionText, const DocumentFile& file,
                         const MirDocuments& documents, const ProblemRow* problemRow) {
    if (documentsRecorded(connectionText, file.sha256))
        return false;
    bool written = false;
    runInThreadTransaction(connectionText, [&] {
        written =
            writeFileDocuments(connectionText, file, documents, QString(), QString(), problemRow);
    });
    return written;
}

QString problemSummary(const MirDocuments& documents) {
    QStringList parts;
    for (const Problem& problem : documents.problems)
        parts.append(problem.section + u": "_s + problem.text);
    return parts.join(u"; "_s);
}
