// The parts of the interpreter that work on text alone: the file text, the
// columns, SplitToken, the numbers, the section fields, the remark rules and
// the verdicts.

#include "columns.h"
#include "interpreter.h"
#include "mirtext.h"
#include "numericvalue.h"
#include "remarkrules.h"
#include "sectionfields.h"
#include "testhome.h"

#include <QTest>

using namespace mir;

class TestMirFields : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fileText_data();
    void fileText();
    void fileTextKeepsEveryByte();
    void readMissingFile();
    void columns_data();
    void columns();
    void splitToken_data();
    void splitToken();
    void splitTokenConsumesAnySource();
    void numericValue_data();
    void numericValue();
    void narrowing_data();
    void narrowing();
    void flightNumber_data();
    void flightNumber();
    void conjunctionEnding_data();
    void conjunctionEnding();
    void remarkRule_data();
    void remarkRule();
    void carrierLists();
    void verdict_data();
    void verdict();
};

void TestMirFields::fileText_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty file") << QByteArray() << QString();
    QTest::newRow("CR ends") << QByteArray("ab\rcd\r") << QStringLiteral("ab\rcd\r");
    QTest::newRow("LF ends") << QByteArray("ab\ncd\n") << QStringLiteral("ab\rcd\r");
    QTest::newRow("CR LF ends") << QByteArray("ab\r\ncd\r\n") << QStringLiteral("ab\rcd\r");
    QTest::newRow("last line without end") << QByteArray("ab\r\ncd") << QStringLiteral("ab\rcd\r");
    QTest::newRow("empty lines") << QByteArray("\r\n\n\r") << QStringLiteral("\r\r\r");
    QTest::newRow("CR then CR LF") << QByteArray("a\r\r\nb") << QStringLiteral("a\r\rb\r");
    QTest::newRow("LF CR is two ends") << QByteArray("a\n\rb") << QStringLiteral("a\r\rb\r");
    QTest::newRow("form feed line") << QByteArray("a\r\x0c") << QStringLiteral("a\r\x0c\r");
}

void TestMirFields::fileText() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(mirTextFromBytes(bytes), text);
}

void TestMirFields::fileTextKeepsEveryByte() {
    QByteArray bytes;
    for (int code = 0; code < 256; ++code) {
        if (code != '\r' && code != '\n')
            bytes.append(char(code));
    }
    const QString text = mirTextFromBytes(bytes);
    QCOMPARE(text.size(), bytes.size() + 1);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        QCOMPARE(text[i].unicode(), static_cast<uchar>(bytes[i]));
}

void TestMirFields::readMissingFile() {
    TestHome home;
    const MirFileText missing = readMirText(home.root() + QStringLiteral("/none.mir"));
    QVERIFY(!missing.ok);
    QVERIFY(!missing.errorText.isEmpty());
    const MirFileText folder = readMirText(home.folder(QStringLiteral("mirs")));
    QVERIFY(!folder.ok);

    const QString path = home.root() + QStringLiteral("/one.mir");
    writeFileBytes(path, QByteArray("T5\r\n\xe9"));
    const MirFileText read = readMirText(path);
    QVERIFY(read.ok);
    QCOMPARE(read.text, QStringLiteral("T5\r\u00e9\r"));
}

void TestMirFields::columns_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QString>("field");
    const QString line = QStringLiteral("A02ABCDEF");
    QTest::newRow("inside") << line << 4 << 6 << QStringLiteral("ABC");
    QTest::newRow("one column") << line << 1 << 1 << QStringLiteral("A");
    QTest::newRow("runs past the end") << line << 7 << 36 << QStringLiteral("DEF");
    QTest::newRow("starts at the last") << line << 9 << 12 << QStringLiteral("F");
    QTest::newRow("starts past the end") << line << 10 << 12 << QString();
    QTest::newRow("empty line") << QString() << 1 << 3 << QString();
}

void TestMirFields::columns() {
    QFETCH(QString, line);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QString, field);
    QCOMPARE(mir::columns(line, first, last).toString(), field);
}

void TestMirFields::splitToken_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("rest");
    QTest::newRow("found") << QStringLiteral("1*250") << QStringLiteral("*") << QStringLiteral("1")
                           << QStringLiteral("250");
    QTest::newRow("first of several") << QStringLiteral("1*2*3") << QStringLiteral("*")
                                      << QStringLiteral("1") << QStringLiteral("2*3");
    QTest::newRow("at position 1")
        << QStringLiteral("*250") << QStringLiteral("*") << QString() << QStringLiteral("250");
    QTest::newRow("missing") << QStringLiteral("250") << QStringLiteral("*")
                             << QStringLiteral("250") << QString();
    QTest::newRow("last character")
        << QStringLiteral("A02\r") << QStringLiteral("\r") << QStringLiteral("A02") << QString();
    QTest::newRow("letter case ignored") << QStringLiteral("abXcd") << QStringLiteral("x")
                                         << QStringLiteral("ab") << QStringLiteral("cd");
    QTest::newRow("long separator removes one character")
        << QStringLiteral("ab--cd") << QStringLiteral("--") << QStringLiteral("ab")
        << QStringLiteral("-cd");
    QTest::newRow("empty source") << QString() << QStringLiteral("*") << QString() << QString();
}

void TestMirFields::splitToken() {
    QFETCH(QString, source);
    QFETCH(QString, separator);
    QFETCH(QString, token);
    QFETCH(QString, rest);
    QStringView remaining = source;
    QCOMPARE(SplitToken(remaining, separator).toString(), token);
    QCOMPARE(remaining.toString(), rest);
}

void TestMirFields::splitTokenConsumesAnySource() {
    // A loop until the source is empty ends, whatever the separator.
    const QString source = QStringLiteral("\r\rab\r*\r\r");
    for (const QString& separator : {QStringLiteral("\r"), QStringLiteral("*"), QString()}) {
        QStringView remaining = source;
        int calls = 0;
        while (!remaining.isEmpty() && calls <= source.size()) {
            SplitToken(remaining, separator);
            ++calls;
        }
        QVERIFY2(remaining.isEmpty(), qPrintable(separator));
    }
}

void TestMirFields::numericValue_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("rounded");
    QTest::newRow("empty") << QString() << QStringLiteral("0");
    QTest::newRow("no leading number") << QStringLiteral("TWD100") << QStringLiteral("0");
    QTest::newRow("plain") << QStringLiteral("1234") << QStringLiteral("1234");
    QTest::newRow("leading zeros") << QStringLiteral("00042") << QStringLiteral("42");
    QTest::newRow("blanks anywhere") << QStringLiteral("  1 2 3 ") << QStringLiteral("123");
    QTest::newRow("stops at a letter") << QStringLiteral("12.5XT9") << QStringLiteral("12");
    QTest::newRow("second point stops") << QStringLiteral("1.2.9") << QStringLiteral("1");
    QTest::newRow("half down to even") << QStringLiteral("12.5") << QStringLiteral("12");
    QTest::newRow("half up to even") << QStringLiteral("13.5") << QStringLiteral("14");
    QTest::newRow("just above half") << QStringLiteral("12.5000001") << QStringLiteral("13");
    QTest::newRow("below half") << QStringLiteral("12.4999999") << QStringLiteral("12");
    QTest::newRow("half of zero") << QStringLiteral("0.5") << QStringLiteral("0");
    QTest::newRow("fraction only") << QStringLiteral(".75") << QStringLiteral("1");
    QTest::newRow("carry through nines") << QStringLiteral("999.6") << QStringLiteral("1000");
    QTest::newRow("negative half") << QStringLiteral("-2.5") << QStringLiteral("-2");
    QTest::newRow("negative rounds away") << QStringLiteral("-3.5") << QStringLiteral("-4");
    QTest::newRow("no minus zero") << QStringLiteral("-0.4") << QStringLiteral("0");
    QTest::newRow("plus sign") << QStringLiteral("+7") << QStringLiteral("7");
    QTest::newRow("sign alone") << QStringLiteral("-") << QStringLiteral("0");
    QTest::newRow("no exponent") << QStringLiteral("1E5") << QStringLiteral("1");
    QTest::newRow("longer than 64 bits") << QStringLiteral("123456789012345678901234567890.5")
                                         << QStringLiteral("123456789012345678901234567890");
}

void TestMirFields::numericValue() {
    QFETCH(QString, text);
    QFETCH(QString, rounded);
    QCOMPARE(NumericValue::of(text).roundedText(), rounded);
}

void TestMirFields::narrowing_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fits16");
    QTest::addColumn<bool>("fits32");
    QTest::newRow("small") << QStringLiteral("3") << true << true;
    QTest::newRow("16-bit top") << QStringLiteral("32767") << true << true;
    QTest::newRow("16-bit top rounds over") << QStringLiteral("32767.5") << false << true;
    QTest::newRow("16-bit bottom") << QStringLiteral("-32768") << true << true;
    QTest::newRow("below 16 bits") << QStringLiteral("-32769") << false << true;
    QTest::newRow("32-bit top") << QStringLiteral("2147483647.4") << false << true;
    QTest::newRow("32-bit top rounds over") << QStringLiteral("2147483647.5") << false << false;
    QTest::newRow("32-bit bottom") << QStringLiteral("-2147483648") << false << true;
    QTest::newRow("beyond 64 bits") << QStringLiteral("99999999999999999999") << false << false;
}

void TestMirFields::narrowing() {
    QFETCH(QString, text);
    QFETCH(bool, fits16);
    QFETCH(bool, fits32);
    const NumericValue value = NumericValue::of(text);
    QCOMPARE(value.rounded16().has_value(), fits16);
    QCOMPARE(value.rounded32().has_value(), fits32);
    if (fits32)
        QCOMPARE(QString::number(*value.rounded32()), value.roundedText());
}

void TestMirFields::flightNumber_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("flight");
    QTest::newRow("two digits, two blanks") << QStringLiteral("12  ") << QStringLiteral("012");
    QTest::newRow("one digit") << QStringLiteral("7   ") << QStringLiteral("007");
    QTest::newRow("leading blanks") << QStringLiteral("  65") << QStringLiteral("065");
    QTest::newRow("four digits") << QStringLiteral("1234") << QStringLiteral("1234");
    QTest::newRow("three digits keep the blank")
        << QStringLiteral("867 ") << QStringLiteral("867 ");
    QTest::newRow("blank field") << QStringLiteral("    ") << QStringLiteral("000");
    QTest::newRow("cut short") << QStringLiteral("5") << QStringLiteral("005");
}

void TestMirFields::flightNumber() {
    QFETCH(QString, field);
    QFETCH(QString, flight);
    QCOMPARE(mir::flightNumber(field), flight);
}

void TestMirFields::conjunctionEnding_data() {
    QTest::addColumn<QString>("ticket");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("ending");
    QTest::newRow("two tickets") << QStringLiteral("2971234510") << QStringLiteral("02")
                                 << QStringLiteral("11");
    QTest::newRow("wraps past 99")
        << QStringLiteral("2971234598") << QStringLiteral("03") << QStringLiteral("00");
    QTest::newRow("count 1") << QStringLiteral("2971234598") << QStringLiteral("01") << QString();
    QTest::newRow("blank count") << QStringLiteral("2971234598") << QStringLiteral("  ")
                                 << QString();
    QTest::newRow("missing count") << QStringLiteral("2971234598") << QString() << QString();
    QTest::newRow("count 1.5") << QStringLiteral("2971234510") << QStringLiteral("1.5")
                               << QStringLiteral(".5");
    QTest::newRow("short ticket") << QStringLiteral("7") << QStringLiteral("02")
                                  << QStringLiteral("08");
    QTest::newRow("no ticket") << QString() << QStringLiteral("99") << QStringLiteral("98");
}

void TestMirFields::conjunctionEnding() {
    QFETCH(QString, ticket);
    QFETCH(QString, count);
    QFETCH(QString, ending);
    QCOMPARE(mir::conjunctionEnding(ticket, count), ending);
}

void TestMirFields::remarkRule_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<RemarkRule>("rule");
    QTest::newRow("selling price")
        << QStringLiteral("A14FT-SELL PRICE  1*100") << RemarkRule::SellingPrice;
    QTest::newRow("selling price, any case")
        << QStringLiteral("A14FT-Sell Price  1*100") << RemarkRule::SellingPrice;
    QTest::newRow("selling price ignores columns 17-18")
        << QStringLiteral("A14FT-SELL PRICE-X1*100") << RemarkRule::SellingPrice;
    QTest::newRow("selling price needs ten characters")
        << QStringLiteral("A14FT-SELL PRIC") << RemarkRule::None;
    QTest::newRow("net fare") << QStringLiteral("A14FT-**NET FARE  1*100") << RemarkRule::NetFare;
    QTest::newRow("net fare cut short") << QStringLiteral("A14FT-**NET FAR") << RemarkRule::None;
    QTest::newRow("airport tax, any tenth character")
        << QStringLiteral("A14FT-**APT TAXQ  1*100") << RemarkRule::AirportTax;
    QTest::newRow("airport tax of nine characters")
        << QStringLiteral("A14FT-**APT TAX") << RemarkRule::AirportTax;
    QTest::newRow("hand ticket") << QStringLiteral("A14FT-****TKNO-3  1*297")
                                 << RemarkRule::HandTicket;
    QTest::newRow("carrier locator")
        << QStringLiteral("A14VL-CRS LOCATOR   1AABC123") << RemarkRule::CarrierLocator;
    QTest::newRow("rule before locator")
        << QStringLiteral("A14VL-SELL PRICE  1*100") << RemarkRule::SellingPrice;
    QTest::newRow("lower-case vl")
        << QStringLiteral("A14vl-CRS LOCATOR   1AABC123") << RemarkRule::None;
    QTest::newRow("free text") << QStringLiteral("A14FT-PLEASE CALL") << RemarkRule::None;
    QTest::newRow("bare code") << QStringLiteral("A14") << RemarkRule::None;
}

void TestMirFields::remarkRule() {
    QFETCH(QString, line);
    QFETCH(RemarkRule, rule);
    QCOMPARE(mir::remarkRule(line), rule);
}

void TestMirFields::carrierLists() {
    QCOMPARE(carriersSharingLocator(u"1A"),
             QStringList({"AF", "BD", "IB", "LA", "LH", "OS", "RG"}));
    QCOMPARE(carriersSharingLocator(u"CA"), QStringList({"CZ", "FM", "MU", "NX"}));
    QVERIFY(carriersSharingLocator(u"ca").isEmpty());
    QVERIFY(carriersSharingLocator(u"CI").isEmpty());
}

void TestMirFields::verdict_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<Verdict>("verdict");
    QTest::newRow("empty") << QString() << Verdict::NotMir;
    QTest::newRow("lower-case t5") << QStringLiteral("t5        00010\r") << Verdict::NotMir;
    QTest::newRow("blank first") << QStringLiteral(" T5       00010\r") << Verdict::NotMir;
    QTest::newRow("only T5") << QStringLiteral("T5\r") << Verdict::Incomplete;
    QTest::newRow("declared length met")
        << QStringLiteral("T5        00015\r") << Verdict::Interpreted;
    QTest::newRow("declared one too many")
        << QStringLiteral("T5        00016\r") << Verdict::Incomplete;
    QTest::newRow("declared with blanks")
        << QStringLiteral("T5        1 5  \r") << Verdict::Interpreted;
    QTest::newRow("declared with a fraction")
        << QStringLiteral("T5        15.5 \r") << Verdict::Incomplete;
    QTest::newRow("declared 15.0") << QStringLiteral("T5        15.0 \r") << Verdict::Interpreted;
}

void TestMirFields::verdict() {
    QFETCH(QString, text);
    QFETCH(Verdict, verdict);
    QCOMPARE(judgeMirText(text), verdict);
}

QTEST_GUILESS_MAIN(TestMirFields)
#include "test_mirfields.moc"
