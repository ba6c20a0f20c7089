#include "recordledger.h"

#include "clock.h"
#include "connectionstring.h"
#include "fixedforms.h"
#include "gatewayidentity.h"
#include "preparedquery.h"
#include "rowappender.h"
#include "serialnumber.h"
#include "storecall.h"
#include "writebatch.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace {

QString postCode(PostState state) {
    switch (state) {
    case PostState::None:
        break;
    case PostState::Waiting:
        return u"W"_s;
    case PostState::Acknowledged:
        return u"A"_s;
    case PostState::Refused:
        return u"R"_s;
    case PostState::GivenUp:
        return u"F"_s;
    }
    return u""_s;
}

PostState postStateOf(const QString& code) {
    if (code == u"W")
        return PostState::Waiting;
    if (code == u"A")
        return PostState::Acknowledged;
    if (code == u"R")
        return PostState::Refused;
    if (code == u"F")
        return PostState::GivenUp;
    return PostState::None;
}

// A file is found again by its name, size, modification time and bytes. The
// device and inode are kept for the operator but not compared: they may be
// numbered anew after a reboot or a remount, which is when the ledger is read.
const QString kFileCondition =
    u"FILE_NM = ? AND FILE_SIZE = ? AND FILE_MTIME = ? AND FILE_SHA = ?"_s;

const char* const kNoteVersion = "note a stored version";

// A statement the ledger's table refuses is the gateway's own fault, not the
// booking's: the caller keeps the file waiting until the table is mended.
StoreError ledgerRefusal(const char* what, const StoreError& error) {
    return StoreError(error.number(),
                      u"The ledger of recorded files (AMFILE) refused to %1: %2"_s.arg(
                          QLatin1String(what), error.description()),
                      StoreError::Cause::Ledger);
}

template <typename Work> auto asLedgerWork(const char* what, Work&& work) {
    try {
        return work();
    } catch (const StoreError& error) {
        if (error.cause() != StoreError::Cause::Statement)
            throw;
        throw ledgerRefusal(what, error);
    }
}

QVariantList fileValues(const FileIdentity& file) {
    return {file.name, QString::number(file.size), QString::number(file.modifiedNs), file.sha256};
}

void bindFile(PreparedQuery& query, const FileIdentity& file) {
    for (const QVariant& value : fileValues(file))
        query.bind(value);
}

} // namespace

namespace {

QString passesSelect() {
    return u"SELECT PASS_NO, RECLOC, SER_NO, POST_ST, KIND FROM AMFILE WHERE "_s + kFileCondition +
           ownRowsCondition() + u" ORDER BY PASS_NO"_s;
}

QList<RecordedPass> passesFrom(QSqlQuery& query) {
    QList<RecordedPass> passes;
    while (query.next()) {
        passes.append({query.value(0).toString().toInt(), query.value(1).toString(),
                       query.value(2).toString(), postStateOf(query.value(3).toString()),
                       query.value(4).toString()});
    }
    if (query.lastError().isValid())
        throw StoreError::fromSqlError(query.lastError());
    return passes;
}

QList<RecordedPass> readRecordedPasses(const FileIdentity& file) {
    return withThreadConnection(ConnectionString(), [&file](QSqlDatabase& db) {
        PreparedQuery lookup(db, passesSelect());
        bindFile(lookup, file);
        bindOwnRows(lookup);
        lookup.exec();
        return passesFrom(lookup.query());
    });
}

// The reads in one message on a server; nothing, having sent nothing,
// where they cannot go so.
std::optional<FileAndSerial> readPassesAndSerial(const FileIdentity& file,
                                                 const QString& recordLocator,
                                                 const RiderRead* rider) {
    return withThreadConnection(
        ConnectionString(), [&](QSqlDatabase& db) -> std::optional<FileAndSerial> {
            QString text = lastSerialSelect() + u';' + passesSelect();
            QVariantList values = QVariantList{recordLocator} + fileValues(file) + ownRowsValues();
            if (rider) {
                text += u';' + rider->select;
                values += rider->values;
            }
            std::optional<QSqlQuery> sent = readAsText(db, text, values);
            if (!sent)
                return std::nullopt;
            FileAndSerial found;
            found.lastSerial = sent->next() ? sent->value(0).toString() : QString();
            if (!sent->nextResult())
                throw StoreError::fromSqlError(sent->lastError());
            found.passes = passesFrom(*sent);
            if (rider) {
                if (!sent->nextResult())
                    throw StoreError::fromSqlError(sent->lastError());
                rider->take(*sent);
            }
            return found;
        });
}

NewRow ledgerRow(const FileIdentity& file, const RecordedPass& pass) {
    NewRow row(u"AMFILE"_s);
    row.set(u"FILE_NM"_s, file.name);
    row.set(u"FILE_SIZE"_s, QString::number(file.size));
    row.set(u"FILE_MTIME"_s, QString::number(file.modifiedNs));
    row.set(u"FILE_DEV"_s, QString::number(file.device));
    row.set(u"FILE_INO"_s, QString::number(file.inode));
    row.set(u"FILE_SHA"_s, file.sha256);
    row.set(u"PASS_NO"_s, QString::number(pass.number));
    row.set(u"RECLOC"_s, pass.recordLocator);
    row.set(u"SER_NO"_s, pass.serialNumber);
    row.set(u"POST_ST"_s, postCode(pass.post));
    row.set(u"KIND"_s, pass.kind);
    row.set(u"DATE_1"_s, dateTextMdy(currentClock().now().date()));
    row.set(u"TIME_1"_s, timeTextHms(currentClock().now().time()));
    if (!GatewayId().isEmpty())
        row.set(u"GW_ID"_s, GatewayId());
    return row;
}

void appendRecordedPass(const FileIdentity& file, const RecordedPass& pass) {
    appendRow(ConnectionString(), ledgerRow(file, pass));
}

void updatePostState(const FileIdentity& file, int pass, PostState state) {
    withThreadConnection(ConnectionString(), [&](QSqlDatabase& db) {
        PreparedQuery query(db, u"UPDATE AMFILE SET POST_ST = ? WHERE "_s + kFileCondition +
                                    u" AND PASS_NO = ?"_s + ownRowsCondition());
        query.bind(postCode(state));
        bindFile(query, file);
        query.bind(QString::number(pass));
        bindOwnRows(query);
        query.exec();
    });
}

} // namespace

QList<RecordedPass> recordedPasses(const FileIdentity& file) {
    return asLedgerWork("look the file up", [&file] { return readRecordedPasses(file); });
}

FileAndSerial recordedPassesAndSerial(const FileIdentity& file, const QString& recordLocator,
                                      const RiderRead* rider) {
    try {
        if (std::optional<FileAndSerial> both = readPassesAndSerial(file, recordLocator, rider))
            return *both;
    } catch (const StoreError& error) {
        // Any of the reads may be the one refused: the ledger's alone tells.
        if (error.cause() == StoreError::Cause::Connection)
            throw;
    }
    return {recordedPasses(file), std::nullopt};
}

void addRecordedPass(const FileIdentity& file, const RecordedPass& pass) {
    asLedgerWork(kNoteVersion, [&] { appendRecordedPass(file, pass); });
}

void flushWithRecordedPass(WriteBatch& version, const FileIdentity& file,
                           const RecordedPass& pass) {
    if (!version.isOpen()) {
        version.flush();
        addRecordedPass(file, pass);
        return;
    }
    withThreadConnection(ConnectionString(), [&](QSqlDatabase& db) {
        runOrBatch(db, u"SAVEPOINT KLEDGER"_s, {});
        appendRow(db, ledgerRow(file, pass));
        runOrBatch(db, u"RELEASE SAVEPOINT KLEDGER"_s, {});
        try {
            flushWaitingWrites(db);
        } catch (const StoreError& error) {
            // The savepoint is there only when every row of the version went in.
            if (error.cause() != StoreError::Cause::Statement ||
                !QSqlQuery(db).exec(u"ROLLBACK TO SAVEPOINT KLEDGER"_s))
                throw;
            throw ledgerRefusal(kNoteVersion, error);
        }
    });
}

void setPostState(const FileIdentity& file, int pass, PostState state) {
    asLedgerWork("note how a post went", [&] { updatePostState(file, pass, state); });
}

QString ledgerWriteRefusal(const QString& connectionText) {
    return withThreadConnection(connectionText, [](QSqlDatabase& db) {
        if (!db.transaction())
            throw StoreError::fromSqlError(db.lastError());
        QString refusal;
        FileIdentity trial;
        trial.name = u"(a trial row, rolled back)"_s;
        try {
            appendRow(db, ledgerRow(trial, RecordedPass()));
        } catch (const StoreError& error) {
            refusal = error.description();
        }
        db.rollback();
        return refusal;
    });
}
