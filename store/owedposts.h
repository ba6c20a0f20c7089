#pragma once

#include "recordledger.h"

#include <QString>

#include <optional>

// Posts owed to the agency's endpoint (table AMPOST). With database writes
// on, a version's post is owed rather than waited for: its booking XML text
// is written in the version's own transaction, and the row is deleted in the
// transaction that notes in the ledger how the post went. A crash between
// the post and that note posts it again (at least once), and nothing owed is
// lost. Each gateway delivers the posts owed under its download folder, in
// the order they were stored. All functions work on the calling thread's
// connection for ConnectionString() unless they take a connection text, and
// throw StoreError.

struct OwedPost {
    qint64 number = 0; // the order in which they were stored
    QString folder;    // the download folder of the gateway that owes it
    FileIdentity file; // the ledger's file (its device and inode are not kept)
    int pass = 1;
    QString recordLocator;
    QString serialNumber;
    QString xmlText;
};

// Adds the post; inside the version's transaction.
void addOwedPost(const OwedPost& post);
// Whether the post of the file's record is owed.
bool isPostOwed(const QString& folder, const FileIdentity& file, int pass);
// The first post owed under the folder, if any.
std::optional<OwedPost> oldestOwedPost(const QString& folder);
// One transaction: the ledger notes how the post went, and it is owed no more.
void settleOwedPost(const OwedPost& post, PostState state);
// How many posts this gateway owes (those of its folder, for the rows
// written before gateways had identities), on a database that keeps them.
int owedPostCount(const QString& connectionText, const QString& folder);
