#pragma once

#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <functional>
#include <optional>

class WriteBatch;

// The ledger of recorded files (table AMFILE): which booking versions were
// stored from which file, and how far each version's post has gone. A file
// is found again by its name, size, modification time (to the nanosecond)
// and the SHA-256 of its bytes, so the same bytes dropped again later as a
// new file are a new file; its device and inode are kept beside them. All functions work on the
// calling thread's connection for ConnectionString() (inside the version's transaction when one is
// open) and throw StoreError.

struct FileIdentity {
    QString name;
    qint64 size = 0;
    qint64 modifiedNs = 0; // modification time in nanoseconds since the epoch
    quint64 device = 0;
    quint64 inode = 0;
    QString sha256; // lower-case hex
};

enum class PostState {
    None,         // no post for this version (the export is off)
    Waiting,      // to be posted; not acknowledged yet
    Acknowledged, // the endpoint answered "RECLOC..."
    Refused,      // the endpoint refused or did not understand it: not posted again
    GivenUp,      // the exchange failed while the rows were stored: not posted again
};

struct RecordedPass {
    int number = 1; // 1, or 2 for the second record of a booking
    QString recordLocator;
    QString serialNumber;
    PostState post = PostState::None;
    QString kind; // the kind text the version was stored and posted with
};

// The ledger's functions below throw StoreError with the cause Ledger when
// its table refuses a statement (a view, a revoked privilege): a fault of the
// gateway's bookkeeping, which makes files wait rather than be refused.
QList<RecordedPass> recordedPasses(const FileIdentity& file);
// A further read that goes in the same message as the ledger's: its
// statement, its parameters' values, and what takes its result.
struct RiderRead {
    QString select;
    QVariantList values;
    std::function<void(QSqlQuery&)> take;
};
// The file's recorded passes and, on a server, in the same round trip, the
// record locator's last serial as GET_XSER_NO reads it (see
// lastSerialSelect) and the rider's read, if any, whose result is taken;
// elsewhere, or when they cannot go together, the passes alone, and the
// rider's result is not taken.
struct FileAndSerial {
    QList<RecordedPass> passes;
    std::optional<QString> lastSerial;
};
FileAndSerial recordedPassesAndSerial(const FileIdentity& file, const QString& recordLocator,
                                      const RiderRead* rider = nullptr);
void addRecordedPass(const FileIdentity& file, const RecordedPass& pass);
// Sends the version's batch with the ledger's row. On a server the row goes
// in the same message, behind a savepoint of its own: after a failure the
// savepoint is there to roll back to only if every row of the version went
// in, which tells the ledger's refusal apart from the booking's. Elsewhere
// the row goes on its own after the flush.
void flushWithRecordedPass(WriteBatch& version, const FileIdentity& file, const RecordedPass& pass);
void setPostState(const FileIdentity& file, int pass, PostState state);

// Why the ledger would refuse to note a version now, "" when it would take
// one: a row is written on the connection and rolled back. Throws StoreError
// when the database cannot be reached.
QString ledgerWriteRefusal(const QString& connectionText);
