#include "documentmirs.h"
#include "gatewayrun.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace documentmirs;

// The document ledger end to end: real `kesto run --once` processes over
// MIR files made from the public layout, on both engines, then the
// documents, their states and the daily report as `kesto documents` and
// `kesto report` print them; a crash between a version and its filing; the
// backfill from the archive.
class TestDocuments : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void statesFollowTheEventsInAnyOrder_data() { addEngineRows(); }
    void statesFollowTheEventsInAnyOrder();
    void crashAfterTheVersionRecordsDocumentsOnce_data() { addEngineRows(); }
    void crashAfterTheVersionRecordsDocumentsOnce();
    void refusedDocumentRowsNeverBlockTheBooking_data() { addEngineRows(); }
    void refusedDocumentRowsNeverBlockTheBooking();
    void archiveImportRecordsOnlyWhatIsNew();
    void databaseWithoutTheTablesSaysSoOnce();
};

namespace {

const QString kDay = u"2026-12-07"_s;

QString fare(const QString& item, const QString& total) {
    return fareLine({{u"A07FSI"_s, item},
                     {u"A07CRB"_s, u"TWD"_s},
                     {u"A07TBF"_s, total},
                     {u"A07CRT"_s, u"TWD"_s},
                     {u"A07TTA"_s, total}},
                    {{u"300.00"_s, u"TW"_s}});
}

QString refunded(const QString& number) {
    return line("A23", {{u"A23TKT"_s, number + u'1'}, {u"A23RTK"_s, number + u'1'}});
}

QString payment(const QString& type, const QString& amount, const QString& card = QString()) {
    return line(
        "A11",
        {{u"A11TYP"_s, type}, {u"A11AMT"_s, amount}, {u"A11CCC"_s, u"VI"_s}, {u"A11CCN"_s, card}});
}

QString emd(const QString& number, const QString& total) {
    return line("A29", {{u"A29PAX"_s, u"01"_s},
                        {u"A29NAM"_s, u"LIN/MEI MS"_s},
                        {u"A29EMD"_s, number},
                        {u"A29VCR"_s, u"CI"_s},
                        {u"A29CTA"_s, u"TWD"_s},
                        {u"A29TLA"_s, total}});
}

const QString kCard = u"4111111111114242"_s;

// Each run's files; a run's files may be read in any order.
QList<QMap<QString, QByteArray>> scenarioRuns() {
    return {
        {
            // Two passengers, the first on a conjunction ticket, paid by card.
            {u"A_ISSUE.MIR"_s, mirFile(header(u"AAA001"_s),
                                       {passenger(u"DOE/JOHN MR"_s, u"1234500001"_s, 2, u"01"_s),
                                        passenger(u"DOE/JANE MRS"_s, u"1234500003"_s, 1, u"02"_s),
                                        fare(u"01"_s, u"1250.50"_s), fare(u"02"_s, u"980.00"_s),
                                        payment(u"CC"_s, u"2230.50"_s, kCard)})},
            // A void that arrives before its issue.
            {u"B_VOID.MIR"_s,
             mirFile(header(u"ZZZZZZ"_s, u"V"_s), {passenger(u"ROE/BOB MR"_s, u"1234500010"_s)})},
            {u"C_ISSUE.MIR"_s, mirFile(header(u"AAA003"_s),
                                       {passenger(u"CHEN/CAROL MS"_s, u"1234500020"_s, 1, u"01"_s),
                                        passenger(u"WU/DAN MR"_s, u"1234500030"_s, 1, u"02"_s),
                                        fare(u"01"_s, u"800.00"_s), fare(u"02"_s, u"500.00"_s)})},
            {u"D_ISSUE.MIR"_s,
             mirFile(header(u"AAA004"_s),
                     {passenger(u"HO/EVE MS"_s, u"1234500040"_s), fare(u"01"_s, u"1000.00"_s)})},
            {u"E_EMD.MIR"_s,
             mirFile(header(u"AAA005"_s, u"E"_s),
                     {passenger(u"LIN/MEI MS"_s, u"1234500050"_s),
                      emd(u"2975555500001"_s, u"60.00"_s), emd(u"2975555500002"_s, u"40.00"_s)})},
        },
        {
            {u"F_VOID.MIR"_s,
             mirFile(header(u"ZZZZZZ"_s, u"V"_s), {passenger(u"DOE/JANE MRS"_s, u"1234500003"_s)})},
            {u"G_ISSUE.MIR"_s,
             mirFile(header(u"AAA007"_s),
                     {passenger(u"ROE/BOB MR"_s, u"1234500010"_s), fare(u"01"_s, u"900.00"_s)})},
            {u"H_REFUND.MIR"_s,
             mirFile(header(u"ZZZZZZ"_s, u"R"_s),
                     {passenger(u"CHEN/CAROL MS"_s, u"1234500020"_s), refunded(u"2971234500020"_s),
                      payment(u"S "_s, u"750.00"_s)})},
            {u"I_REFUND.MIR"_s,
             mirFile(header(u"ZZZZZZ"_s, u"R"_s),
                     {passenger(u"WU/DAN MR"_s, u"1234500030"_s), refunded(u"2971234500030"_s),
                      payment(u"S "_s, u"500.00"_s)})},
            {u"J_EXCHANGE.MIR"_s,
             mirFile(header(u"AAA004"_s),
                     {passenger(u"HO/EVE MS"_s, u"1234500041"_s, 1, u"01"_s, u"01"_s),
                      fare(u"01"_s, u"1200.00"_s),
                      line("A10", {{u"A10EXI"_s, u"01"_s}, {u"A10OTN"_s, u"2971234500040"_s}})})},
            {u"K_EMDVOID.MIR"_s,
             mirFile(header(u"AAA005"_s, u"D"_s), {passenger(u"LIN/MEI MS"_s, u"1234500050"_s),
                                                   emd(u"2975555500002"_s, u"40.00"_s)})},
            // An EMD void without a passenger: the booking writers refuse
            // it, so it makes no version, yet its document is recorded.
            {u"M_VOID.MIR"_s,
             mirFile(header(u"ZZZZZZ"_s, u"D"_s), {emd(u"2975555500009"_s, u""_s)})},
        },
        {
            {u"L_CANCEL.MIR"_s,
             mirFile(header(u"ZZZZZZ"_s, u"C"_s),
                     {passenger(u"WU/DAN MR"_s, u"1234500030"_s), refunded(u"2971234500030"_s)})},
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

    // The void the writers refused: no version, its document recorded all the same.
    QCOMPARE(gateway.db()
                 .selectRows(u"SELECT COUNT(*) FROM AMAMD WHERE FILE_NM = 'M_VOID.MIR'"_s)[0][0]
                 .toInt(),
             0);
    const QJsonObject lone = docs[u"2975555500009"_s];
    QCOMPARE(lone[u"state"_s].toString(), u"voided"_s);
    QCOMPARE(lone[u"events"_s][0][u"ser_no"_s].type(), QJsonValue::Null);
    QCOMPARE(lone[u"total"_s].type(), QJsonValue::Null);

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
    QCOMPARE(lines.size(), 1);
    const QJsonObject ci = lines[0].toObject();
    QCOMPARE(ci[u"airline"_s].toString(), u"CI"_s);
    // 1250.50 + 980 + 800 + 500 + 1000 + 60 + 40 + 900 + 1200
    QCOMPARE(ci[u"issued"_s][u"count"_s].toInt(), 9);
    QCOMPARE(ci[u"issued"_s][u"total"_s].toString(), u"6730.50"_s);
    // Jane's 980, Bob's 900, the EMD's 40 and the refused void (no amount).
    QCOMPARE(ci[u"voided"_s][u"count"_s].toInt(), 4);
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
// files it, and its documents are there once.
void TestDocuments::crashAfterTheVersionRecordsDocumentsOnce() {
    QFETCH(TestEngine, engine);
    GatewayHome gateway(engine);
    if (!gateway.skipReason().isEmpty())
        QSKIP(qPrintable(gateway.skipReason()));
    dropFiles(gateway.downloadFolder(), scenarioRuns().first());
    const RunEnd crashed = runOnce(gateway.environment({{u"KESTO_CRASH_AT"_s, u"after-commit"_s}}));
    QVERIFY(crashed.killed);
    QCOMPARE(count(gateway, u"KDOCFILE"_s), 1);
    const int events = count(gateway, u"KDOCEVT"_s);
    QVERIFY(events > 0);
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
    QVERIFY2(first.out.contains("7 imported, 5 recorded before, 1 not MIR"), first.out.constData());
    QCOMPARE(count(gateway, u"KDOCFILE"_s), 12);
    QCOMPARE(count(gateway, u"AMAMD"_s), versions);
    QCOMPARE(gateway.db()
                 .selectRows(u"SELECT COUNT(*) FROM KDOCFILE WHERE SOURCE = 'I'"_s)[0][0]
                 .toInt(),
             7);
    const Command again = kesto(gateway, {u"documents"_s, u"--import"_s, gateway.backupFolder()});
    QVERIFY2(again.out.contains("0 imported, 12 recorded before"), again.out.constData());
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

QTEST_GUILESS_MAIN(TestDocuments)
#include "test_documents.moc"
