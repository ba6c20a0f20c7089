#include "groupcommit.h"

#include "threadconnection.h"

#include <QHash>
#include <QScopeGuard>
#include <QSqlQuery>

namespace {

// What the calling thread's connection for a text owes to the disk.
struct CommitDebt {
    bool relaxed = false;   // its commits do not wait for the disk
    bool pending = false;   // it committed since the last durable commit
    bool unvouched = false; // a closed connection left commits that may be lost
    bool sqlite = false;    // its connection is a SQLite file's
    bool sharing = false;   // its version transactions are to share one
};

thread_local QHash<QString, CommitDebt> t_debts;

// Makes the connection commit without waiting, where that keeps commits in
// order; whether it does.
bool relax(QSqlDatabase& db) {
    QSqlQuery query(db);
    switch (engineOf(db)) {
    case DbEngine::Sqlite:
        // The rollback journal (a network share) keeps its durable commits.
        if (!query.exec(QStringLiteral("PRAGMA journal_mode")) || !query.next() ||
            query.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
            return false;
        query.finish();
        // The savepoints' journals (of each version inside a shared
        // transaction, of its documents) stay in memory: on a file they cost
        // a write of every page a version changes.
        query.exec(QStringLiteral("PRAGMA temp_store=MEMORY"));
        return query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    case DbEngine::PostgreSql:
        return query.exec(QStringLiteral("SET synchronous_commit = off"));
    case DbEngine::SqlServer:
        break;
    }
    return false;
}

bool exec(QSqlDatabase& db, const QString& statement) {
    return QSqlQuery(db).exec(statement);
}

// One transaction that waits for the disk, with `write` in it.
void durableCommit(const QString& connectionText, QSqlDatabase& db,
                   const std::function<bool(QSqlDatabase&)>& write) {
    const auto refused = [](const QString& what) {
        return StoreError(StoreError::kProviderFailure, what, StoreError::Cause::Statement);
    };
    const bool sqlite = engineOf(db) == DbEngine::Sqlite;
    if (sqlite && !exec(db, QStringLiteral("PRAGMA synchronous=FULL")))
        throw refused(QStringLiteral("The log cannot be synced"));
    const auto relaxAgain = qScopeGuard([&] {
        if (sqlite)
            exec(db, QStringLiteral("PRAGMA synchronous=NORMAL"));
    });
    runInThreadTransaction(connectionText, [&] {
        if (!sqlite && !exec(db, QStringLiteral("SET LOCAL synchronous_commit = on")))
            throw refused(QStringLiteral("The commit cannot be made to wait for the disk"));
        // A commit that writes nothing waits for nothing.
        if (!write(db))
            throw refused(QStringLiteral("Nothing was written for a durable commit"));
    });
}

} // namespace

void commitWithoutWaitingOnThisThread(const QString& connectionText) {
    // A connection opened from here on is relaxed as it opens.
    CommitDebt& debt = t_debts[connectionText];
    if (debt.relaxed)
        return;
    try {
        QSqlDatabase db = threadConnection(connectionText);
        debt.relaxed = relax(db);
        debt.sqlite = engineOf(db) == DbEngine::Sqlite;
    } catch (const StoreError&) {
        // Relaxed when it opens.
    }
}

bool makeThreadCommitsDurable(const QString& connectionText,
                              const std::function<bool(QSqlDatabase&)>& write) {
    if (!t_debts.contains(connectionText))
        return true;
    const bool kept = commitSharedTransaction(connectionText);
    try {
        QSqlDatabase db = threadConnection(connectionText); // may open it afresh
        CommitDebt& debt = t_debts[connectionText];
        const bool vouched = kept && !debt.unvouched;
        // Made even with nothing committed since the last one: a commit seen
        // from another connection or an earlier run may not be durable yet.
        if (debt.relaxed)
            durableCommit(connectionText, db, write);
        debt.pending = false;
        debt.unvouched = false;
        return vouched;
    } catch (const StoreError&) {
        return false;
    }
}

void connectionOpenedOnThisThread(QSqlDatabase& db, const QString& connectionText) {
    const auto found = t_debts.find(connectionText);
    if (found == t_debts.end())
        return;
    // Commits left by the connection this one replaces are no longer this
    // thread's to make durable: a server that restarted may have lost them.
    // SQLite's are in the same log file, which the next durable commit syncs
    // whichever connection makes it.
    found->unvouched =
        found->unvouched || (found->pending && engineOf(db) != DbEngine::Sqlite);
    found->pending = false;
    found->relaxed = relax(db);
    found->sqlite = engineOf(db) == DbEngine::Sqlite;
}

void committedOnThisThread(const QString& connectionText) {
    const auto found = t_debts.find(connectionText);
    if (found != t_debts.end() && found->relaxed)
        found->pending = true;
}

void shareVersionTransactionsOnThisThread(const QString& connectionText) {
    commitWithoutWaitingOnThisThread(connectionText);
    t_debts[connectionText].sharing = true;
}

bool versionTransactionsShared(const QString& connectionText) {
    const auto found = t_debts.constFind(connectionText);
    return found != t_debts.cend() && found->sharing && found->relaxed && found->sqlite;
}
