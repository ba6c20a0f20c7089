#include "storetables.h"

#include "storecall.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace Qt::StringLiterals;

namespace {

// Whether the table is there with every one of the columns.
bool hasColumns(const QSqlDatabase& db, const QStringList& tables, const QString& table,
                const QStringList& columns) {
    if (!tables.contains(table, Qt::CaseInsensitive))
        return false;
    const QSqlRecord record = db.record(table);
    for (const QString& column : columns) {
        if (!record.contains(column))
            return false;
    }
    return true;
}

// The catalog of a connection that answers lists at least AMAMD; an empty
// one may be a connection that no longer answers, which a statement tells.
void checkAnswers(QSqlDatabase& db) {
    QSqlQuery query(db);
    if (!query.exec(u"SELECT RECLOC FROM AMAMD WHERE 1=2"_s))
        throw StoreError::fromSqlError(query.lastError());
}

} // namespace

StoreTables readStoreTables(const QString& connectionText) {
    return withThreadConnection(connectionText, [](QSqlDatabase& db) {
        // A view in a table's place counts as the table: what it refuses to
        // take is the gateway's own fault, which makes files wait.
        const QStringList tables = db.tables(QSql::Tables) + db.tables(QSql::Views);
        if (tables.isEmpty())
            checkAnswers(db);
        StoreTables found;
        found.ledger = hasColumns(db, tables, u"AMFILE"_s,
                                  {u"FILE_NM"_s, u"FILE_SIZE"_s, u"FILE_MTIME"_s, u"FILE_DEV"_s,
                                   u"FILE_INO"_s, u"FILE_SHA"_s, u"PASS_NO"_s, u"RECLOC"_s,
                                   u"SER_NO"_s, u"POST_ST"_s, u"KIND"_s, u"DATE_1"_s, u"TIME_1"_s});
        found.foreignEntries = hasColumns(
            db, tables, u"AMFOREIGN"_s, {u"DIR_NM"_s, u"FILE_NM"_s, u"FILE_DEV"_s, u"FILE_INO"_s});
        found.owedPosts =
            hasColumns(db, tables, u"AMPOST"_s,
                       {u"POST_NO"_s, u"DIR_NM"_s, u"FILE_NM"_s, u"FILE_SIZE"_s, u"FILE_MTIME"_s,
                        u"FILE_SHA"_s, u"PASS_NO"_s, u"RECLOC"_s, u"SER_NO"_s, u"XML_TX"_s});
        // Every table that keeps rows of several gateways has their column.
        found.identities =
            hasColumns(db, tables, u"AMGATEWAY"_s, {u"GW_ID"_s, u"RUN_ID"_s, u"BEAT_MS"_s});
        for (const QString& table : {u"AMFILE"_s, u"AMPOST"_s, u"AMFOREIGN"_s}) {
            if (tables.contains(table, Qt::CaseInsensitive) &&
                !hasColumns(db, tables, table, {u"GW_ID"_s}))
                found.identities = false;
        }
        if (hasColumns(db, tables, u"KDOCFILE"_s, {u"FILE_SHA"_s})) {
            // The newest columns of each table that gained some. (A table
            // that is missing refuses the rows of the files that have any.)
            bool current = hasColumns(db, tables, u"KDOCFILE"_s, {u"READER_VER"_s}) &&
                           hasColumns(db, tables, u"KDOCEVT"_s, {u"COLLECTED"_s});
            for (const QString& table : {u"KDOCTAX"_s, u"KDOCFOP"_s}) {
                if (tables.contains(table, Qt::CaseInsensitive) &&
                    !hasColumns(db, tables, table, {u"ISSUE_DT"_s}))
                    current = false;
            }
            found.documents = current ? DocumentTables::Current : DocumentTables::Outdated;
        }
        return found;
    });
}

QString noLedgerNotice() {
    return u"The database has no AMFILE table (the ledger of recorded files): a file is known "
           "as recorded only while this run lasts. Run kesto init-db --upgrade to add it."_s;
}

QString noForeignEntriesNotice() {
    return u"The database has no AMFOREIGN table: links, FIFOs and other entries that are not "
           "files are reported again at each start. Run kesto init-db --upgrade to add it."_s;
}

QString noOwedPostsNotice() {
    return u"The database has no AMPOST table (the posts owed to the endpoint): each file waits "
           "for its post. Run kesto init-db --upgrade to add it."_s;
}

QString noIdentitiesNotice() {
    return u"The database keeps no gateway identities (table AMGATEWAY, column GW_ID): gateways "
           "that share it may take each other's files and posts. Run kesto init-db --upgrade "
           "to add them."_s;
}

QString documentTablesNotice(DocumentTables tables) {
    if (tables == DocumentTables::Outdated)
        return u"The document tables lack the columns of this version (KDOCFILE READER_VER, "
               "KDOCEVT COLLECTED ...): ticketing documents are not recorded. Run kesto init-db "
               "--upgrade to add them."_s;
    return u"The database has no document tables (KDOCFILE, KDOCEVT, KDOCTAX, KDOCFOP): "
           "ticketing documents are not recorded. Run kesto init-db --upgrade to add them."_s;
}
