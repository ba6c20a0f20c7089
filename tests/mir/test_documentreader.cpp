#include "documentmirs.h"
#include "mirdocuments.h"

#include <QRandomGenerator>
#include <QTest>

using namespace mir::documents;
using namespace documentmirs;
using namespace Qt::StringLiterals;

// The document reader on MIR files built from its own field tables: what a
// file says it is, the documents it touches with their numbers, passengers
// and exact amounts, and what it makes of sections it cannot read.
class TestDocumentReader : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void transactionGivesEachDocumentItsEvent_data();
    void transactionGivesEachDocumentItsEvent();
    void ticketsKeepConjunctionPassengerAndExactAmounts();
    void exchangeNamesTheOriginal();
    void refundTakesTheDocumentOfA23AndTheAmountRefunded();
    void cardNumberKeepsOnlyItsLastFourDigits();
    void damagedSectionsAreNamedAndTheRestIsKept();
    void anyBytesAreRead();
};

namespace {

const QString kJohn = QStringLiteral("DOE/JOHN MR");
const QString kJane = QStringLiteral("DOE/JANE MRS");

QString fare(const QString& item, const QString& total) {
    return fareLine({{u"A07FSI"_s, item},
                     {u"A07CRB"_s, u"TWD"_s},
                     {u"A07TBF"_s, u"1000.00"_s},
                     {u"A07CRT"_s, u"TWD"_s},
                     {u"A07TTA"_s, total}},
                    {{u"300.00"_s, u"TW"_s}, {u"25.50"_s, u"YQ"_s}});
}

QString emd(const QString& number, const QString& total) {
    return line("A29", {{u"A29PAX"_s, u"01"_s},
                        {u"A29NAM"_s, kJohn},
                        {u"A29EMD"_s, number},
                        {u"A29VCR"_s, u"CI"_s},
                        {u"A29CTA"_s, u"TWD"_s},
                        {u"A29TLA"_s, total}});
}

QStringList eventsOf(const MirDocuments& read) {
    QStringList events;
    for (const DocumentEvent& event : read.events)
        events.append(event.number + u' ' + kindName(event.kind) + u' ' + eventName(event.event));
    return events;
}

} // namespace

void TestDocumentReader::transactionGivesEachDocumentItsEvent_data() {
    QTest::addColumn<QString>("indicator");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<int>("transaction");
    const QString ticket = u"2971234500001 ticket "_s;
    const QString emdDoc = u"2975555500001 emd "_s;
    QTest::newRow("regular issue")
        << u" "_s << QStringList{ticket + u"issue"_s} << int(Transaction::Issue);
    QTest::newRow("void") << u"V"_s << QStringList{ticket + u"void"_s} << int(Transaction::Void);
    QTest::newRow("refund without A23")
        << u"R"_s << QStringList{ticket + u"refund"_s} << int(Transaction::Refund);
    QTest::newRow("cancelled refund")
        << u"C"_s << QStringList{ticket + u"refund-cancel"_s} << int(Transaction::RefundCancel);
    QTest::newRow("EMD issue") << u"E"_s << QStringList{emdDoc + u"issue"_s}
                               << int(Transaction::EmdIssue);
    QTest::newRow("EMD void") << u"D"_s << QStringList{emdDoc + u"void"_s}
                              << int(Transaction::EmdVoid);
    QTest::newRow("EMD refund") << u"F"_s << QStringList{emdDoc + u"refund"_s}
                                << int(Transaction::EmdRefund);
    QTest::newRow("not a document transaction")
        << u"H"_s << QStringList{} << int(Transaction::Other);
}

// Tickets come from A02, EMDs from A29; the header says what happened to them.
void TestDocumentReader::transactionGivesEachDocumentItsEvent() {
    QFETCH(QString, indicator);
    QFETCH(QStringList, events);
    QFETCH(int, transaction);
    const QStringList lines{passenger(kJohn, u"1234500001"_s), emd(u"2975555500001"_s, u"60.00"_s)};
    const MirDocuments read = readDocuments(mirFile(header(u"ABC123"_s, indicator), lines));
    QCOMPARE(int(read.transaction), transaction);
    QCOMPARE(eventsOf(read), events);
}

void TestDocumentReader::ticketsKeepConjunctionPassengerAndExactAmounts() {
    const QByteArray file =
        mirFile(header(u"ABC123"_s), {passenger(kJohn, u"1234500001"_s, 2, u"01"_s),
                                      passenger(kJane, u"1234500003"_s, 1, u"02"_s),
                                      fare(u"01"_s, u"1250.50"_s), fare(u"02"_s, u"980"_s)});
    const MirDocuments read = readDocuments(file);
    QCOMPARE(read.header.issueDate, u"2026-12-07"_s);
    QCOMPARE(read.header.airline, u"CI"_s);
    QCOMPARE(read.header.iataNumber, u"34212345"_s);
    QCOMPARE(read.events.size(), 2);
    const DocumentEvent& john = read.events[0];
    QCOMPARE(john.number, u"2971234500001"_s);
    QCOMPARE(john.lastNumber, u"2971234500002"_s);
    QCOMPARE(john.passenger, kJohn);
    QCOMPARE(john.amount, u"1250.50"_s);
    QCOMPARE(john.currency, u"TWD"_s);
    QCOMPARE(john.taxes.size(), 2);
    QCOMPARE(john.taxes[1].code, u"YQ"_s);
    QCOMPARE(john.taxes[1].amount, u"25.50"_s);
    const DocumentEvent& jane = read.events[1];
    QCOMPARE(jane.number, u"2971234500003"_s);
    QCOMPARE(jane.lastNumber, QString());
    QCOMPARE(jane.amount, u"980"_s);
    QVERIFY(read.problems.isEmpty());
}

void TestDocumentReader::exchangeNamesTheOriginal() {
    const QByteArray file = mirFile(
        header(u"ABC123"_s),
        {passenger(kJohn, u"1234500041"_s, 1, u"01"_s, u"01"_s), fare(u"01"_s, u"1500.00"_s),
         line("A10", {{u"A10EXI"_s, u"01"_s}, {u"A10OTN"_s, u"2971234500040"_s}})});
    const MirDocuments read = readDocuments(file);
    QCOMPARE(eventsOf(read),
             (QStringList{u"2971234500041 ticket issue"_s, u"2971234500040 ticket exchange"_s}));
    QCOMPARE(read.events[0].original, u"2971234500040"_s);
    QCOMPARE(read.events[1].passenger, kJohn);
}

void TestDocumentReader::refundTakesTheDocumentOfA23AndTheAmountRefunded() {
    const QByteArray file = mirFile(
        header(u"ZZZZZZ"_s, u"R"_s),
        {passenger(kJohn, u"1234500020"_s),
         line("A23", {{u"A23TKT"_s, u"29712345000205"_s}, {u"A23RTK"_s, u"29712345000213"_s}}),
         line("A11", {{u"A11TYP"_s, u"S "_s}, {u"A11AMT"_s, u"700.00"_s}}),
         line("A11", {{u"A11TYP"_s, u"CC"_s}, {u"A11AMT"_s, u"100.5"_s}})});
    const MirDocuments read = readDocuments(file);
    QCOMPARE(eventsOf(read), QStringList{u"2971234500020 ticket refund"_s});
    QCOMPARE(read.events[0].lastNumber, u"2971234500021"_s); // a conjunction refunded
    QCOMPARE(read.events[0].amount, u"800.50"_s);
    QCOMPARE(read.events[0].passenger, kJohn);
}

void TestDocumentReader::cardNumberKeepsOnlyItsLastFourDigits() {
    const QByteArray file = mirFile(header(u"ABC123"_s),
                                    {passenger(kJohn, u"1234500001"_s), fare(u"01"_s, u"1250.50"_s),
                                     line("A11", {{u"A11TYP"_s, u"CC"_s},
                                                  {u"A11AMT"_s, u"1250.50"_s},
                                                  {u"A11CCC"_s, u"VI"_s},
                                                  {u"A11CCN"_s, u"4111 1111 1111 4242"_s}})});
    const MirDocuments read = readDocuments(file);
    QCOMPARE(read.payments.size(), 1);
    QCOMPARE(read.payments[0].cardLast4, u"4242"_s);
    QCOMPARE(read.payments[0].cardCode, u"VI"_s);
    QCOMPARE(read.payments[0].amount, u"1250.50"_s);
}

void TestDocumentReader::damagedSectionsAreNamedAndTheRestIsKept() {
    const QByteArray file = mirFile(
        header(u"ABC123"_s), {passenger(kJohn, u"1234500001"_s), fare(u"01"_s, u"12X0.50"_s),
                              passenger(kJane, u"12345ABC03"_s),
                              line("A10", {{u"A10EXI"_s, u"01"_s}, {u"A10OTN"_s, u"29712"_s}})});
    const MirDocuments read = readDocuments(file);
    QStringList sections;
    for (const Problem& problem : read.problems)
        sections.append(problem.section);
    QCOMPARE(sections, (QStringList{u"A07"_s, u"A02"_s, u"A10"_s}));
    // John's ticket is still known, without the amount the MIR garbled.
    QCOMPARE(eventsOf(read), QStringList{u"2971234500001 ticket issue"_s});
    QCOMPARE(read.events[0].amount, QString());
}

// Any bytes: random ones, and every cut of a real file.
void TestDocumentReader::anyBytesAreRead() {
    QRandomGenerator random(19);
    for (int i = 0; i < 200; ++i) {
        QByteArray bytes(random.bounded(2000), Qt::Uninitialized);
        for (char& byte : bytes)
            byte = static_cast<char>(random.bounded(256));
        bytes.replace(0, qMin<qsizetype>(2, bytes.size()), "T5");
        (void)readDocuments(bytes);
    }
    const QByteArray file = mirFile(header(u"ABC123"_s),
                                    {passenger(kJohn, u"1234500001"_s, 99),
                                     fare(u"01"_s, u"1250.50"_s), emd(u"2975555500001"_s, u"-"_s)});
    for (qsizetype size = 0; size <= file.size(); ++size)
        (void)readDocuments(file.left(size));
    QVERIFY(!readDocuments(QByteArray("T5")).problems.isEmpty());
}

QTEST_GUILESS_MAIN(TestDocumentReader)
#include "test_documentreader.moc"
