// The interpreter with real KORVA objects: what lands in the booking tree,
// and that bad input never fails.

#include "interpreter.h"
#include "mirbuilder.h"
#include "mirtext.h"
#include "testhome.h"

#include <QRandomGenerator>
#include <QTest>

using namespace mir;

namespace {

QString passengerLine(const QString& name, const QString& ticket = QStringLiteral("2970000001")) {
    return placed(
        {{1, QStringLiteral("A02")}, {4, name}, {49, ticket}, {59, QStringLiteral("01")}});
}

QString remarkLine(const QString& key, const QString& value) {
    return placed({{1, QStringLiteral("A14FT-")}, {7, key.leftJustified(10)}, {19, value}});
}

QString locatorLine(const QString& carrier, const QString& locator) {
    return placed({{1, QStringLiteral("A14VL-")}, {21, carrier}, {23, locator}});
}

// The texts of one property for every member of PAXS, in key order.
QStringList paxValues(const korva::Pnr& pnr, std::string_view name) {
    QStringList values;
    const auto paxs = pnr.paxs();
    for (int key = 1; key <= paxs.count(); ++key)
        values.append(paxs.item(key).get(name));
    return values;
}

} // namespace

class TestInterpreter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void verdictsCreateNoTree_data();
    void verdictsCreateNoTree();
    void headerColumns();
    void segmentColumns_data();
    void segmentColumns();
    void fareTakesTheLastLine();
    void firstNonEmptyCpnidWins();
    void amountRemarks_data();
    void amountRemarks();
    void handTickets_data();
    void handTickets();
    void carrierLocatorsNumberOn();
    void countsStartAtZeroForEveryFile();
    void badInputNeverFails_data();
    void badInputNeverFails();
    void locatorsStopAtSixteenBits();

private:
    TestHome* m_home = nullptr;
};

void TestInterpreter::init() {
    m_home = new TestHome(TestHome::Korva::Registered);
}

void TestInterpreter::cleanup() {
    delete m_home;
    m_home = nullptr;
}

void TestInterpreter::verdictsCreateNoTree_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Verdict>("verdict");
    QTest::newRow("empty file") << QByteArray() << Verdict::NotMir;
    QTest::newRow("only T5") << QByteArray("T5") << Verdict::Incomplete;
    QTest::newRow("a line of text") << QByteArray("Dear customer,\r\n") << Verdict::NotMir;
    const QByteArray complete = mirText({}, {passengerLine(QStringLiteral("LIN/A"))}).toLatin1();
    QTest::newRow("one character missing") << complete.chopped(2) << Verdict::Incomplete;
    QTest::newRow("one character too many") << complete + 'X' << Verdict::Incomplete;
}

void TestInterpreter::verdictsCreateNoTree() {
    QFETCH(QByteArray, bytes);
    QFETCH(Verdict, verdict);
    const Interpretation result = interpretMir(bytes);
    QCOMPARE(result.verdict, verdict);
    QVERIFY(!result.pnr);
    QVERIFY(result.Cpnid.isEmpty());
    QVERIFY(result.Cpnid2Source.isEmpty());
}

void TestInterpreter::headerColumns() {
    // Three lines: the header, one passenger, one segment; declared 343 + l2 + l3 + 2.
    const QString passenger = passengerLine(QStringLiteral("LIN/MEIHUA MS"));
    const QString segment = placed({{1, QStringLiteral("A04")}, {4, QStringLiteral("01CI")}});
    const QString text = mirText({{16, QStringLiteral("00003")},
                                  {21, QStringLiteral("07DEC26 1035")},
                                  {33, QStringLiteral("CI297")},
                                  {62, QStringLiteral("15JAN27")},
                                  {99, QStringLiteral("TPEK4T")},
                                  {223, QStringLiteral("0700K4TR7QW2X9MAB01")}},
                                 {passenger, segment});
    QCOMPARE(text.mid(10, 5).toInt(), 343 + passenger.size() + segment.size() + 2);

    const Interpretation result = interpretMirText(text);
    QCOMPARE(result.verdict, Verdict::Interpreted);
    QVERIFY(result.pnr);
    const korva::Pnr& pnr = *result.pnr;
    QCOMPARE(pnr.get("RLOC_CD"), QStringLiteral("TPEK4T"));
    QCOMPARE(pnr.get("SEQ_NO"), QStringLiteral("00003"));
    QCOMPARE(pnr.get("CRAT_DM"), QStringLiteral("07DEC26 1035"));
    QCOMPARE(pnr.get("CARR_CD"), QStringLiteral("CI"));
    QCOMPARE(pnr.get("NUM_CDE"), QStringLiteral("297"));
    QCOMPARE(pnr.get("TRVL_DT"), QStringLiteral("15JAN27"));
    QCOMPARE(pnr.get("COMM_RT"), QStringLiteral("0700"));
    QCOMPARE(result.Cpnid2Source, QStringLiteral("K4TR7QW2X9MAB01"));
    QCOMPARE(pnr.get("BASE_AM"), QString());
    QCOMPARE(pnr.paxs().count(), 1);
    QCOMPARE(pnr.itns().count(), 1);
    QCOMPARE(pnr.paxs().item(1).get("PAX_NM"), QStringLiteral("LIN/MEIHUA MS").leftJustified(33));
    QCOMPARE(pnr.itns().item(1).get("CARR_CD"), QStringLiteral("CI"));
    // The segment line ends at column 7: every later field is empty, the
    // flight number is zero-padded.
    QCOMPARE(pnr.itns().item(1).get("FLT_NO"), QStringLiteral("000"));
    QCOMPARE(pnr.itns().item(1).get("STOP_OV"), QString());
}

void TestInterpreter::segmentColumns_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("stopover");
    QTest::newRow("A04 takes column 85") << QStringLiteral("A04") << QStringLiteral("X");
    QTest::newRow("A05 takes column 83") << QStringLiteral("A05") << QStringLiteral("O");
}

void TestInterpreter::segmentColumns() {
    QFETCH(QString, code);
    QFETCH(QString, stopover);
    const QString line = placed({{1, code},
                                 {4, QStringLiteral("02BR")},
                                 {23, QStringLiteral("12  M OK22JAN2330 0150 1TPE")},
                                 {63, QStringLiteral("HKG")},
                                 {83, QStringLiteral("O")},
                                 {85, QStringLiteral("X")}});
    const Interpretation result = interpretMirText(mirText({}, {QStringLiteral("   ") + line}));
    const korva::Itn itn = result.pnr->itns().item(1);
    const QStringList expected = {"02",    "BR",    "012", "M ",  "OK",  "22JAN",
                                  "2330 ", "0150 ", "1",   "TPE", "HKG", stopover};
    const char* const names[] = {"ITN_IDX", "CARR_CD", "FLT_NO",  "TKT_CLS", "TKT_ST",  "DEP_DT",
                                 "DEP_TM",  "ARR_TM",  "NXDT_FG", "ORIG_CT", "DEST_CT", "STOP_OV"};
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(itn.get(names[i]), expected[i]);
}

void TestInterpreter::fareTakesTheLastLine() {
    const auto fare = [](const QString& base, const QString& a, const QString& b,
                         const QString& c) {
        return placed({{1, QStringLiteral("A07TWD")},
                       {9, base.rightJustified(12)},
                       {57, a.rightJustified(8)},
                       {70, b.rightJustified(8)},
                       {83, c.rightJustified(8)},
                       {91, QStringLiteral("YR")}});
    };
    const QString net = placed({{1, QStringLiteral("A2101")}, {7, QStringLiteral("  1500.50")}});
    const Interpretation result =
        interpretMirText(mirText({}, {fare(QStringLiteral("99.99"), QStringLiteral("1"),
                                           QStringLiteral("1"), QStringLiteral("1")),
                                      net,
                                      fare(QStringLiteral("15000.5"), QStringLiteral("100"),
                                           QStringLiteral("20"), QStringLiteral("3"))}));
    QCOMPARE(result.pnr->get("BASE_AM"), QStringLiteral("15000"));
    QCOMPARE(result.pnr->get("TAX_AMB"), QStringLiteral("123"));
    QCOMPARE(result.pnr->get("TKT_NETB"), QStringLiteral("1500"));
}

void TestInterpreter::firstNonEmptyCpnidWins() {
    const Interpretation result = interpretMirText(
        mirText({}, {QStringLiteral("A0801FC"), QStringLiteral("A0801FC12345678TPE"),
                     QStringLiteral("A0801FC87654321TPE")}));
    QCOMPARE(result.Cpnid, QStringLiteral("12345678"));
}

void TestInterpreter::amountRemarks_data() {
    QTest::addColumn<QStringList>("remarks");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QStringList>("values"); // for passengers 1 to 3
    const auto remark = remarkLine;
    QTest::newRow("selling price of the second passenger")
        << QStringList{remark(QStringLiteral("SELL PRICE"), QStringLiteral("2*16800.50"))}
        << QByteArray("TKT_AMS") << QStringList{"", "16800", ""};
    QTest::newRow("later remark overwrites")
        << QStringList{remark(QStringLiteral("**NET FARE"), QStringLiteral("3*100")),
                       remark(QStringLiteral("**net fare"), QStringLiteral("3*13.5"))}
        << QByteArray("TKT_NET") << QStringList{"", "", "14"};
    QTest::newRow("airport taxes add up")
        << QStringList{remark(QStringLiteral("**APT TAX1"), QStringLiteral("1*100")),
                       remark(QStringLiteral("**APT TAX2"), QStringLiteral("1*50")),
                       remark(QStringLiteral("**APT TAX"), QStringLiteral("1*-30"))}
        << QByteArray("TKT_TAX") << QStringList{"120", "", ""};
    QTest::newRow("no amount reads as 0")
        << QStringList{remark(QStringLiteral("SELL PRICE"), QStringLiteral("1"))}
        << QByteArray("TKT_AMS") << QStringList{"0", "", ""};
    QTest::newRow("passengers that do not exist")
        << QStringList{remark(QStringLiteral("SELL PRICE"), QStringLiteral("4*100")),
                       remark(QStringLiteral("SELL PRICE"), QStringLiteral("0*100")),
                       remark(QStringLiteral("SELL PRICE"), QStringLiteral("-1*100")),
                       remark(QStringLiteral("SELL PRICE"), QStringLiteral("*100")),
                       remark(QStringLiteral("SELL PRICE"), QStringLiteral("65537*100")),
                       remark(QStringLiteral("SELL PRICE"),
                              QStringLiteral("99999999999999999999999*100"))}
        << QByteArray("TKT_AMS") << QStringList{"", "", ""};
    QTest::newRow("amounts beyond 32 bits change nothing")
        << QStringList{remark(QStringLiteral("SELL PRICE"), QStringLiteral("1*2147483647")),
                       remark(QStringLiteral("SELL PRICE"), QStringLiteral("1*2147483648")),
                       remark(QStringLiteral("SELL PRICE"), QStringLiteral("2*-2147483648")),
                       remark(QStringLiteral("SELL PRICE"), QStringLiteral("2*-2147483649")),
                       remark(QStringLiteral("SELL PRICE"),
                              QStringLiteral("3*1") + QString(5000, QLatin1Char('0')))}
        << QByteArray("TKT_AMS") << QStringList{"2147483647", "-2147483648", ""};
    QTest::newRow("airport taxes add past 32 bits")
        << QStringList{remark(QStringLiteral("**APT TAX"), QStringLiteral("1*2147483647")),
                       remark(QStringLiteral("**APT TAX"), QStringLiteral("1*2147483647"))}
        << QByteArray("TKT_TAX") << QStringList{"4294967294", "", ""};
}

void TestInterpreter::amountRemarks() {
    QFETCH(QStringList, remarks);
    QFETCH(QByteArray, property);
    QFETCH(QStringList, values);
    const QStringList passengers = {passengerLine(QStringLiteral("A/A")),
                                    passengerLine(QStringLiteral("B/B")),
                                    passengerLine(QStringLiteral("C/C"))};
    const Interpretation result = interpretMirText(mirText({}, passengers + remarks));
    QCOMPARE(paxValues(*result.pnr, property.toStdString()), values);
}

void TestInterpreter::handTickets_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("tickets"); // TKT_NO1 to TKT_NO5 of passenger 2
    QTest::newRow("position 1") << QStringLiteral("****TKNO-1")
                                << QStringLiteral("2*2979876543210XX")
                                << QStringList{"2979876543210", "", "", "", ""};
    QTest::newRow("position 5") << QStringLiteral("****tkno-5") << QStringLiteral("2*297")
                                << QStringList{"", "", "", "", "297"};
    QTest::newRow("position 6") << QStringLiteral("****TKNO-6") << QStringLiteral("2*297")
                                << QStringList{"", "", "", "", ""};
    QTest::newRow("position 0") << QStringLiteral("****TKNO-0") << QStringLiteral("2*297")
                                << QStringList{"", "", "", "", ""};
    QTest::newRow("position letter") << QStringLiteral("****TKNO-A") << QStringLiteral("2*297")
                                     << QStringList{"", "", "", "", ""};
    QTest::newRow("other passenger") << QStringLiteral("****TKNO-1") << QStringLiteral("1*297")
                                     << QStringList{"", "", "", "", ""};
    QTest::newRow("missing passenger") << QStringLiteral("****TKNO-1") << QStringLiteral("9*297")
                                       << QStringList{"", "", "", "", ""};
}

void TestInterpreter::handTickets() {
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QStringList, tickets);
    const Interpretation result = interpretMirText(
        mirText({}, {passengerLine(QStringLiteral("A/A")), passengerLine(QStringLiteral("B/B")),
                     remarkLine(key, value)}));
    const korva::Pax pax = result.pnr->paxs().item(2);
    const QStringList actual = {pax.get("TKT_NO1"), pax.get("TKT_NO2"), pax.get("TKT_NO3"),
                                pax.get("TKT_NO4"), pax.get("TKT_NO5")};
    QCOMPARE(actual, tickets);
}

void TestInterpreter::carrierLocatorsNumberOn() {
    const Interpretation result = interpretMirText(
        mirText({}, {locatorLine(QStringLiteral("CI"), QStringLiteral("AAA111")),
                     locatorLine(QStringLiteral("1A"), QStringLiteral("BBB222")),
                     locatorLine(QStringLiteral("CA"), QStringLiteral("CCC333"))}));
    const auto crls = result.pnr->crls();
    QCOMPARE(crls.count(), 1 + 8 + 5);
    QStringList carriers;
    for (int key = 1; key <= crls.count(); ++key)
        carriers.append(crls.item(key).get("CARR_CD"));
    QCOMPARE(carriers, QStringList({"CI", "1A", "AF", "BD", "IB", "LA", "LH", "OS", "RG", "CA",
                                    "CZ", "FM", "MU", "NX"}));
    QCOMPARE(crls.item(9).get("RLOC_CD"), QStringLiteral("BBB222"));
    QCOMPARE(crls.item(14).get("RLOC_CD"), QStringLiteral("CCC333"));
}

void TestInterpreter::countsStartAtZeroForEveryFile() {
    const QString text =
        mirText({}, {passengerLine(QStringLiteral("A/A")), placed({{1, QStringLiteral("A0401CI")}}),
                     locatorLine(QStringLiteral("CI"), QStringLiteral("AAA111")),
                     remarkLine(QStringLiteral("SELL PRICE"), QStringLiteral("1*5"))});
    const Interpretation first = interpretMirText(text);
    const Interpretation second = interpretMirText(text);
    QVERIFY(!first.pnr->isSameObject(*second.pnr));
    for (const Interpretation* result : {&first, &second}) {
        QCOMPARE(result->pnr->paxs().count(), 1);
        QCOMPARE(result->pnr->paxs().item(1).get("TKT_AMS"), QStringLiteral("5"));
        QCOMPARE(result->pnr->itns().count(), 1);
        QVERIFY(result->pnr->itns().find(1));
        QCOMPARE(result->pnr->crls().count(), 1);
        QVERIFY(result->pnr->crls().find(1));
    }
}

void TestInterpreter::badInputNeverFails_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Verdict>("verdict");

    QByteArray binary(60000, '\0');
    QRandomGenerator random(20261207);
    for (char& byte : binary)
        byte = char(random.bounded(256));
    QTest::newRow("binary, not MIR") << QByteArray("\x7f"
                                                   "ELF") +
                                            binary
                                     << Verdict::NotMir;
    binary.replace(0, 15, "T5        00000");
    QByteArray complete = binary;
    const QByteArray declared =
        QByteArray::number(mirTextFromBytes(binary).size() - 1).rightJustified(5, '0');
    complete.replace(10, 5, declared);
    QTest::newRow("binary declared complete") << complete << Verdict::Interpreted;

    // Eight lines of 10000 characters: as much as a five-digit declared length allows.
    const QString longLine = QString(10000, QLatin1Char('9'));
    QTest::newRow("lines of 10000 characters")
        << mirText({{16, longLine}},
                   {QStringLiteral("A02") + longLine, QStringLiteral("A05") + longLine,
                    QStringLiteral("A07") + longLine, QStringLiteral("A21") + longLine,
                    QStringLiteral("A14FT-SELL PRICE  ") + longLine,
                    QStringLiteral("A14FT-**APT TAX   1*") + longLine,
                    QStringLiteral("A14VL-") + longLine, longLine})
               .toLatin1()
        << Verdict::Interpreted;
    QTest::newRow("header of 36 characters")
        << declaredComplete(QStringLiteral("T5        00000CI2970700K4TR7QW2X9MA\r")).toLatin1()
        << Verdict::Interpreted;
    QTest::newRow("header of 200 characters, then sections")
        << declaredComplete(QStringLiteral("T5").leftJustified(200) +
                            QStringLiteral("\rA02LIN/A\rA14VL-") + QString(14, QLatin1Char(' ')) +
                            QStringLiteral("1AABC123\r"))
               .toLatin1()
        << Verdict::Interpreted;
    QTest::newRow("only CRs after the header")
        << mirText({}, QStringList(2000, QString())).toLatin1() << Verdict::Interpreted;
}

void TestInterpreter::badInputNeverFails() {
    QFETCH(QByteArray, bytes);
    QFETCH(Verdict, verdict);
    const Interpretation result = interpretMir(bytes);
    QCOMPARE(result.verdict, verdict);
    QCOMPARE(result.pnr.has_value(), verdict == Verdict::Interpreted);
}

void TestInterpreter::locatorsStopAtSixteenBits() {
    // Eight locators per "1A" remark; the text can hold more than a 16-bit key can number.
    const QString line = placed({{1, QStringLiteral("A14VL")}, {21, QStringLiteral("1A")}});
    const Interpretation result = interpretMirText(mirText({}, QStringList(4300, line)));
    QCOMPARE(result.verdict, Verdict::Interpreted);
    const auto crls = result.pnr->crls();
    QCOMPARE(crls.count(), 32767);
    QCOMPARE(crls.item(32767).get("CARR_CD"), QStringLiteral("OS"));
}

QTEST_GUILESS_MAIN(TestInterpreter)
#include "test_interpreter.moc"
