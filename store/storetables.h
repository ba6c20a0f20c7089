#pragma once

#include <QString>

// Which of the gateway's own tables, beyond the seven documented ones, the
// database has, read once from its catalog: a database made by an earlier
// version lacks some until `kesto init-db --upgrade` adds them. A table that
// is there without the columns this version writes counts as missing (the
// document ledger's are told apart, as the upgrade reads its files again).
// Read at the start of a run and passed to everything that needs it, so that
// the cycle, the poster and the commands give one answer.

enum class DocumentTables { Current, Outdated, Missing };

struct StoreTables {
    bool ledger = false;         // AMFILE, the files recorded
    bool foreignEntries = false; // AMFOREIGN, the entries reported as not files
    bool owedPosts = false;      // AMPOST, the posts owed to the endpoint
    bool identities = false;     // AMGATEWAY, and GW_ID on the three tables above
    DocumentTables documents = DocumentTables::Missing; // KDOCFILE, KDOCEVT, KDOCTAX, KDOCFOP
};

// Reads the catalog of the database for the connection text. Throws
// StoreError while the database cannot be read: a catalog that cannot be
// read says nothing about what is missing.
StoreTables readStoreTables(const QString& connectionText);

// What the operator is told, once, for each table the gateway works without;
// "" for one it has.
QString noLedgerNotice();
QString noForeignEntriesNotice();
QString noOwedPostsNotice();
QString noIdentitiesNotice();
QString documentTablesNotice(DocumentTables tables);
