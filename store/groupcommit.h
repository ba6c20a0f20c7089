#pragma once

#include <QSqlDatabase>
#include <QString>

#include <functional>

// Commits made durable in groups. A drain commits each file's version without
// waiting for the disk and, before any of those files leaves the download
// folder, makes one durable commit: one wait for the disk for a batch of
// files instead of one for each.
//
// Sound because both databases write one log, in order, and keep a prefix of
// it after a crash: a commit lost takes every later one with it, and a commit
// that waits for the log (SQLite's write-ahead log with synchronous=FULL,
// PostgreSQL with synchronous_commit on) waits for everything written before
// it, by any connection. The commits in between are visible to other
// connections at once, as before; a crash of the machine may take back a few
// of them, never one whose file has left the folder.
//
// A SQLite file in the rollback journal (on a network file system) keeps
// every commit durable: there an unsynced commit is not kept in order.

// From now on the calling thread's connection for the text commits without
// waiting for the disk, and so do the connections it opens for it later (on
// SQLite they also keep their savepoints' journals in memory).
void commitWithoutWaitingOnThisThread(const QString& connectionText);

// From now on the calling thread's version transactions on its connection for
// the text share one transaction (runVersionTransaction, threadconnection.h)
// where its commits do not wait for the disk and it is a SQLite file: a
// commit writes each page it changed, and a drain's versions change mostly
// the same pages. Only for a cycle that keeps a ledger and posts nothing
// while it stores: the versions since the last shared commit may yet be lost
// together, and their files must then be read again.
void shareVersionTransactionsOnThisThread(const QString& connectionText);
// Whether they do now, on the connection open for the text.
bool versionTransactionsShared(const QString& connectionText);

// One durable commit on the calling thread's connection for the text, which
// makes every commit before it durable. False when it failed, or when it
// cannot answer for commits made on a connection opened before this one (a
// server that restarted in between may have lost them): whatever depends on
// those must then be read again from the database. True at once when the
// connection's commits each wait for the disk.
// The transaction the versions share is committed first; false too when
// versions put into it were lost (commitSharedTransaction).
// `write` changes one row in the transaction (a commit that writes nothing
// waits for nothing); false when it changed none.
bool makeThreadCommitsDurable(const QString& connectionText,
                              const std::function<bool(QSqlDatabase&)>& write);

// For threadconnection.cpp: a connection just opened for the text on the
// calling thread, and a transaction committed on it.
void connectionOpenedOnThisThread(QSqlDatabase& db, const QString& connectionText);
void committedOnThisThread(const QString& connectionText);
