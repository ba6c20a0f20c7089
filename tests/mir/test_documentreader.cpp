#include "interpreter.h"
#include "mirdocuments.h"
#include "mirfiles.h"
#include "mirlayout.h"
#include "mirtext.h"
#include "sectionlines.h"
#include "testhome.h"

#include <QRandomGenerator>
#include <QTest>

using namespace mir::documents;
using namespace Qt::StringLiterals;

// The document reader against real MIR files (in their CR form and as LF
// and CR LF copies) and against lines typed by hand from the format guide,
// field by field; the booking interpreter reads the same lines, with the
// same layout, to the same values. The test builder's header is checked
// against a real one.
class TestDocumentReader : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { m_home = new TestHome(TestHome::Korva::Registered); }
    void cleanup() { delete m_home; }
    void realFilesAsTheirReaderConcludes_data();
    void realFilesAsTheirReaderConcludes();
    void realSegmentsAsTheInterpreterReadsThem();
    void issueTypedFromTheGuide();
    void exchangeTypedFromTheGuide();
    void refundTypedFromTheGuide();
    void emdIssueTypedFromTheGuide();
    void ticketingCommands_data();
    void ticketingCommands();
    void damagedFilesAreProblemsNotDocuments_data();
    void damagedFilesAreProblemsNotDocuments();
    void builderHeaderParsesLikeARealOne();
    void anyBytesAreRead();

private:
    TestHome* m_home = nullptr;
};

namespace {

QByteArray corpusFile(const QString& name) {
    return readFileBytes(QStringLiteral(KESTO_SOURCE_DIR "/tests/data/mir-corpus/") + name);
}

// The copies archives hold: every CR as LF, or as CR LF.
QByteArray withLineEnds(QByteArray bytes, const QByteArray& end) {
    return bytes.replace('\r', end);
}

QStringList eventsOf(const MirDocuments& read) {
    QStringList events;
    for (const DocumentEvent& event : read.events)
        events.append(event.number + u' ' + kindName(event.kind) + u' ' + eventName(event.event));
    return events;
}

QStringList taxesOf(const DocumentEvent& event) {
    QStringList taxes;
    for (const Tax& tax : event.taxes)
        taxes.append(tax.code + u' ' + tax.amount);
    return taxes;
}

QStringList sectionsOf(const MirDocuments& read) {
    QStringList sections;
    for (const Problem& problem : read.problems)
        sections.append(problem.section);
    return sections;
}

// The header of a MIR, typed from the guide: five lines of 80, 63, 96, 51
// and 48 characters, each field at its offset.
QString header(const char* line2Locator, const char* airline, const char* currency,
               const char* indicators, const char* passengers = "002") {
    return QString::fromLatin1(
        // Line 1: T50BID 0, routing 2, T50SZE 10, T50SEQ 15, T50DTE 20, T50TME 27,
        // T50ISC 32, T50ISA 34, T50ISN 37 (24), T50DFT 61, then 12 more.
        QByteArray("T5") + "1G773392" + "00000" + "00417" + "07DEC26" + "0246P" + airline +
        "CHINA AIRLINES          " + "15JAN27" + "BB644FE761E4" + "\r" +
        // Line 2 from 81: T50BPC, T50TPC, T50AAN (9), T50RCL at 98, 13 more,
        // the booking agent at 117, one more, T50SIN at 120, duty code, 20 more.
        "K4TR" + "X9MA" + "34212345 " + line2Locator + "             " + "QW" + "N" + "ZZ" +
        "AG" + "07DEC2600007DEC26021" + "\r" +
        // Line 3 from 145: T50CUR, T50FAR (12), T50DML, tax currency, five tax
        // amounts, T50COM at 214 (8), T50RTE at 222, T50ITC at 226 (15).
        currency + "000001500000" + "2" + "TWD" +
        "00000000  00000000  00000000  00000000  00000000  " + "00075000" + "0500" +
        "K4TR7QW2X9MAB01" + "\r" +
        // Line 4 from 242: T50IN1..IN17, then 34 more.
        indicators + "   TW                             " + "\r" +
        // Line 5 from 294: section counts; passengers at 300.
        "000" + "000" + passengers + "000" + "001" + "000" + "000" + "002" + "000" + "001" +
        "000000000000000000" + "\r");
}

// A file of the header and the section lines, its declared size set.
QByteArray mirFile(const QString& head, const QStringList& sections) {
    QString text = head + u'\r' + sections.join(u'\r') + u"\r\r\f"_s;
    text.replace(10, 5, QStringLiteral("%1").arg(text.size(), 5, 10, QLatin1Char('0')));
    return text.toLatin1();
}

const QString kIssueHeader = header("TPEK4T", "CI297", "TWD", "NNNNN0NNNAYH NNNX");

// Two passengers, the first on a conjunction of two books, each with a fare
// of its own; the first fare's XT box is the sum of its IT: line.
const QStringList kIssueSections{
    // A02: name 3 (33), transaction number 36 (11), year 47, serial 48 (10),
    // books 58, invoice 60 (9), passenger type 69 (6), fare item 75, exchange item 77.
    u"A02LIN/MEIHUA MS                               61234500001" "02" "         "
    "ADT   " "01" "  " "N"_s,
    u"A02CHEN/JIANHONG MR                            61234500003" "01" "         "
    "ADT   " "02" "  " "N"_s,
    // A07: fare section 3, base currency 5, base 8 (12), total currency 20,
    // total 23 (12), equivalent 35 and 38 (12), tax currency 50, boxes at 53, 66, 79.
    u"A07" "01" "TWD" "    15000.00" "TWD" "    16800.00" "   " "            " "TWD"
    "T1:" "  500.00" "TW" "T2:" " 1234.50" "YQ" "T3:" "   65.50" "XT"_s,
    u"IT:" "   40.00" "YR" "   25.50" "G3"_s,
    u"A07" "02" "TWD" "    12000.00" "TWD" "    13200.00" "   " "            " "TWD"
    "T1:" "  500.00" "TW" "T2:" "  700.00" "YQ"_s,
    // A11: type 3, amount 5 (12), card code 18, card number 20 (20), expiry 40.
    u"A11" "CC" "    30000.00" "N" "VI" "4111111111114242    " "1229"_s,
};

// The interpreter's tree as the test checks it.
struct Tree {
    QString verdict, rloc, seq, created, airlineNumber, airline, travel, commissionRate, tour;
    QString base, taxes;
    QStringList names, tickets, conjunctions;
};

Tree interpreted(const QByteArray& bytes) {
    const mir::Interpretation result = mir::interpretMir(bytes);
    Tree tree;
    tree.verdict = result.verdict == mir::Verdict::Interpreted ? u"interpreted"_s : u"not"_s;
    if (!result.pnr)
        return tree;
    const korva::Pnr& pnr = *result.pnr;
    tree.rloc = pnr.get("RLOC_CD");
    tree.seq = pnr.get("SEQ_NO");
    tree.created = pnr.get("CRAT_DM");
    tree.airlineNumber = pnr.get("NUM_CDE");
    tree.airline = pnr.get("CARR_CD");
    tree.travel = pnr.get("TRVL_DT");
    tree.commissionRate = pnr.get("COMM_RT");
    tree.tour = result.Cpnid2Source;
    tree.base = pnr.get("BASE_AM");
    tree.taxes = pnr.get("TAX_AMB");
    const auto paxs = pnr.paxs();
    for (int key = 1; key <= paxs.count(); ++key) {
        tree.names.append(paxs.item(key).get("PAX_NM").trimmed());
        tree.tickets.append(paxs.item(key).get("TKT_NO"));
        tree.conjunctions.append(paxs.item(key).get("TKT_CJ"));
    }
    return tree;
}

} // namespace

void TestDocumentReader::realFilesAsTheirReaderConcludes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("transaction");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("passenger");
    QTest::addColumn<QString>("currency");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QStringList>("problems");
    for (const auto& [ends, end] : {std::pair{"CR", QByteArray("\r")}, std::pair{"LF", QByteArray("\n")},
                                    std::pair{"CR LF", QByteArray("\r\n")}}) {
        const auto row = [ends = ends](const char* file) -> QTestData& {
            return QTest::addRow("%s %s", file, ends);
        };
        row("void-ticket") << withLineEnds(corpusFile(u"void-ticket.mir"_s), end)
                           << int(Transaction::Void)
                           << QStringList{u"0649903113763 ticket void"_s} << u"SAMPLOVA/TESTINA"_s
                           << u"KZT"_s << u"18643"_s << u"2018-12-25"_s << u"08:40"_s
                           << QStringList{};
        row("void-emd") << withLineEnds(corpusFile(u"void-emd.mir"_s), end)
                        << int(Transaction::EmdVoid) << QStringList{u"0649991136996 emd void"_s}
                        << u"SAMPLOVA/TESTINA"_s << u"KZT"_s << u"12780"_s << u"2018-12-28"_s
                        << u"09:03"_s << QStringList{};
        for (const char* emd : {"emd-issue-no-a29", "emd-issue-bag"})
            row(emd) << withLineEnds(corpusFile(QLatin1String(emd) + u".mir"_s), end)
                     << int(Transaction::EmdIssue) << QStringList{} << QString() << QString()
                     << QString() << u"2018-12-25"_s
                     << (QLatin1String(emd) == u"emd-issue-bag"_s ? u"08:33"_s : u"08:39"_s)
                     << QStringList{u"A29"_s};
    }
}

void TestDocumentReader::realFilesAsTheirReaderConcludes() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, transaction);
    QFETCH(QStringList, events);
    QFETCH(QString, passenger);
    QFETCH(QString, currency);
    QFETCH(QString, amount);
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(QStringList, problems);
    const MirDocuments read = readDocuments(bytes);
    QCOMPARE(int(read.transaction), transaction);
    QCOMPARE(eventsOf(read), events);
    QCOMPARE(sectionsOf(read), problems);
    QCOMPARE(read.header.issueDate, date);
    QCOMPARE(read.header.issueTime, time);
    QCOMPARE(read.header.airlineNumber, u"064"_s);
    QCOMPARE(read.header.ticketingPcc, u"3Y6S"_s);
    if (events.isEmpty())
        return;
    const DocumentEvent& document = read.events.first();
    QCOMPARE(document.passenger, passenger);
    QCOMPARE(document.currency, currency);
    QCOMPARE(document.amount, amount);
    QCOMPARE(document.airline, u"OK"_s);
    QCOMPARE(read.header.recordLocator, u"ZZZZZZ"_s);
}

// The segments of a real file, through the interpreter's own columns.
void TestDocumentReader::realSegmentsAsTheInterpreterReadsThem() {
    for (const QByteArray& end : {QByteArray("\r"), QByteArray("\n"), QByteArray("\r\n")}) {
        const mir::Interpretation result =
            mir::interpretMir(withLineEnds(corpusFile(u"emd-issue-bag.mir"_s), end));
        QCOMPARE(result.verdict, mir::Verdict::Interpreted);
        const korva::Pnr& pnr = *result.pnr;
        QCOMPARE(pnr.get("RLOC_CD"), u"56DV7A"_s);
        QCOMPARE(pnr.get("CRAT_DM"), u"25DEC180833 "_s);
        QCOMPARE(pnr.get("NUM_CDE"), u"064"_s);
        QCOMPARE(pnr.get("TRVL_DT"), u"20MAR19"_s);
        QCOMPARE(pnr.itns().count(), 2);
        const korva::Itn first = pnr.itns().item(1);
        QStringList values;
        for (const char* name : {"ITN_IDX", "CARR_CD", "FLT_NO", "TKT_CLS", "TKT_ST", "DEP_DT",
                                 "DEP_TM", "ARR_TM", "NXDT_FG", "ORIG_CT", "DEST_CT"})
            values.append(first.get(name));
        QCOMPARE(values, (QStringList{u"01"_s, u"OK"_s, u" 777"_s, u"N "_s, u"HK"_s, u"20MAR"_s,
                                      u"0905 "_s, u"1040 "_s, u"2"_s, u"WAW"_s, u"PRG"_s}));
        QCOMPARE(pnr.paxs().item(1).get("PAX_NM").trimmed(), u"SAMPLOVA/TESTINAMRS"_s);
    }
}

void TestDocumentReader::issueTypedFromTheGuide() {
    const QByteArray file = mirFile(kIssueHeader, kIssueSections);
    const MirDocuments read = readDocuments(file);
    QCOMPARE(sectionsOf(read), QStringList{});
    QCOMPARE(int(read.transaction), int(Transaction::Issue));
    const HeaderFacts& h = read.header;
    QCOMPARE(QStringList({h.issueDate, h.issueTime, h.airline, h.airlineNumber, h.bookingPcc,
                          h.ticketingPcc, h.iataNumber, h.recordLocator, h.bookingAgent,
                          h.ticketingAgent, h.fareCurrency, h.commission, h.commissionRate,
                          h.tourCode, h.command}),
             (QStringList{u"2026-12-07"_s, u"14:46"_s, u"CI"_s, u"297"_s, u"K4TR"_s, u"X9MA"_s,
                          u"34212345"_s, u"TPEK4T"_s, u"QW"_s, u"ZZ"_s, u"TWD"_s, u"750.00"_s,
                          u"5.00"_s, u"K4TR7QW2X9MAB01"_s, u"H"_s}));
    QCOMPARE(eventsOf(read), (QStringList{u"2971234500001 ticket issue"_s,
                                          u"2971234500003 ticket issue"_s}));
    const DocumentEvent& lin = read.events[0];
    QCOMPARE(lin.lastNumber, u"2971234500002"_s);
    QCOMPARE(lin.passenger, u"LIN/MEIHUA MS"_s);
    QCOMPARE(lin.amount, u"16800.00"_s);
    QCOMPARE(lin.currency, u"TWD"_s);
    // XT is what the IT: line itemises: counted once, by its codes.
    QCOMPARE(taxesOf(lin), (QStringList{u"TW 500.00"_s, u"YQ 1234.50"_s, u"YR 40.00"_s,
                                        u"G3 25.50"_s}));
    QCOMPARE(read.events[1].amount, u"13200.00"_s);
    QCOMPARE(taxesOf(read.events[1]), (QStringList{u"TW 500.00"_s, u"YQ 700.00"_s}));
    QCOMPARE(read.payments.size(), 1);
    QCOMPARE(read.payments[0].amount, u"30000.00"_s);
    QCOMPARE(read.payments[0].cardLast4, u"4242"_s);

    // The interpreter on the same lines.
    const Tree tree = interpreted(file);
    QCOMPARE(tree.verdict, u"interpreted"_s);
    QCOMPARE(QStringList({tree.rloc, tree.seq, tree.created, tree.airlineNumber, tree.airline,
                          tree.travel, tree.commissionRate, tree.tour}),
             (QStringList{u"TPEK4T"_s, u"00417"_s, u"07DEC260246P"_s, u"297"_s, u"CI"_s,
                          u"15JAN27"_s, u"0500"_s, u"K4TR7QW2X9MAB01"_s}));
    QCOMPARE(tree.names, (QStringList{u"LIN/MEIHUA MS"_s, u"CHEN/JIANHONG MR"_s}));
    QCOMPARE(tree.tickets, (QStringList{u"1234500001"_s, u"1234500003"_s}));
    QCOMPARE(tree.conjunctions, (QStringList{u"02"_s, QString()}));
    // The last fare line counts: 12000 and its boxes 500 and 700.
    QCOMPARE(tree.base, u"12000"_s);
    QCOMPARE(tree.taxes, u"1200"_s);
}

void TestDocumentReader::exchangeTypedFromTheGuide() {
    const QByteArray file = mirFile(
        header("TPEK4T", "CI297", "TWD", "NNNNN0YNNAYH NNNX", "001"),
        {u"A02HO/EVE MS                                   61234500050" "01" "         "
         "ADT   " "01" "01" "N"_s,
         u"A07" "01" "TWD" "     1100.00" "TWD" "     1200.00" "   " "            " "TWD"
         "T1:" "  100.00" "TW"_s,
         // A10: item 3, original issue date 5, original place 12 (8), exchange type 79.
         u"A10" "01" "01DEC26" "TPE     "
         "                                                           " "A"_s,
         // TI: the exchanged books, 13 digits and a check digit, then coupons.
         u"TI:" "29712345000400" "1234"_s,
         u"TI:" "29712345000411" "1234"_s,
         // The amounts: currency, original base (12), ..., original total at 83 (12).
         u"TWD" "000000100000" "                                  "
         "                                  " "000000105000"_s,
         u"A11" "S " "      150.00"_s});
    const MirDocuments read = readDocuments(file);
    QCOMPARE(sectionsOf(read), QStringList{});
    QCOMPARE(int(read.transaction), int(Transaction::ExchangeIssue));
    QCOMPARE(eventsOf(read), (QStringList{u"2971234500050 ticket issue"_s,
                                          u"2971234500040 ticket exchange"_s}));
    QCOMPARE(read.events[0].original, u"2971234500040"_s);
    QCOMPARE(read.events[0].amount, u"1200.00"_s);
    QCOMPARE(read.events[0].collected, u"150.00"_s);
    const DocumentEvent& original = read.events[1];
    QCOMPARE(original.lastNumber, u"2971234500041"_s); // two books of one document
    QCOMPARE(original.amount, u"1050.00"_s);
    QCOMPARE(original.documentDate, u"2026-12-01"_s);
    QCOMPARE(original.passenger, u"HO/EVE MS"_s);
}

void TestDocumentReader::refundTypedFromTheGuide() {
    // A refund header leaves the airline blank; A11's amount is not the refund's.
    const QByteArray file = mirFile(
        header("ZZZZZZ", "     ", "TWD", "NNNNN0NNNAYR NNNX"),
        {u"A02LIN/MEIHUA MS                               6          01         ADT   0101N"_s,
         u"A02CHEN/JIANHONG MR                            6          01         ADT   0101N"_s,
         // A23: refunded document 3 (14), range end 18 (14), issue date 32,
         // passenger 48 (33).
         u"A23" "29712345000014" "-" "              " "01DEC26" "         " "LIN/MEIHUA MS"_s,
         u"TI:1234"_s,
         // BF: currency 3, base 6 (8), then refunded tax boxes from 14.
         u"BF:" "TWD" "15000.00" "T1:" "  500.00" "TW" "T2:" " 1234.50" "YQ" "T3:" "   65.50"
         "XT"_s,
         u"IT:" "   40.00" "YR" "   25.50" "G3"_s,
         u"PF:" " 1000.00"_s,
         // RA: fare used 3, cash refundable 11, credit used 19, credit
         // refundable 27, currency 35, total 38 (8).
         u"RA:" " 3000.00" "12800.00" "    0.00" "    0.00" "TWD" "12800.00"_s,
         u"A11" "S " "    12000.00"_s});
    const MirDocuments read = readDocuments(file);
    QCOMPARE(sectionsOf(read), QStringList{});
    QCOMPARE(eventsOf(read), QStringList{u"2971234500001 ticket refund"_s});
    const DocumentEvent& refund = read.events[0];
    // 15000 - 3000 + 1800 - 1000
    QCOMPARE(refund.amount, u"12800.00"_s);
    QCOMPARE(refund.penalty, u"1000.00"_s);
    QCOMPARE(refund.fareUsed, u"3000.00"_s);
    QCOMPARE(taxesOf(refund), (QStringList{u"TW 500.00"_s, u"YQ 1234.50"_s, u"YR 40.00"_s,
                                           u"G3 25.50"_s}));
    QCOMPARE(refund.documentDate, u"2026-12-01"_s);
    QCOMPARE(refund.passenger, u"LIN/MEIHUA MS"_s);
    QCOMPARE(refund.currency, u"TWD"_s);
    const Tree tree = interpreted(file);
    QCOMPARE(tree.verdict, u"interpreted"_s);
    QCOMPARE(tree.rloc, u"ZZZZZZ"_s);
    QCOMPARE(tree.airlineNumber, u"   "_s);
}

void TestDocumentReader::emdIssueTypedFromTheGuide() {
    const QByteArray file = mirFile(
        header("TPEK4T", "CI297", "   ", "NNNNN0NNNAYF NNNX"),
        {u"A02LIN/MEIHUA MS                               6          00                   N"_s,
         u"A02CHEN/JIANHONG MR                            6          00                   N"_s,
         // A29: passenger 3, segment 5, service 7, type 12, reason 13, name 14
         // (55), EMD number 69 (13), conjunction end 82 (13), carrier 95,
         // base currency 97 and amount 100 (12), total currency 142 and total 145 (12).
         u"A29" "01" "01" "BGGE" " " "A" "C"
         "LIN/MEIHUA MS                                          " "2975555500001"
         "             " "CI" "TWD" "     1500.00" "                              " "TWD"
         "     1575.00" "                                    "_s,
         u"ED-/RL-2971234500001/ER-NONREF"_s});
    const MirDocuments read = readDocuments(file);
    QCOMPARE(sectionsOf(read), QStringList{});
    QCOMPARE(eventsOf(read), QStringList{u"2975555500001 emd issue"_s});
    const DocumentEvent& emd = read.events[0];
    QCOMPARE(emd.amount, u"1575.00"_s);
    QCOMPARE(emd.currency, u"TWD"_s);
    QCOMPARE(emd.related, u"2971234500001"_s);
    QCOMPARE(emd.passenger, u"LIN/MEIHUA MS"_s);
    QCOMPARE(emd.airline, u"CI"_s);
    QCOMPARE(interpreted(file).names, (QStringList{u"LIN/MEIHUA MS"_s, u"CHEN/JIANHONG MR"_s}));
}

// Header line 4, column 12 says what the MIR is; column 7 whether it issues
// in exchange.
void TestDocumentReader::ticketingCommands_data() {
    QTest::addColumn<QString>("indicators");
    QTest::addColumn<int>("transaction");
    QTest::addColumn<int>("events");
    QTest::addColumn<int>("problems");
    const auto row = [](const char* name, const char* indicators, Transaction transaction,
                        int events, int problems) {
        QTest::newRow(name) << QString::fromLatin1(indicators) << int(transaction) << events
                            << problems;
    };
    row("H issue", "NNNNN0NNNAYH NNNX", Transaction::Issue, 2, 0);
    row("V void", "NNNNN0NNNAYV NNNX", Transaction::Void, 2, 0);
    row("A copy: no sale", "NNNNN0NNNAYA NNNX", Transaction::NonAccounting, 0, 0);
    row("X dual", "NNNNN0NNNAYX NNNX", Transaction::Special, 0, 0);
    row("U unvoid", "NNNNN0NNNAYU NNNX", Transaction::Unvoid, 0, 0);
    row("IN3 Y is no exchange", "NNYNN0NNNAYH NNNX", Transaction::Issue, 2, 0);
    row("blank is no issue", "NNNNN0NNNAY  NNNX", Transaction::Unknown, 0, 1);
    row("unknown code", "NNNNN0NNNAYQ NNNX", Transaction::Unknown, 0, 1);
    row("the old reader's column", "NNNNN0NNNAY  NNNH", Transaction::Unknown, 0, 1);
}

void TestDocumentReader::ticketingCommands() {
    QFETCH(QString, indicators);
    QFETCH(int, transaction);
    QFETCH(int, events);
    QFETCH(int, problems);
    const MirDocuments read = readDocuments(
        mirFile(header("TPEK4T", "CI297", "TWD", qPrintable(indicators)), kIssueSections));
    QCOMPARE(int(read.transaction), transaction);
    QCOMPARE(read.events.size(), events);
    QCOMPARE(read.problems.size(), problems);
}

void TestDocumentReader::damagedFilesAreProblemsNotDocuments_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("problems");
    const QByteArray issue = mirFile(kIssueHeader, kIssueSections);
    // Line 2 one character short and line 3 one longer: same size, wrong breaks.
    QByteArray moved = issue;
    moved.remove(100, 1).insert(200, ' ');
    QTest::newRow("header breaks moved") << moved << QStringList{} << QStringList{u"header"_s};
    QTest::newRow("a CR header read as 343 characters")
        << mirFile(QString(kIssueHeader).replace(u'\r', u' ').left(342) + u'\r', kIssueSections)
        << QStringList{} << QStringList{u"header"_s};
    QStringList shortLine = kIssueSections;
    shortLine[1].chop(1);
    QTest::newRow("A02 of 79 characters")
        << mirFile(kIssueHeader, shortLine) << QStringList{u"2971234500001 ticket issue"_s}
        << QStringList{u"A02"_s};
    QStringList letters = kIssueSections;
    letters[1].replace(48, 10, u"12345X0003"_s);
    QTest::newRow("serial with a letter")
        << mirFile(kIssueHeader, letters) << QStringList{u"2971234500001 ticket issue"_s}
        << QStringList{u"A02"_s};
    QStringList cut = kIssueSections;
    cut.removeAt(1);
    QTest::newRow("cut short: one A02 of two")
        << mirFile(kIssueHeader, cut) << QStringList{} << QStringList{u"header"_s};
    QStringList garbled = kIssueSections;
    garbled[4].replace(23, 12, u"    12X00.00"_s);
    QTest::newRow("fare total garbled")
        << mirFile(kIssueHeader, garbled)
        << QStringList{u"2971234500001 ticket issue"_s, u"2971234500003 ticket issue"_s}
        << QStringList{u"A07"_s};
}

void TestDocumentReader::damagedFilesAreProblemsNotDocuments() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, events);
    QFETCH(QStringList, problems);
    const MirDocuments read = readDocuments(file);
    QCOMPARE(eventsOf(read), events);
    QCOMPARE(sectionsOf(read), problems);
}

// A header of the test builder, given the values of a real one, parses
// field by field like it.
void TestDocumentReader::builderHeaderParsesLikeARealOne() {
    const QByteArray real = corpusFile(u"void-ticket.mir"_s);
    mirfiles::Header values = mirfiles::header(u"ZZZZZZ"_s, u'V');
    values.sequence = u"00937"_s;
    values.date = u"25DEC18"_s;
    values.time = u"0840 "_s;
    values.airline = u"OK"_s;
    values.airlineNumber = u"064"_s;
    values.airlineName = u"CSA CZECH AIRLINES"_s;
    values.firstTravel = QString();
    values.bookingPcc = QString();
    values.ticketingPcc = u"3Y6S"_s;
    values.iataNumber = u"99999992"_s;
    values.bookingAgent = QString();
    values.ticketingAgent = u"89"_s;
    values.fareCurrency = u"PLN"_s;
    values.decimals = u"0"_s;
    values.taxCurrency = u"KZT"_s;
    values.commission = QString();
    values.commissionRate = QString();
    values.indicators = u"NNNYN0NNYAYV NNN "_s;
    const QStringList sections{mirfiles::passenger(u"SAMPLOVA/TESTINA"_s, u"9903113763"_s),
                               mirfiles::fare(u"01"_s, u"18643"_s), mirfiles::payment(u"S"_s,
                                                                                       u"18643"_s)};
    const QString built = mirfiles::headerLines(values, sections, 601).join(u'\r') + u'\r';
    const QString realText = mir::mirTextFromBytes(real);
    const mir::HeaderLines builtLines = mir::headerLines(built);
    const mir::HeaderLines realLines = mir::headerLines(realText);
    QVERIFY(builtLines.conforming);
    QVERIFY(realLines.conforming);
    namespace h = mir::layout::header;
    for (const mir::MirField& field :
         {h::kId, h::kDeclaredSize, h::kSequence, h::kDate, h::kTime, h::kAirline,
          h::kAirlineNumber, h::kAirlineName, h::kFirstTravel, h::kBookingPcc, h::kTicketingPcc,
          h::kIataNumber, h::kRecordLocator, h::kBookingAgent, h::kTicketingAgent, h::kDutyCode,
          h::kFareCurrency, h::kFare, h::kDecimals, h::kTaxCurrency, h::kCommission,
          h::kCommissionRate, h::kTourCode, h::kIndicators, h::kPassengerCount,
          h::kAirSegmentCount, h::kFareCount, h::kExchangeCount})
        QVERIFY2(builtLines.field(field) == realLines.field(field), field.label);
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
    const QByteArray file = mirFile(kIssueHeader, kIssueSections);
    for (qsizetype size = 0; size <= file.size(); ++size)
        (void)readDocuments(file.left(size));
    QCOMPARE(sectionsOf(readDocuments(QByteArray("T5"))), QStringList{u"header"_s});
    QCOMPARE(sectionsOf(readDocuments(QByteArray("NOT A MIR"))), QStringList{u"header"_s});
}

QTEST_GUILESS_MAIN(TestDocumentReader)
#include "test_documentreader.moc"
