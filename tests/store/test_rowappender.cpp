#include "connectiontext.h"
#include "preparedquery.h"
#include "rowappender.h"
#include "storecall.h"
#include "storeerror.h"
#include "testdatabase.h"
#include "testhome.h"
#include "threadconnection.h"
#include "writebatch.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

// The first column of the rows the statement gives, as texts; the error's text
// when it fails.
QStringList firstColumn(QSqlDatabase& connection, const QString& sql) {
    QSqlQuery query(connection);
    QStringList seen;
    if (!query.exec(sql))
        return QStringList{query.lastError().text()};
    while (query.next())
        seen.append(query.value(0).toString());
    return seen;
}

} // namespace

class TestRowAppender : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void columnsInOrder_data();
    void columnsInOrder();
    void currencyIsExact_data();
    void currencyIsExact();
    void badAmountSavesNothing_data();
    void badAmountSavesNothing();
    void failureKeepsEarlierRows_data();
    void failureKeepsEarlierRows();
    void manyRowsByShape_data();
    void manyRowsByShape();
    void batchedTextsArriveAsGiven_data();
    void batchedTextsArriveAsGiven();
    void workerThreadHasItsOwnConnection_data();
    void workerThreadHasItsOwnConnection();
    void lostConnectionIsReopened();
    void sqliteWritesAsQtBinds();
    void serverBatchWritesAsQtBinds();
};

void TestRowAppender::columnsInOrder_data() {
    addEngineRows();
}

void TestRowAppender::columnsInOrder() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    NewRow row(QStringLiteral("AMHEAD"));
    row.set(QStringLiteral("RECLOC"), QStringLiteral("ABC123"));
    row.set(QStringLiteral("SER_NO"), QStringLiteral("001"));
    row.set(QStringLiteral("ALCDE"), QString()); // a null text is stored as the empty text
    row.set(QStringLiteral("NUMCDE"), QStringLiteral("x"));
    row.set(QStringLiteral("NUMCDE"), QStringLiteral("297")); // set again: replaced in place
    QCOMPARE(row.columns(), QStringList({"RECLOC", "SER_NO", "ALCDE", "NUMCDE"}));
    appendRow(db.connectionText(), row);
    appendRow(db.connectionText(), NewRow(QStringLiteral("AMHEAD"))); // no column set at all

    QCOMPARE(db.selectRows(QStringLiteral("SELECT * FROM AMHEAD")).size(), 2);
    const QList<QVariantList> rows = db.selectRows(QStringLiteral(
        "SELECT RECLOC, SER_NO, ENTRY, ALCDE, NUMCDE FROM AMHEAD WHERE RECLOC IS NOT NULL"));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][0].toString(), QStringLiteral("ABC123"));
    QCOMPARE(rows[0][1].toString(), QStringLiteral("001"));
    QVERIFY(rows[0][2].isNull()); // ENTRY was not set: the column keeps its default
    QVERIFY(!rows[0][3].isNull());
    QCOMPARE(rows[0][3].toString(), QString());
    QCOMPARE(rows[0][4].toString(), QStringLiteral("297"));
}

void TestRowAppender::currencyIsExact_data() {
    addEngineRows();
}

void TestRowAppender::currencyIsExact() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    const QList<Currency> amounts = {
        Currency::fromUnits(std::numeric_limits<qint64>::max()),
        Currency::fromUnits(std::numeric_limits<qint64>::min()),
        Currency::fromUnits(1),                 // 0.0001
        Currency::fromUnits(12345678901234567), // beyond a double's exact digits
        Currency::fromUnits(-9975000),          // -997.5
    };
    for (qsizetype i = 0; i < amounts.size(); ++i) {
        NewRow row(QStringLiteral("AMPAX"));
        row.set(QStringLiteral("H_INDEX"), QString::number(i));
        row.setCurrency(QStringLiteral("TKT_AMT"), amounts[i]);
        row.set(QStringLiteral("TKT_AMS"), 0); // a whole number
        row.set(QStringLiteral("TKT_NET"),
                QStringLiteral(" 1250.00 ")); // a text, as the manual rows give
        row.set(QStringLiteral("TKT_TAX"), QStringLiteral("-0.00005"));
        appendRow(db.connectionText(), row);
    }
    const QList<QVariantList> rows = db.selectRows(
        QStringLiteral("SELECT TKT_AMT, TKT_AMS, TKT_NET, TKT_TAX FROM AMPAX ORDER BY H_INDEX"));
    QCOMPARE(rows.size(), amounts.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        QCOMPARE(currencyFromColumn(rows[i][0]), std::optional<Currency>(amounts[i]));
        QCOMPARE(rows[i][0].toString(), amounts[i].toCanonicalText());
        QCOMPARE(rows[i][1].toString(), QStringLiteral("0.0000"));
        QCOMPARE(rows[i][2].toString(), QStringLiteral("1250.0000"));
        QCOMPARE(rows[i][3].toString(), QStringLiteral("-0.0001"));
    }
    if (engine == TestEngine::Sqlite) {
        // Stored as text, never as a floating-point REAL.
        const QList<QVariantList> types =
            db.selectRows(QStringLiteral("SELECT DISTINCT typeof(TKT_AMT) FROM AMPAX"));
        QCOMPARE(types, QList<QVariantList>({{"text"}}));
    }
}

void TestRowAppender::badAmountSavesNothing_data() {
    addEngineRows();
}

void TestRowAppender::badAmountSavesNothing() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    NewRow row(QStringLiteral("AMPNR"));
    row.set(QStringLiteral("RECLOC"), QStringLiteral("ABC123"));
    row.set(QStringLiteral("TKT_AMS"), QStringLiteral("12O0")); // letter O
    try {
        appendRow(db.connectionText(), row);
        QFAIL("a text that is no amount was accepted");
    } catch (const StoreError& error) {
        QCOMPARE(error.number(), StoreError::kTypeMismatch);
        QVERIFY(error.description().contains(QLatin1String("TKT_AMS")));
    }
    QCOMPARE(db.selectRows(QStringLiteral("SELECT * FROM AMPNR")).size(), 0);
}

void TestRowAppender::failureKeepsEarlierRows_data() {
    addEngineRows();
}

void TestRowAppender::failureKeepsEarlierRows() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    NewRow first(QStringLiteral("AMAMDD"));
    first.set(QStringLiteral("RECLOC"), QStringLiteral("ABC123"));
    appendRow(db.connectionText(), first);
    NewRow broken(QStringLiteral("AMAMDD"));
    broken.set(QStringLiteral("NO_SUCH_COLUMN"), QStringLiteral("x"));
    try {
        appendRow(db.connectionText(), broken);
        QFAIL("an unknown column was accepted");
    } catch (const StoreError& error) {
        QVERIFY(error.number() != 0);
        QVERIFY(!error.description().isEmpty());
    }
    NewRow injected(QStringLiteral("AMAMDD; DROP TABLE AMAMDD"));
    QVERIFY_THROWS_EXCEPTION(StoreError, appendRow(db.connectionText(), injected));
    // The connection is still good, and the first row stayed.
    appendRow(db.connectionText(), first);
    QCOMPARE(db.selectRows(QStringLiteral("SELECT RECLOC FROM AMAMDD")).size(), 2);
}

void TestRowAppender::manyRowsByShape_data() {
    addEngineRows();
}

// Rows of two tables and of two shapes of one table, interleaved, and more
// rows of one shape than one statement may bind: each value lands in its own
// row and column. One row that is no amount saves none of them.
void TestRowAppender::manyRowsByShape() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    const int crlRows = int(kMaxBoundValues / 3) + 7; // three columns: two statements
    QList<NewRow> rows;
    for (int i = 0; i < crlRows; ++i) {
        NewRow& crl = rows.emplace_back(QStringLiteral("AMAMDD"));
        crl.set(QStringLiteral("RECLOC"), QStringLiteral("R%1").arg(i, 5, 10, QLatin1Char('0')));
        crl.set(QStringLiteral("I_INDEX"), QString::number(i % 100));
        crl.set(QStringLiteral("NSRECLOC"), QStringLiteral("N%1").arg(i));
        NewRow& pax = rows.emplace_back(QStringLiteral("AMPAX"));
        pax.set(QStringLiteral("RECLOC"), QStringLiteral("P%1").arg(i, 5, 10, QLatin1Char('0')));
        if (i % 2 == 1)
            pax.setCurrency(QStringLiteral("TKT_AMT"), Currency::fromUnits(i));
    }
    NewRow bad(QStringLiteral("AMPAX"));
    bad.set(QStringLiteral("RECLOC"), QStringLiteral("BAD"));
    bad.set(QStringLiteral("TKT_AMT"), QStringLiteral("N/A"));
    QVERIFY_THROWS_EXCEPTION(StoreError, appendRows(db.connectionText(), rows + QList{bad}));
    QCOMPARE(db.selectRows(QStringLiteral("SELECT * FROM AMAMDD")).size(), 0);
    QCOMPARE(db.selectRows(QStringLiteral("SELECT * FROM AMPAX")).size(), 0);

    appendRows(db.connectionText(), rows);
    const QList<QVariantList> crls = db.selectRows(
        QStringLiteral("SELECT RECLOC, I_INDEX, NSRECLOC FROM AMAMDD ORDER BY RECLOC"));
    QCOMPARE(crls.size(), crlRows);
    const QList<QVariantList> paxs = db.selectRows(
        QStringLiteral("SELECT RECLOC, TKT_AMT FROM AMPAX ORDER BY RECLOC"));
    QCOMPARE(paxs.size(), crlRows);
    for (int i = 0; i < crlRows; ++i) {
        QCOMPARE(crls[i][1].toString(), QString::number(i % 100));
        QCOMPARE(crls[i][2].toString(), QStringLiteral("N%1").arg(i));
        const std::optional<Currency> amount = currencyFromColumn(paxs[i][1]);
        QCOMPARE(amount, i % 2 == 1 ? std::optional(Currency::fromUnits(i)) : std::nullopt);
    }
}

void TestRowAppender::batchedTextsArriveAsGiven_data() {
    addEngineRows();
}

// Writes batched for a server go with their values put into the text: texts
// that would end a quoted value, a statement or a parameter arrive as given.
// A read in the batch's scope sees what was written before it; a duplicate
// key still says so (the cycle takes another serial on it); on a server,
// writes of a batch that ends without a flush never reach the database.
void TestRowAppender::batchedTextsArriveAsGiven() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    const QString connection = db.connectionText();
    const QStringList texts = {u"O'Brien"_s, u"C:\\temp\\"_s, u"x'); DROP TABLE KDOCFILE; --"_s,
                               u"? $1 :a"_s, u"\u00c4\u4e2d\u00e9"_s, QString()};
    const auto row = [](int i, const QString& text) {
        NewRow file(u"KDOCFILE"_s);
        file.set(u"FILE_SHA"_s, u"R%1"_s.arg(i));
        file.set(u"AIRLINE"_s, text.left(2));
        file.set(u"FILE_NM"_s, text);
        return file;
    };
    {
        WriteBatch batch(connection);
        appendRow(connection, row(0, texts[0]));
        const QString count = u"SELECT COUNT(*) FROM KDOCFILE"_s;
        withThreadConnection(connection, [&](QSqlDatabase& conn) {
            PreparedQuery query(conn, count);
            query.exec();
            QVERIFY(query.query().next());
            QCOMPARE(query.query().value(0).toInt(), 1);
        });
        for (int i = 1; i < texts.size(); ++i)
            appendRow(connection, row(i, texts[i]));
        batch.flush();
    }
    const QList<QVariantList> stored =
        db.selectRows(u"SELECT FILE_NM, AIRLINE FROM KDOCFILE ORDER BY FILE_SHA"_s);
    QCOMPARE(stored.size(), texts.size());
    for (int i = 0; i < texts.size(); ++i) {
        QCOMPARE(stored[i][0].toString(), texts[i].isNull() ? QString(u""_s) : texts[i]);
        QCOMPARE(stored[i][1].toString(), texts[i].left(2));
    }

    NewRow version(u"AMAMD"_s);
    version.set(u"RECLOC"_s, u"ABC123"_s);
    version.set(u"SER_NO"_s, u"001"_s);
    appendRow(connection, version);
    try {
        WriteBatch batch(connection);
        appendRow(connection, row(99, u"kept back"_s));
        appendRow(connection, version);
        batch.flush();
        QFAIL("a duplicate key was taken");
    } catch (const StoreError& error) {
        QVERIFY2(error.isDuplicateKey(), qPrintable(error.description()));
    }
    {
        WriteBatch dropped(connection);
        appendRow(connection, row(98, u"never sent"_s));
    }
    appendRow(connection, row(97, u"after"_s));
    // An embedded database has no round trip to save: its writes go at once.
    const QList<QVariantList> kept = engine == TestEngine::PostgreSql
                                         ? QList<QVariantList>({{u"R97"_s}})
                                         : QList<QVariantList>({{u"R97"_s}, {u"R98"_s}, {u"R99"_s}});
    QCOMPARE(db.selectRows(u"SELECT FILE_SHA FROM KDOCFILE WHERE FILE_SHA IN ('R97','R98','R99') "
                           "ORDER BY FILE_SHA"_s),
             kept);
}

void TestRowAppender::workerThreadHasItsOwnConnection_data() {
    addEngineRows();
}

void TestRowAppender::workerThreadHasItsOwnConnection() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_TEST_DATABASE(db, engine, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    const QString text = db.connectionText();
    NewRow row(QStringLiteral("AMERROR"));
    row.set(QStringLiteral("MESSAGE"), QStringLiteral("main"));
    appendRow(text, row); // the main thread's connection is open from here on
    const QStringList before = QSqlDatabase::connectionNames();

    QString workerFailure;
    QThread* worker = QThread::create([&] {
        try {
            for (int i = 0; i < 20; ++i) {
                NewRow line(QStringLiteral("AMERROR"));
                line.set(QStringLiteral("MESSAGE"), QStringLiteral("worker %1").arg(i));
                appendRow(text, line);
            }
        } catch (const StoreError& error) {
            workerFailure = error.description();
        }
    });
    worker->start();
    for (int i = 0; i < 20; ++i)
        appendRow(text, row);
    QVERIFY(worker->wait(60000));
    delete worker;
    QCOMPARE(workerFailure, QString());
    QCOMPARE(db.selectRows(QStringLiteral("SELECT MESSAGE FROM AMERROR")).size(), 41);
    // The worker's connection goes with its thread: its thread-local storage is
    // destroyed as the thread exits, which may come just after wait() returns.
    QTRY_COMPARE(QSqlDatabase::connectionNames().size(), before.size());
}

// After the server dropped the session, the failing statement reports the
// failure (it is not silently repeated), and the next one reconnects.
void TestRowAppender::lostConnectionIsReopened() {
    TestHome home;
    KESTO_TEST_DATABASE(db, TestEngine::PostgreSql, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    NewRow row(QStringLiteral("AMERROR"));
    row.set(QStringLiteral("MESSAGE"), QStringLiteral("before"));
    appendRow(db.connectionText(), row);
    {
        QSqlDatabase killer =
            QSqlDatabase::addDatabase(QStringLiteral("QODBC"), QStringLiteral("killer"));
        killer.setDatabaseName(translateConnectionText(db.connectionText()).databaseName);
        QVERIFY(killer.open());
        QSqlQuery query(killer);
        QVERIFY2(query.exec(QStringLiteral(
                     "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                     "WHERE datname = current_database() AND pid <> pg_backend_pid()")),
                 qPrintable(query.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("killer"));
    row.set(QStringLiteral("MESSAGE"), QStringLiteral("after"));
    QVERIFY_THROWS_EXCEPTION(StoreError, appendRow(db.connectionText(), row));
    appendRow(db.connectionText(), row);
    QCOMPARE(db.selectRows(QStringLiteral("SELECT MESSAGE FROM AMERROR ORDER BY MESSAGE")),
             QList<QVariantList>({{"after"}, {"before"}}));
}

// On SQLite the writes bypass Qt's binding: each value must land with the
// type Qt's driver gives it, and a failure must carry Qt's number and text,
// which decide whether a serial was taken by another gateway.
void TestRowAppender::sqliteWritesAsQtBinds() {
    TestHome home;
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    withThreadConnection(db.connectionText(), [](QSqlDatabase& connection) {
        const auto rows = [&](const QString& sql) { return firstColumn(connection, sql); };
        rows(u"CREATE TEMP TABLE DIRECT (V, K UNIQUE)"_s);
        rows(u"CREATE TEMP TABLE BYQT (V, K UNIQUE)"_s);
        // Texts beyond ASCII, and one longer than the texts' first buffer.
        const QVariantList values{u"text"_s,
                                  QString(),
                                  u""_s,
                                  u"\u00c4\u4e2d\u00e9 \U0001F600"_s,
                                  QString(3000, QChar(0x4e2d)),
                                  42,
                                  qint64(1) << 40,
                                  2.5,
                                  QByteArray("\0bytes", 6),
                                  true,
                                  QDate(2026, 12, 8)};
        QSqlQuery byQt(connection);
        QVERIFY(byQt.prepare(u"INSERT INTO BYQT (V, K) VALUES (?, ?)"_s));
        for (qsizetype i = 0; i < values.size(); ++i) {
            runOrBatch(connection, u"INSERT INTO DIRECT (V, K) VALUES (?, ?)"_s, {values[i], i});
            byQt.bindValue(0, values[i]);
            byQt.bindValue(1, i);
            QVERIFY(byQt.exec());
        }
        const QString asStored = u"SELECT typeof(V) || ':' || quote(V) FROM %1 ORDER BY K"_s;
        QCOMPARE(rows(asStored.arg(u"DIRECT"_s)), rows(asStored.arg(u"BYQT"_s)));
        QCOMPARE(rows(asStored.arg(u"DIRECT"_s)).mid(0, 3),
                 QStringList({u"text:'text'"_s, u"null:NULL"_s, u"text:''"_s}));

        byQt.bindValue(0, u"again"_s);
        byQt.bindValue(1, 0);
        QVERIFY(!byQt.exec());
        const StoreError expected = StoreError::fromSqlError(byQt.lastError());
        try {
            runOrBatch(connection, u"INSERT INTO DIRECT (V, K) VALUES (?, ?)"_s, {u"again"_s, 0});
            QFAIL("a taken key was accepted");
        } catch (const StoreError& error) {
            QCOMPARE(error.number(), expected.number());
            QCOMPARE(error.description(), expected.description().replace(u"BYQT"_s, u"DIRECT"_s));
            QVERIFY(error.isDuplicateKey());
        }
        // The statement failed and was forgotten; the next use prepares it again.
        runOrBatch(connection, u"INSERT INTO DIRECT (V, K) VALUES (?, ?)"_s, {u"after"_s, 100});
        QCOMPARE(rows(u"SELECT count(*) FROM DIRECT"_s), QStringList(u"12"_s));
    });
}

// A server's batch writes its values into the text; what is stored must be
// what binding them through Qt and psqlODBC stores, whichever way the server
// reads a backslash in a quoted text.
void TestRowAppender::serverBatchWritesAsQtBinds() {
    TestHome home;
    KESTO_TEST_DATABASE(db, TestEngine::PostgreSql, home.folder(QStringLiteral("vela_data")),
                        TestDatabase::Content::Schema);
    const QList<QVariantList> values{
        {u"text"_s, 1},
        {QString(), QString()},
        {u""_s, 0},
        {u"O'Brien"_s, -5},
        {u"x'); DROP TABLE BYQT; --"_s, qint64(1) << 40},
        {u"? $1 $$ :a {fn now()} /* -- ;"_s, u"17"_s},
        {u"\u00c4\u4e2d\u00e9"_s, QVariant(QMetaType::fromType<int>())},
        {u"C:\\temp\\"_s, 7},
        {QString(u"a\0b"_s), 8},
        {42, u"-3"_s},
    };
    const QString connectionText = db.connectionText();
    withThreadConnection(connectionText, [&](QSqlDatabase& connection) {
        const auto rows = [&](const QString& sql) { return firstColumn(connection, sql); };
        for (const QString& conforming : {u"on"_s, u"off"_s}) {
            rows(u"SET standard_conforming_strings = "_s + conforming);
            rows(u"DROP TABLE IF EXISTS DIRECT, BYQT"_s);
            rows(u"CREATE TEMP TABLE DIRECT (V text, N bigint, K int UNIQUE)"_s);
            rows(u"CREATE TEMP TABLE BYQT (V text, N bigint, K int UNIQUE)"_s);
            // A quoted '?' in the text is no place for a value, and a negative
            // number after a minus sign must not start a comment.
            const QString insert = u"INSERT INTO %1 (V, N, K) VALUES (?, ?, ?)"_s;
            const QString update = u"UPDATE %1 SET V = V || '?', N = 10-? WHERE K = ?"_s;
            for (qsizetype k = 0; k < values.size(); ++k) {
                QSqlQuery byQt(connection);
                QVERIFY(byQt.prepare(insert.arg(u"BYQT"_s)));
                byQt.addBindValue(values[k][0]);
                byQt.addBindValue(values[k][1]);
                byQt.addBindValue(k);
                QVERIFY2(byQt.exec(), qPrintable(byQt.lastError().text()));
                QVERIFY(byQt.prepare(update.arg(u"BYQT"_s)));
                byQt.addBindValue(-5);
                byQt.addBindValue(k);
                QVERIFY2(byQt.exec(), qPrintable(byQt.lastError().text()));

                WriteBatch batch(connectionText);
                runOrBatch(connection, insert.arg(u"DIRECT"_s), {values[k][0], values[k][1], k});
                runOrBatch(connection, update.arg(u"DIRECT"_s), {-5, k});
                batch.flush();
            }
            const QString asStored =
                u"SELECT quote_nullable(V) || ':' || quote_nullable(N) FROM %1 ORDER BY K"_s;
            const QStringList direct = rows(asStored.arg(u"DIRECT"_s));
            QCOMPARE(direct.size(), values.size());
            QCOMPARE(direct, rows(asStored.arg(u"BYQT"_s)));
            QCOMPARE(direct.mid(3, 2), QStringList({u"'O''Brien?':'15'"_s,
                                                    u"'x''); DROP TABLE BYQT; --?':'15'"_s}));
        }
    });
}

QTEST_GUILESS_MAIN(TestRowAppender)
#include "test_rowappender.moc"
