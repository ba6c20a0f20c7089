#include "currency.h"
#include "gatewayrun.h"
#include "mirfiles.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

// The document ledger end to end: real `kesto run --once` processes over
// real MIR files and over files laid out as real ones carry them, on both
// engines, then the documents, their states and the daily report as `kesto
// documents` and `kesto report` print them; a crash between a version and
// its filing; the backfill from the archive, and the reading again of what
// an older reader recorded.
class TestDocuments : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void statesFollowTheEventsInAnyOrder_data() { addEngineRows(); }
    void statesFollowTheEventsInAnyOrder();
    void crashAfterTheVersionRecordsDocumentsOnce_data() { addEngineRows(); }
    void crashAfterTheVersionRecordsDocumentsOnce();
    void problemRowSurvivesAKill_data() { addEngineRows(); }
    void problemRowSurvivesAKill();
    void refusedDocumentRowsNeverBlockTheBooking_data() { addEngineRows(); }
    void refusedDocumentRowsNeverBlockTheBooking();
    void refusedLookUpNeverBlocksTheBooking();
    void readingWrittenAfterTheLookUp();
    void readingsMetAgain_data() { addEngineRows(); }
    void readingsMetAgain();
    void realFilesThroughRunAndImport_data() { addEngineRows(); }
    void realFilesThroughRunAndImport();
    void olderReadingsAreReadAgainAfterTheUpgrade();
    void archiveImportRecordsOnlyWhatIsNew();
    void databaseWithoutTheTablesSaysSoOnce();
    void placeholderLocatorRunsOut_data() { addEngineRows(); }
    void placeholderLocatorRunsOut();
};

namespace {

using namespace mirfiles;

const QString kDay = u"2026-12-07"_s;
const QString kCard = u"4111111111114242"_s;
const Taxes kTaxes{{u"300.00"_s, u"TW"_s}};

// A refund header: the airline is blank, the documents come from A23.
Header refundHeader(QChar command = u'R') {
    Header head = header(u"ZZZZZZ"_s, command);
    head.airline = u"  "_s;
    head.airlineNumber = u"   "_s;
    return head;
}

QByteArray refundFile(const QString& name, const QString& document, const QString& total,
                      const QStringList& more = {}) {
    Refund refund;
    refund.document = document;
    refund.passenger = name;
    refund.base = total;
    refund.fareUsed = u"0.00"_s;
    refund.total = total;
    QStringList lines{passenger(name, QString(), 1)};
    return mirFile(refundHeader(), lines + mirfiles::refund(refund) + more);
}

// Each run's files; a run's files may be read in any order.
QList<QMap<QString, QByteArray>> scenarioRuns() {
    Refund cancelled;
    cancelled.document = u"2971234500030"_s;
    cancelled.passenger = u"WU/DAN MR"_s;
    Refund alone;
    alone.document = u"2971234500060"_s;
    alone.passenger = u"SU/GAO MR"_s;
    alone.base = alone.total = u"300.00"_s;
    alone.fareUsed = u"0.00"_s;
    return {
        {
            // Two passengers, the first on a conjunction ticket, paid by card.
            {u"A_ISSUE.MIR"_s,
             mirFile(header(u"AAA001"_s), {passenger(u"DOE/JOHN MR"_s, u"1234500001"_s, 2, u"01"_s),
                                           passenger(u"DOE/JANE MRS"_s, u"1234500003"_s, 1, u"02"_s),
                                           fare(u"01"_s, u"1250.50"_s, kTaxes),
                                           fare(u"02"_s, u"980.00"_s, kTaxes),
                                           payment(u"CC"_s, u"2230.50"_s, u"VI"_s, kCard)})},
            // A void that arrives before its issue, with the total it voids.
            {u"B_VOID.MIR"_s, mirFile(header(u"ZZZZZZ"_s, u'V'),
                                      {passenger(u"ROE/BOB MR"_s, u"1234500010"_s),
                                       fare(u"01"_s, u"900.00"_s)})},
            {u"C_ISSUE.MIR"_s,
             mirFile(header(u"AAA003"_s), {passenger(u"CHEN/CAROL MS"_s, u"1234500020"_s, 1, u"01"_s),
                                           passenger(u"WU/DAN MR"_s, u"1234500030"_s, 1, u"02"_s),
                                           fare(u"01"_s, u"800.00"_s), fare(u"02"_s, u"500.00"_s)})},
            {u"D_ISSUE.MIR"_s, mirFile(header(u"AAA004"_s), {passenger(u"HO/EVE MS"_s, u"1234500040"_s),
                                                             fare(u"01"_s, u"1000.00"_s)})},
            // An EMD issue: its A02 has no document, its A29 lines do.
            {u"E_EMD.MIR"_s,
             mirFile(header(u"AAA005"_s, u'F'),
                     QStringList{passenger(u"LIN/MEI MS"_s, QString(), 0)} +
                         emd(u"LIN/MEI MS"_s, u"2975555500001"_s, u"60.00"_s, u"2971234500040"_s) +
                         emd(u"LIN/MEI MS"_s, u"2975555500002"_s, u"40.00"_s))},
        },
        {
            {u"F_VOID.MIR"_s, mirFile(header(u"ZZZZZZ"_s, u'V'),
                                      {passenger(u"DOE/JANE MRS"_s, u"1234500003"_s),
                                       fare(u"01"_s, u"980.00"_s)})},
            {u"G_ISSUE.MIR"_s, mirFile(header(u"AAA007"_s), {passenger(u"ROE/BOB MR"_s, u"1234500010"_s),
                                                             fare(u"01"_s, u"900.00"_s)})},
            // A11's amount is what was paid out, not the refund's total.
            {u"H_REFUND.MIR"_s, refundFile(u"CHEN/CAROL MS"_s, u"2971234500020"_s, u"750.00"_s,
                                           {payment(u"S"_s, u"700.00"_s)})},
            {u"I_REFUND.MIR"_s, refundFile(u"WU/DAN MR"_s, u"2971234500030"_s, u"500.00"_s)},
            {u"J_EXCHANGE.MIR"_s,
             mirFile(header(u"AAA004"_s, u'H', true),
                     QStringList{passenger(u"HO/EVE MS"_s, u"1234500041"_s, 1, u"01"_s, u"01"_s),
                                 fare(u"01"_s, u"1200.00"_s)} +
                         exchange(u"01"_s, u"07DEC26"_s, {u"2971234500040"_s}, u"100000"_s) +
                         QStringList{payment(u"S"_s, u"200.00"_s)})},
            // An EMD void: the voided EMD's serial stands in A02.
            {u"K_EMDVOID.MIR"_s, mirFile(header(u"AAA005"_s, u'Z'),
                                         {passenger(u"LIN/MEI MS"_s, u"5555500002"_s),
                                          fare(u"01"_s, u"40.00"_s)})},
            // A refund without a passenger: the booking writers refuse it,
            // so it makes no version, yet its document is recorded.
            {u"M_REFUND.MIR"_s, mirFile(refundHeader(), mirfiles::refund(alone))},
        },
        {
            {u"L_CANCEL.MIR"_s,
             mirFile(refundHeader(u'C'), QStringList{passenger(u"WU/DAN MR"_s, QString(), 1)} +
                                             mirfiles::refund(cancelled))},
        },
    };
}

struct Command {
    int exitCode = -1;
    QByteArray out, err;
};

Command kesto(const GatewayHome& gateway, const QStringList& args) {
    QProcess process;
    process.setProcessEnvironment(gateway.environment());
    process.start(QStringLiteral(KESTO_BIN_DIR "/kesto"), args);
    Command command;
    if (!process.waitForFinished(60000))
        return command;
    command.exitCode = process.exitCode();
    command.out = process.readAllStandardOutput();
    command.err = process.readAllStandardError();
    return command;
}

// `kesto documents --json`, by document number.
QMap<QString, QJsonObject> documents(const GatewayHome& gateway) {
    const Command command = kesto(gateway, {u"documents"_s, u"--json"_s});
    if (command.exitCode != 0)
        qWarning("kesto documents: %s", command.err.constData());
    QMap<QString, QJsonObject> byNumber;
    for (const QJsonValue& value : QJsonDocument::fromJson(command.out).array())
        byNumber.insert(value[u"number"_s].toString(), value.toObject());
    return byNumber;
}

QStringList transactions(const QJsonObject& document) {
    QStringList list;
    for (const QJsonValue& event : document[u"events"_s].toArray())
        list.append(event[u"transaction"_s].toString());
    return list;
}

int count(const GatewayHome& gateway, const QString& table) {
    return gateway.db().selectRows(u"SELECT COUNT(*) FROM "_s + table)[0][0].toInt();
}

// The error rows of the document ledger: a section it could not read, or its rows refused.
int documentErrors(const GatewayHome& gateway) {
    return count(gateway, u"AMERROR WHERE MESSAGE LIKE '%[Documents]%'"_s);
}

bool runAll(const GatewayHome& gateway, const QMap<QString, QByteArray>& files) {
    dropFiles(gateway.downloadFolder(), files);
    const RunEnd end = runOnce(gateway.environment());
    if (end.killed || end.exitCode != 0)
        qWarning("kesto run: %s", qPrintable(end.err));
    return !end.killed && end.exitCode == 0 && gateway.waitingFiles().isEmpty();
}

} // namespace

void TestDocuments::statesFollowTheEventsInAnyOrder() {
    QFETCH(TestEngine, engine);
    GatewayHome gateway(engine);
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    QVERIFY2(gateway.failure().isEmpty(), qPrintable(gateway.failure()));
    for (const QMap<QString, QByteArray>& run : scenarioRuns())
        QVERIFY(runAll(gateway, run));

    const QMap<QString, QJsonObject> docs = documents(gateway);
    const auto state = [&](const char* number) {
        return docs.value(QLatin1String(number))[u"state"_s].toString();
    };
    // Issue then void, and void then issue.
    QCOMPARE(state("2971234500003"), u"voided"_s);
    QCOMPARE(state("2971234500010"), u"voided"_s);
    QCOMPARE(transactions(docs[u"2971234500010"_s]), (QStringList{u"void"_s, u"issue"_s}));
    // A refund stands; a cancelled refund undoes it.
    QCOMPARE(state("2971234500020"), u"refunded"_s);
    QCOMPARE(docs[u"2971234500020"_s][u"events"_s][1][u"amount"_s].toString(), u"750.00"_s);
    QCOMPARE(state("2971234500030"), u"issued"_s);
    QCOMPARE(transactions(docs[u"2971234500030"_s]),
             (QStringList{u"issue"_s, u"refund"_s, u"refund-cancel"_s}));
    // An exchange links the new ticket to its original.
    QCOMPARE(state("2971234500040"), u"exchanged"_s);
    QCOMPARE(docs[u"2971234500041"_s][u"original"_s].toString(), u"2971234500040"_s);
    QCOMPARE(docs[u"2971234500041"_s][u"total"_s].toString(), u"1200.00"_s);
    // EMDs.
    QCOMPARE(docs[u"2975555500001"_s][u"kind"_s].toString(), u"emd"_s);
    QCOMPARE(state("2975555500001"), u"issued"_s);
    QCOMPARE(state("2975555500002"), u"voided"_s);
    // The first passenger's conjunction ticket and exact amounts; the second passenger.
    const QJsonObject john = docs[u"2971234500001"_s];
    QCOMPARE(john[u"passenger"_s].toString(), u"DOE/JOHN MR"_s);
    QCOMPARE(john[u"total"_s].toString(), u"1250.50"_s);
    QCOMPARE(john[u"currency"_s].toString(), u"TWD"_s);
    QCOMPARE(john[u"airline"_s].toString(), u"CI"_s);
    QCOMPARE(john[u"issued"_s].toString(), kDay);
    QCOMPARE(john[u"original"_s].type(), QJsonValue::Null);
    QCOMPARE(docs[u"2971234500003"_s][u"passenger"_s].toString(), u"DOE/JANE MRS"_s);
    QVERIFY(!docs.contains(u"2971234500002"_s)); // a conjunction is one document
    QCOMPARE(
        gateway.db().selectRows(u"SELECT CONJ_LAST FROM KDOCEVT WHERE DOC_NO = '2971234500001'"_s),
        (QList<QVariantList>{{u"2971234500002"_s}}));
    // The events name the version stored from their file.
    const QJsonObject issue = john[u"events"_s][0].toObject();
    QCOMPARE(issue[u"file"_s].toString(), u"A_ISSUE.MIR"_s);
    QCOMPARE(issue[u"recloc"_s].toString(), u"AAA001"_s);
    QVERIFY(!issue[u"ser_no"_s].toString().isEmpty());

    // An EMD names the ticket it belongs to; an exchange what it collected
    // and the original's total and date; a refund what fare was used.
    QCOMPARE(gateway.db().selectRows(
                 u"SELECT RELATED_DOC FROM KDOCEVT WHERE DOC_NO = '2975555500001'"_s),
             (QList<QVariantList>{{u"2971234500040"_s}}));
    QCOMPARE(docs[u"2971234500041"_s][u"events"_s][0][u"collected"_s].toString(), u"200.00"_s);
    const QJsonObject given = docs[u"2971234500040"_s][u"events"_s][1].toObject();
    QCOMPARE(given[u"transaction"_s].toString(), u"exchange"_s);
    QCOMPARE(given[u"amount"_s].toString(), u"1000.00"_s);
    QCOMPARE(given[u"document_date"_s].toString(), kDay);
    QCOMPARE(docs[u"2971234500020"_s][u"events"_s][1][u"fare_used"_s].toString(), u"0.00"_s);

    // The refund the writers refused: no version, its document recorded all the same.
    QCOMPARE(gateway.db()
                 .selectRows(u"SELECT COUNT(*) FROM AMAMD WHERE FILE_NM = 'M_REFUND.MIR'"_s)[0][0]
                 .toInt(),
             0);
    const QJsonObject lone = docs[u"2971234500060"_s];
    QCOMPARE(lone[u"state"_s].toString(), u"refunded"_s);
    QCOMPARE(lone[u"events"_s][0][u"ser_no"_s].type(), QJsonValue::Null);
    QCOMPARE(lone[u"total"_s].type(), QJsonValue::Null);
    QCOMPARE(lone[u"airline"_s].toString(), u"297"_s); // a refund leaves the code blank

    // The card number is stored masked: its last four digits and nothing more.
    QCOMPARE(gateway.db().selectRows(u"SELECT FOP_TP, CARD_LAST4, AMOUNT FROM KDOCFOP"_s).size(),
             3);
    for (const QString& table : {u"KDOCFILE"_s, u"KDOCEVT"_s, u"KDOCFOP"_s, u"AMERROR"_s}) {
        for (const QVariantList& row : gateway.db().selectRows(u"SELECT * FROM "_s + table)) {
            for (const QVariant& value : row)
                QVERIFY2(!value.toString().contains(u"11114242"_s), qPrintable(table));
        }
    }
    QCOMPARE(gateway.db().selectRows(u"SELECT CARD_LAST4 FROM KDOCFOP WHERE FOP_TP = 'CC'"_s),
             (QList<QVariantList>{{u"4242"_s}}));

    // Each file once, and nothing the reader could not read.
    QCOMPARE(count(gateway, u"KDOCFILE"_s), 13);
    QCOMPARE(documentErrors(gateway), 0);

    // The daily report: issued, voided, refunded and the net per airline and currency.
    const Command report =
        kesto(gateway, {u"report"_s, u"daily"_s, u"--date"_s, kDay, u"--json"_s});
    QCOMPARE(report.exitCode, 0);
    const QJsonArray lines = QJsonDocument::fromJson(report.out)[u"lines"_s].toArray();
    QCOMPARE(lines.size(), 2);
    const QJsonObject alone = lines[0].toObject();
    QCOMPARE(alone[u"airline"_s].toString(), u"297"_s);
    QCOMPARE(alone[u"refunded"_s][u"amount"_s].toString(), u"300.00"_s);
    const QJsonObject ci = lines[1].toObject();
    QCOMPARE(ci[u"airline"_s].toString(), u"CI"_s);
    // 1250.50 + 980 + 800 + 500 + 1000 + 60 + 40 + 900 + 1200
    QCOMPARE(ci[u"issued"_s][u"count"_s].toInt(), 9);
    QCOMPARE(ci[u"issued"_s][u"total"_s].toString(), u"6730.50"_s);
    // Jane's 980, Bob's 900 and the EMD's 40, as their voids give them.
    QCOMPARE(ci[u"voided"_s][u"count"_s].toInt(), 3);
    QCOMPARE(ci[u"voided"_s][u"total"_s].toString(), u"1920.00"_s);
    QCOMPARE(ci[u"refunded"_s][u"count"_s].toInt(), 1);
    QCOMPARE(ci[u"refunded"_s][u"amount"_s].toString(), u"750.00"_s);
    QCOMPARE(ci[u"net"_s].toString(), u"4060.50"_s);
    const Command text = kesto(gateway, {u"report"_s, u"daily"_s, u"--date"_s, kDay});
    QVERIFY(text.out.contains("CI       TWD"));

    // The filters and the other forms of the list.
    const Command one =
        kesto(gateway, {u"documents"_s, u"--number"_s, u"2971234500041"_s, u"--json"_s});
    QCOMPARE(QJsonDocument::fromJson(one.out).array().size(), 1);
    const Command otherDay =
        kesto(gateway, {u"documents"_s, u"--date"_s, u"2026-12-08"_s, u"--json"_s});
    QCOMPARE(QJsonDocument::fromJson(otherDay.out).array().size(), 0);
    const Command csv = kesto(gateway, {u"documents"_s, u"--csv"_s});
    QCOMPARE(csv.out.count('\n'), 1 + docs.size());
    QVERIFY(csv.out.contains("2971234500041,ticket,issued,HO/EVE MS,CI,2026-12-07,TWD,1200.00,"
                             "2971234500040,issue J_EXCHANGE.MIR\n"));
    QCOMPARE(kesto(gateway, {u"documents"_s, u"--date"_s, u"7 Dec"_s}).exitCode, 2);
}

// Killed after the version's commit, before the file is filed: the next run
// files it (or stores it again), and its documents are there once.
void TestDocuments::crashAfterTheVersionRecordsDocumentsOnce() {
    QFETCH(TestEngine, engine);
    GatewayHome gateway(engine);
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    dropFiles(gateway.downloadFolder(), scenarioRuns().first());
    const RunEnd crashed = runOnce(gateway.environment({{u"KESTO_CRASH_AT"_s, u"after-commit"_s}}));
    QVERIFY(crashed.killed);
    // On SQLite the version shares its transaction with the next ones of the
    // drain, and the kill takes it back; a server commits it on its own.
    const bool kept = engine != TestEngine::Sqlite;
    QCOMPARE(count(gateway, u"KDOCFILE"_s), kept ? 1 : 0);
    QCOMPARE(count(gateway, u"KDOCEVT"_s) > 0, kept);
    QVERIFY(runAll(gateway, {}));
    QCOMPARE(count(gateway, u"KDOCFILE"_s), 5);
    QCOMPARE(count(gateway, u"KDOCEVT"_s), 8); // 2 + 1 + 2 + 1 tickets, 2 EMDs
    QCOMPARE(documentErrors(gateway), 0);
    QCOMPARE(gateway.db()
                 .selectRows(u"SELECT COUNT(*) FROM KDOCEVT GROUP BY FILE_SHA, EVT_NO "
                             "HAVING COUNT(*) > 1"_s)
                 .size(),
             0);
}

// A reading that met a problem has its error row written with its rows: a
// kill right after their commit keeps it or takes it back with them, and
// the restart leaves exactly one.
void TestDocuments::problemRowSurvivesAKill() {
    QFETCH(TestEngine, engine);
    GatewayHome gateway(engine);
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    dropFiles(gateway.downloadFolder(),
              {{u"DAMAGED.MIR"_s, mirFile(header(u"DMG001"_s),
                                          {passenger(u"DOE/JOHN MR"_s, u"1234500001"_s),
                                           fare(u"01"_s, u"12X0.50"_s)})}});
    const RunEnd crashed = runOnce(gateway.environment({{u"KESTO_CRASH_AT"_s, u"after-commit"_s}}));
    QVERIFY(crashed.killed);
    // On SQLite the kill takes back the version's shared transaction.
    QCOMPARE(documentErrors(gateway), engine == TestEngine::Sqlite ? 0 : 1);
    QVERIFY(runAll(gateway, {}));
    QCOMPARE(documentErrors(gateway), 1);
    QCOMPARE(gateway.backedUpFiles(), QStringList{u"DAMAGED.MIR"_s});
}

// A table of the ledger that refuses rows: every booking is stored as before,
// the file's document rows are all or none, and one error row says why.
void TestDocuments::refusedDocumentRowsNeverBlockTheBooking() {
    QFETCH(TestEngine, engine);
    GatewayHome gateway(engine);
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    gateway.db().selectRows(u"DROP TABLE KDOCFOP"_s);
    QVERIFY(runAll(gateway, scenarioRuns().first()));
    QCOMPARE(count(gateway, u"AMAMD"_s), 5);
    QCOMPARE(count(gateway, u"KDOCFILE"_s), 4); // all but the file paid by card
    QCOMPARE(count(gateway, u"KDOCFILE WHERE FILE_NM = 'A_ISSUE.MIR'"_s), 0);
    QCOMPARE(count(gateway, u"KDOCEVT WHERE DOC_NO = '2971234500001'"_s), 0);
    QCOMPARE(documentErrors(gateway), 1);
}

// On a server a file's reading is looked up with the ledger's reads; when
// the server refuses that message, the ledger is read alone and the look-up
// goes in one message with the documents' savepoint: refused again, it is
// undone to that savepoint, and every booking is stored as before.
void TestDocuments::refusedLookUpNeverBlocksTheBooking() {
    GatewayHome gateway(TestEngine::PostgreSql);
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    // The table keeps all its columns, but a digest is no value of its key.
    gateway.db().selectRows(u"ALTER TABLE KDOCFILE ALTER COLUMN FILE_SHA TYPE bigint USING 0"_s);
    QVERIFY(runAll(gateway, scenarioRuns().first()));
    QCOMPARE(count(gateway, u"AMAMD"_s), 5);
    QCOMPARE(documentErrors(gateway), 5);
}

namespace {

QByteArray corpusFile(const QString& name) {
    return readFileBytes(QStringLiteral(KESTO_SOURCE_DIR "/tests/data/mir-corpus/") + name);
}

// The real files as the GDS sent them, as LF and CR LF copies, and an LF
// copy that lost its closing form feed, which the interpreter leaves
// uninterpreted (its declared size no longer matches).
QMap<QString, QByteArray> corpusCopies(const QStringList& names) {
    QMap<QString, QByteArray> files;
    for (const QString& name : names) {
        const QByteArray bytes = corpusFile(name + u".mir"_s);
        files.insert(name + u".CR.MIR"_s, bytes);
        files.insert(name + u".LF.MIR"_s, QByteArray(bytes).replace('\r', '\n'));
        files.insert(name + u".CRLF.MIR"_s, QByteArray(bytes).replace("\r", "\r\n"));
    }
    return files;
}

// What the ledger holds of each file: its transaction, its events and
// whether the reader met a problem, by file name.
QMap<QString, QString> readings(const GatewayHome& gateway) {
    QMap<QString, QString> byFile;
    for (const QVariantList& row : gateway.db().selectRows(
             u"SELECT f.FILE_NM, f.TRANS, f.PROBLEMS, e.DOC_NO, e.DOC_KIND, e.TRANS, e.PAX_NM, "
             "e.CURRENCY, e.AMOUNT FROM KDOCFILE f LEFT JOIN KDOCEVT e ON e.FILE_SHA = "
             "f.FILE_SHA ORDER BY f.FILE_NM, e.EVT_NO"_s)) {
        QString& text = byFile[row[0].toString()];
        if (text.isEmpty())
            text = row[1].toString() + (row[2].toString().isEmpty() ? u""_s : u" problem"_s);
        if (!row[3].isNull())
            text += u" | %1 %2 %3 %4 %5 %6"_s.arg(row[3].toString(), row[4].toString(),
                                                 row[5].toString(), row[6].toString(),
                                                 row[7].toString())
                        .arg(Currency::fromText(row[8].toString())
                                 .value_or(Currency::fromUnits(-1))
                                 .toCanonicalText());
    }
    return byFile;
}

} // namespace

// The same bytes under another name make another version, and the reading
// the first made stays as it is; a reading an older reader made is replaced,
// keeping where the gateway first met the file; on a server, a savepoint
// after which nothing was written is left to the version's commit.
void TestDocuments::readingsMetAgain() {
    QFETCH(TestEngine, engine);
    GatewayHome gateway(engine);
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    const QByteArray bytes = corpusFile(u"void-ticket.mir"_s);
    QVERIFY(runAll(gateway, {{u"FIRST.MIR"_s, bytes}}));
    const QList<QVariantList> first = gateway.db().selectRows(
        u"SELECT FILE_NM, RECLOC || '/' || SER_NO, DATE_1, TIME_1 FROM KDOCFILE"_s);
    QCOMPARE(first.size(), 1);
    // The file's digest as sha256sum gives it.
    QCOMPARE(gateway.db().selectRows(u"SELECT FILE_SHA FROM KDOCFILE"_s),
             (QList<QVariantList>{
                 {u"15ca2999f46203b222e0a209b781ec3298526b59f7a3f536abdeba9539757e94"_s}}));
    const int events = count(gateway, u"KDOCEVT"_s);
    QVERIFY(events > 0);

    QVERIFY(runAll(gateway, {{u"AGAIN.MIR"_s, bytes}}));
    QCOMPARE(count(gateway, u"AMAMD"_s), 2);
    QCOMPARE(gateway.db().selectRows(
                 u"SELECT FILE_NM, RECLOC || '/' || SER_NO, DATE_1, TIME_1 FROM KDOCFILE"_s),
             first);
    QCOMPARE(count(gateway, u"KDOCEVT"_s), events);

    gateway.db().selectRows(u"UPDATE KDOCFILE SET READER_VER = 1, TRANS = 'other'"_s);
    gateway.db().selectRows(u"DELETE FROM KDOCEVT"_s);
    QVERIFY(runAll(gateway, {{u"THIRD.MIR"_s, bytes}}));
    QCOMPARE(count(gateway, u"AMAMD"_s), 3);
    const QString third =
        gateway.db().selectRows(u"SELECT MAX(RECLOC || '/' || SER_NO) FROM AMAMD"_s)[0][0].toString();
    QCOMPARE(gateway.db().selectRows(u"SELECT FILE_NM, TRANS, RECLOC || '/' || SER_NO, "
                                     "READER_VER || '' FROM KDOCFILE"_s),
             (QList<QVariantList>{{u"FIRST.MIR"_s, u"void"_s, third, u"2"_s}}));
    QCOMPARE(count(gateway, u"KDOCEVT"_s), events);
    QCOMPARE(count(gateway, u"AMERROR"_s), 0);
}

// On a server the file's reading is looked up before the version's
// transaction, and the rows of a file found unrecorded go without another
// look-up. A reading written in between (here by a trigger, in the version's
// own transaction, as another gateway or an import might) makes the key
// refuse them: the booking is stored, the reading kept once, and no error
// row written.
void TestDocuments::readingWrittenAfterTheLookUp() {
    GatewayHome gateway(TestEngine::PostgreSql);
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    const QByteArray bytes = corpusFile(u"void-ticket.mir"_s);
    const QString sha = u"15ca2999f46203b222e0a209b781ec3298526b59f7a3f536abdeba9539757e94"_s;
    gateway.db().selectRows(u"CREATE FUNCTION meanwhile() RETURNS trigger AS $$ BEGIN "
                            "INSERT INTO KDOCFILE (FILE_SHA, FILE_NM, READER_VER, SOURCE) "
                            "VALUES ('%1', 'MEANWHILE.MIR', 2, 'I'); RETURN NEW; END $$ "
                            "LANGUAGE plpgsql"_s.arg(sha));
    gateway.db().selectRows(u"CREATE TRIGGER meanwhile AFTER INSERT ON AMAMD "
                            "FOR EACH ROW EXECUTE FUNCTION meanwhile()"_s);
    QVERIFY(runAll(gateway, {{u"VOID.MIR"_s, bytes}}));
    QCOMPARE(count(gateway, u"AMAMD"_s), 1);
    QCOMPARE(gateway.db().selectRows(u"SELECT FILE_NM FROM KDOCFILE"_s),
             (QList<QVariantList>{{u"MEANWHILE.MIR"_s}}));
    QCOMPARE(count(gateway, u"KDOCEVT"_s), 0);
    QCOMPARE(count(gateway, u"AMERROR"_s), 0);
    QVERIFY(gateway.waitingFiles().isEmpty());
}

// Real files through `kesto run`, then through --import into a database of
// their own: each copy read to what the corpus says, by both, with an error
// row only for the EMD issues that carry no A29; a day of the voids alone
// leaves `kesto status` healthy.
void TestDocuments::realFilesThroughRunAndImport() {
    QFETCH(TestEngine, engine);
    GatewayHome gateway(engine);
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    QMap<QString, QByteArray> voids = corpusCopies({u"void-ticket"_s, u"void-emd"_s});
    QByteArray cutShort = voids[u"void-ticket.LF.MIR"_s];
    voids.insert(u"void-ticket.NOFF.MIR"_s, cutShort.chopped(1));
    QVERIFY(runAll(gateway, voids));
    QCOMPARE(count(gateway, u"AMERROR"_s), 0);
    QCOMPARE(kesto(gateway, {u"status"_s}).exitCode, 0);
    // The copy the interpreter left made no version, yet its document counts.
    QCOMPARE(count(gateway, u"KDOCFILE WHERE FILE_NM = 'void-ticket.NOFF.MIR' AND RECLOC = ''"_s),
             1);
    QCOMPARE(count(gateway, u"AMAMD"_s), 6);

    const QMap<QString, QByteArray> emds = corpusCopies({u"emd-issue-bag"_s, u"emd-issue-no-a29"_s});
    QVERIFY(runAll(gateway, emds));
    QCOMPARE(documentErrors(gateway), 6);
    QCOMPARE(count(gateway, u"AMERROR"_s), 6);
    QCOMPARE(count(gateway, u"AMAMD"_s), 12);

    const QString ticket = u"void | 0649903113763 ticket void SAMPLOVA/TESTINA KZT 18643.0000"_s;
    const QString emd = u"emd-void | 0649991136996 emd void SAMPLOVA/TESTINA KZT 12780.0000"_s;
    QMap<QString, QString> expected;
    for (const QString& copy : {u"CR"_s, u"LF"_s, u"CRLF"_s}) {
        expected.insert(u"void-ticket.%1.MIR"_s.arg(copy), ticket);
        expected.insert(u"void-emd.%1.MIR"_s.arg(copy), emd);
        expected.insert(u"emd-issue-bag.%1.MIR"_s.arg(copy), u"emd-issue problem"_s);
        expected.insert(u"emd-issue-no-a29.%1.MIR"_s.arg(copy), u"emd-issue problem"_s);
    }
    expected.insert(u"void-ticket.NOFF.MIR"_s, ticket);
    QCOMPARE(readings(gateway), expected);
    const QMap<QString, QJsonObject> docs = documents(gateway);
    QCOMPARE(docs.keys(), (QStringList{u"0649903113763"_s, u"0649991136996"_s}));
    QCOMPARE(docs[u"0649903113763"_s][u"state"_s].toString(), u"voided"_s);
    QCOMPARE(docs[u"0649991136996"_s][u"kind"_s].toString(), u"emd"_s);

    // The same files imported into a database of their own read the same.
    GatewayHome archive(engine);
    const QString folder = archive.home().folder(u"archive"_s);
    dropFiles(folder, voids);
    dropFiles(folder, emds);
    const Command import = kesto(archive, {u"documents"_s, u"--import"_s, folder});
    QVERIFY2(import.out.contains("13 imported"), import.out.constData());
    QCOMPARE(readings(archive), expected);
}

// A database the landed reader wrote: its rows say nothing of the real
// file. The upgrade adds the reader's columns, and an import of the backup
// folder reads the file again and replaces its rows, keeping where the
// gateway met it.
void TestDocuments::olderReadingsAreReadAgainAfterTheUpgrade() {
    GatewayHome gateway(TestEngine::Sqlite);
    QVERIFY(runAll(gateway, {{u"VOID.MIR"_s, corpusFile(u"void-ticket.mir"_s)}}));
    const QString mdb = gateway.db().dataFolder() + u"PALVA.mdb"_s;
    // What the older reader left: no events and a false problem, and its columns.
    runOnSqliteFile(mdb, {u"DELETE FROM KDOCEVT"_s,
                          u"UPDATE KDOCFILE SET TRANS = 'other', PROBLEMS = 'header: "
                          "ticketing-command indicator ''0'' names no document transaction'"_s,
                          u"ALTER TABLE KDOCFILE DROP COLUMN READER_VER"_s,
                          u"ALTER TABLE KDOCFILE DROP COLUMN COMM_RT"_s,
                          u"ALTER TABLE KDOCEVT DROP COLUMN COLLECTED"_s});
    const QString version = gateway.db()
                                .selectRows(u"SELECT RECLOC || '/' || SER_NO FROM AMAMD"_s)[0][0]
                                .toString();

    // An outdated ledger is not written to: the run says so once and files on.
    dropFiles(gateway.downloadFolder(), {{u"OTHER.MIR"_s, corpusFile(u"void-emd.mir"_s)}});
    const RunEnd end = runOnce(gateway.environment());
    QCOMPARE(end.exitCode, 0);
    QCOMPARE(end.out.count(u"lack the columns of this version"_s), 1);
    QCOMPARE(count(gateway, u"KDOCFILE"_s), 1);

    const Command upgrade = kesto(gateway, {u"init-db"_s, u"--upgrade"_s});
    QVERIFY2(upgrade.out.contains("KDOCFILE READER_VER, KDOCFILE COMM_RT, KDOCEVT COLLECTED"),
             upgrade.out.constData());
    const Command first = kesto(gateway, {u"documents"_s, u"--import"_s, gateway.backupFolder()});
    QVERIFY2(first.out.contains("2 imported (1 read again), 0 recorded before"),
             first.out.constData());
    QCOMPARE(gateway.db().selectRows(u"SELECT TRANS, PROBLEMS, SOURCE, RECLOC || '/' || SER_NO, "
                                     "READER_VER || '' FROM KDOCFILE WHERE FILE_NM = 'VOID.MIR'"_s),
             (QList<QVariantList>{{u"void"_s, u""_s, u"R"_s, version, u"2"_s}}));
    QCOMPARE(documents(gateway)[u"0649903113763"_s][u"state"_s].toString(), u"voided"_s);
    const Command again = kesto(gateway, {u"documents"_s, u"--import"_s, gateway.backupFolder()});
    QVERIFY2(again.out.contains("0 imported (0 read again), 2 recorded before"),
             again.out.constData());
    QCOMPARE(count(gateway, u"KDOCEVT"_s), 2);
}

// The archive read into the document tables only; a second import adds nothing.
void TestDocuments::archiveImportRecordsOnlyWhatIsNew() {
    GatewayHome gateway(TestEngine::Sqlite);
    QVERIFY(runAll(gateway, scenarioRuns()[0]));
    const int versions = count(gateway, u"AMAMD"_s);
    // Files the cycle never met, in a dated backup folder, and the filed ones.
    const QString archive = gateway.backupFolder() + u"2026/1207/"_s;
    QMap<QString, QByteArray> older = scenarioRuns()[1];
    older.insert(u"NOTES.TXT"_s, "not a MIR file");
    QDir().mkpath(archive);
    dropFiles(archive, older);

    const Command first = kesto(gateway, {u"documents"_s, u"--import"_s, gateway.backupFolder()});
    QCOMPARE(first.exitCode, 0);
    QVERIFY2(first.out.contains("7 imported (0 read again), 5 recorded before, 1 not MIR"),
             first.out.constData());
    QCOMPARE(count(gateway, u"KDOCFILE"_s), 12);
    QCOMPARE(count(gateway, u"AMAMD"_s), versions);
    QCOMPARE(gateway.db()
                 .selectRows(u"SELECT COUNT(*) FROM KDOCFILE WHERE SOURCE = 'I'"_s)[0][0]
                 .toInt(),
             7);
    const Command again = kesto(gateway, {u"documents"_s, u"--import"_s, gateway.backupFolder()});
    QVERIFY2(again.out.contains("0 imported (0 read again), 12 recorded before"),
             again.out.constData());
    QCOMPARE(count(gateway, u"KDOCFILE"_s), 12);
    QCOMPARE(documents(gateway)[u"2971234500003"_s][u"state"_s].toString(), u"voided"_s);
}

// A database made before the document tables: bookings as before, one notice.
void TestDocuments::databaseWithoutTheTablesSaysSoOnce() {
    GatewayHome gateway(TestEngine::Sqlite);
    for (const QString& table : {u"KDOCFILE"_s, u"KDOCEVT"_s, u"KDOCTAX"_s, u"KDOCFOP"_s})
        gateway.db().selectRows(u"DROP TABLE "_s + table);
    dropFiles(gateway.downloadFolder(), scenarioRuns()[0]);
    const RunEnd end = runOnce(gateway.environment());
    QCOMPARE(end.exitCode, 0);
    QCOMPARE(end.out.count(u"no document tables"_s), 1);
    QCOMPARE(count(gateway, u"AMAMD"_s), 5);
    QVERIFY(gateway.waitingFiles().isEmpty());
    const Command upgrade = kesto(gateway, {u"init-db"_s, u"--upgrade"_s});
    QVERIFY2(upgrade.out.contains("document ledger"), upgrade.out.constData());
    QCOMPARE(count(gateway, u"KDOCFILE"_s), 0);
}

// Voids and refunds share the placeholder locator's 34,695 serials. Past
// 90 % `kesto status` warns and stays healthy; after the last, a void is
// refused, its documents are still recorded, its file is filed, and its
// error row says why.
void TestDocuments::placeholderLocatorRunsOut() {
    QFETCH(TestEngine, engine);
    GatewayHome gateway(engine);
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    gateway.db().selectRows(u"INSERT INTO AMAMD (RECLOC, SER_NO) VALUES ('ZZZZZZ', 'ZZY')"_s);
    const Command warned = kesto(gateway, {u"status"_s});
    QCOMPARE(warned.exitCode, 0);
    QVERIFY2(warned.out.contains("\nserials: warning: ZZZZZZ has used 34694 of 34695 (1 left); "
                                 "a version after the last is refused\n"),
             warned.out.constData());

    const QMap<QString, QByteArray> kinds = sweepFiles(1);
    const QMap<QString, QByteArray> files{{u"A_VOID.MIR"_s, kinds[u"VOID001.MIR"_s]},
                                          {u"B_REFUND.MIR"_s, kinds[u"RFND001.MIR"_s]}};
    dropFiles(gateway.downloadFolder(), files);
    runOnce(gateway.environment());
    QCOMPARE(gateway.waitingFiles(), QStringList());
    QCOMPARE(gateway.backedUpFiles(), QStringList(files.keys()));
    QCOMPARE(count(gateway, u"AMAMD WHERE RECLOC = 'ZZZZZZ' AND SER_NO = 'ZZZ'"_s), 1);
    QCOMPARE(count(gateway, u"AMAMD"_s), 2);
    QCOMPARE(count(gateway, u"KDOCFILE"_s), 2);
    const QList<QVariantList> rows = gateway.db().selectRows(u"SELECT MESSAGE FROM AMERROR"_s);
    QCOMPARE(rows.size(), 1);
    QVERIFY2(rows[0][0].toString().contains(
                 u"No serial number left for record locator ZZZZZZ: ZZZ is used"_s),
             qPrintable(rows[0][0].toString()));
    QVERIFY(kesto(gateway, {u"status"_s}).out.contains("ZZZZZZ has used 34695 of 34695 (0 left)"));
}

QTEST_GUILESS_MAIN(TestDocuments)
#include "test_documents.moc"
