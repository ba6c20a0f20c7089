#include "cyclefixture.h"
#include "documentbook.h"
#include "healthcheck.h"
#include "serialnumber.h"
#include "storecall.h"

#include <QMutex>
#include <QSet>
#include <QTest>

#include <atomic>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

// A gateway runs for years: every statement it runs for a file, and every
// one behind what a person asks daily (the status, the metrics, the
// documents of a day or of a number, the daily report), must find its rows
// through an index, never by reading a table that grows with the history.
// The test records each statement SQLite prepares while these run on a real
// database file, then asks SQLite how it would run each.

namespace {

QMutex statementsLock;
QSet<QString> statements;
std::atomic_bool recording = false; // the test's own statements are not the gateway's

int recordStatement(unsigned, void*, void* statement, void*) {
    if (!recording)
        return 0;
    const QString sql = QString::fromUtf8(sqlite3_sql(static_cast<sqlite3_stmt*>(statement)));
    const QMutexLocker lock(&statementsLock);
    statements.insert(sql.simplified());
    return 0;
}

// Installed on every connection SQLite opens in this process from now on.
int traceConnection(sqlite3* db, const char**, const struct sqlite3_api_routines*) {
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, recordStatement, nullptr);
    return SQLITE_OK;
}

// The plan's steps of a statement, as SQLite words them ("SEARCH AMAMD USING
// INDEX ...", "SCAN AMERROR" ...).
QStringList planOf(sqlite3* db, const QString& sql) {
    QStringList steps;
    sqlite3_stmt* explain = nullptr;
    const QByteArray text = ("EXPLAIN QUERY PLAN " + sql).toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), -1, &explain, nullptr) != SQLITE_OK)
        return {u"cannot explain: "_s + QString::fromUtf8(sqlite3_errmsg(db))};
    while (sqlite3_step(explain) == SQLITE_ROW)
        steps.append(
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(explain, 3))));
    sqlite3_finalize(explain);
    return steps;
}

// The tables that stay small whatever the history: the gateways sharing the
// database, the entries that are not files, the posts still owed.
bool staysSmall(const QString& step) {
    for (const char* table : {"AMGATEWAY", "AMFOREIGN", "AMPOST", "sqlite_"}) {
        if (step.contains(QLatin1String(table)))
            return true;
    }
    return false;
}

} // namespace

class TestQueryPlans : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { sqlite3_auto_extension(reinterpret_cast<void (*)()>(traceConnection)); }
    void everyStatementUsesAnIndex();
};

void TestQueryPlans::everyStatementUsesAnIndex() {
    TestHome home(TestHome::Korva::Registered);
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(u"data"_s),
                        TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    // A booking with its tickets, a void and a refund under the placeholder
    // locator, and a file that is no record (an error row).
    for (const char* sample : {"ticketed-crlf.mir", "void.mir", "refund.mir", "not-mir.mir"})
        writeFileBytes(settings.MirDownPath + QString::fromLatin1(sample).toUpper(),
                       sampleMir(QString::fromLatin1(sample)));
    recording = true;
    drainOnce(settings);
    recording = false;
    // The booking again under another name: a second version, whose documents
    // an older reader read, so that this one replaces them.
    db.selectRows(u"UPDATE KDOCFILE SET READER_VER = 1 WHERE FILE_NM = 'TICKETED-CRLF.MIR'"_s);
    writeFileBytes(settings.MirDownPath + u"AGAIN.MIR"_s, sampleMir(u"ticketed-crlf.mir"_s));
    recording = true;
    drainOnce(settings);
    recording = false;
    QCOMPARE(countRows(db, u"SELECT COUNT(*) FROM AMAMD"_s), 4);
    QCOMPARE(countRows(db, u"SELECT COUNT(*) FROM KDOCFILE WHERE READER_VER = 1"_s), 0);
    const QList<QVariantList> document =
        db.selectRows(u"SELECT DOC_NO, ISSUE_DT FROM KDOCEVT WHERE ISSUE_DT <> ''"_s);
    QVERIFY(!document.isEmpty());

    recording = true;
    const QDateTime now = QDateTime::currentDateTime();
    checkHealth(settings, now);
    checkHealth(settings, now, HealthDepth::Gauges);
    QVERIFY(
        !loadDocumentEvents(db.connectionText(), {document[0][0].toString(), QString()}).isEmpty());
    QVERIFY(
        !loadDocumentEvents(db.connectionText(), {QString(), document[0][1].toString()}).isEmpty());
    withThreadConnection(db.connectionText(),
                         [](QSqlDatabase& connection) { crowdedLocators(connection); });
    recording = false;

    sqlite3* plans = nullptr;
    QCOMPARE(sqlite3_open_v2(qPrintable(db.dataFolder() + u"PALVA.mdb"_s), &plans,
                             SQLITE_OPEN_READONLY, nullptr),
             SQLITE_OK);
    QStringList scans;
    int explained = 0;
    const QMutexLocker lock(&statementsLock);
    for (const QString& sql : std::as_const(statements)) {
        const bool readsRows = sql.startsWith(u"SELECT"_s, Qt::CaseInsensitive) ||
                               sql.startsWith(u"UPDATE"_s, Qt::CaseInsensitive) ||
                               sql.startsWith(u"DELETE"_s, Qt::CaseInsensitive);
        // A table's columns are learnt from a statement that selects no row.
        if (!readsRows || sql.endsWith(u"where 1=2"_s, Qt::CaseInsensitive))
            continue;
        ++explained;
        for (const QString& step : planOf(plans, sql)) {
            if ((step.startsWith(u"SCAN"_s) || step.startsWith(u"cannot"_s)) && !staysSmall(step))
                scans.append(step + u"  <-  "_s + sql);
        }
    }
    sqlite3_close(plans);
    QVERIFY2(explained >= 10, qPrintable(QString::number(explained)));
    QVERIFY2(scans.isEmpty(), qPrintable(scans.join(u"\n"_s)));
}

QTEST_GUILESS_MAIN(TestQueryPlans)
#include "test_queryplans.moc"
