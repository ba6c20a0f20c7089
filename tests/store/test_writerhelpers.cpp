#include "leadingnumber.h"
#include "segmentorder.h"
#include "storeerror.h"
#include "ticketvalues.h"
#include "xmltext.h"

#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

class TestWriterHelpers : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void leadingNumber_data();
    void leadingNumber();
    void xmlElement_data();
    void xmlElement();
    void xmlElementWithoutForbiddenCharacters();
    void ticketAmounts_data();
    void ticketAmounts();
    void taxMustBeAnAmount_data();
    void taxMustBeAnAmount();
    void segmentOrder_data();
    void segmentOrder();
    void segmentIndexTooLarge();
};

void TestWriterHelpers::leadingNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<qint64>("units"); // as a currency amount
    QTest::newRow("letters after") << "1250.00ABC"
                                   << "1250.00" << 12500000LL;
    QTest::newRow("empty") << ""
                           << "" << 0LL;
    QTest::newRow("no number") << "ABC"
                               << "" << 0LL;
    QTest::newRow("blanks, tabs, line feeds anywhere") << " 1 2\t3\n4"
                                                       << "1234" << 12340000LL;
    QTest::newRow("negative") << "-17.5"
                              << "-17.5" << -175000LL;
    QTest::newRow("plus sign") << "+8"
                               << "+8" << 80000LL;
    QTest::newRow("sign alone") << "-"
                                << "" << 0LL;
    QTest::newRow("second full stop ends it") << "1.2.3"
                                              << "1.2" << 12000LL;
    QTest::newRow("leading full stop") << ".5"
                                       << ".5" << 5000LL;
    QTest::newRow("trailing full stop") << "7."
                                        << "7" << 70000LL;
    QTest::newRow("comma is no decimal point") << "1,5"
                                               << "1" << 10000LL;
    QTest::newRow("no exponent") << "1E3"
                                 << "1" << 10000LL;
}

void TestWriterHelpers::leadingNumber() {
    QFETCH(QString, text);
    QFETCH(QString, prefix);
    QFETCH(qint64, units);
    QCOMPARE(leadingNumberText(text), prefix);
    QCOMPARE(leadingNumberCurrency(text).units(), units);
    QCOMPARE(::leadingNumber(text), double(units) / 10000);
}

void TestWriterHelpers::xmlElement_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("element");
    QTest::newRow("plain value unchanged") << "CHEN/MEI MS"
                                           << "<PSGRNME>CHEN/MEI MS</PSGRNME>";
    QTest::newRow("empty value") << ""
                                 << "<PSGRNME></PSGRNME>";
    QTest::newRow("blanks kept") << " A "
                                 << "<PSGRNME> A </PSGRNME>";
    QTest::newRow("markup characters")
        << "A&B <C> \"D\" 'E'"
        << "<PSGRNME>A&amp;B &lt;C&gt; &quot;D&quot; &apos;E&apos;</PSGRNME>";
    QTest::newRow("entity-like text") << "&amp;"
                                      << "<PSGRNME>&amp;amp;</PSGRNME>";
    QTest::newRow("Chinese") << "陳美"
                             << "<PSGRNME>陳美</PSGRNME>";
}

void TestWriterHelpers::xmlElement() {
    QFETCH(QString, value);
    QFETCH(QString, element);
    QString xml;
    appendXmlElement(xml, u"PSGRNME", value);
    QCOMPARE(xml, element);
    QXmlStreamReader reader(xml);
    QVERIFY(reader.readNextStartElement());
    QCOMPARE(reader.readElementText(), value);
    QVERIFY(!reader.hasError());
}

// A stray control byte of a MIR file must not make the booking document unloadable.
void TestWriterHelpers::xmlElementWithoutForbiddenCharacters() {
    QString xml;
    appendXmlElement(xml, u"PSGRNME",
                     QStringLiteral("A") + QChar(0x01) + QStringLiteral("B") + QChar(0x1F) +
                         QStringLiteral("\tC") + QChar(0xFFFF));
    QCOMPARE(xml, QStringLiteral("<PSGRNME>A B \tC </PSGRNME>"));
    QXmlStreamReader reader(xml);
    QVERIFY(reader.readNextStartElement());
    QCOMPARE(reader.readElementText(), QStringLiteral("A B \tC "));
    QVERIFY(!reader.hasError());
}

void TestWriterHelpers::ticketAmounts_data() {
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("netb");
    QTest::addColumn<QString>("comm");
    QTest::addColumn<QString>("tax");
    QTest::addColumn<QString>("expectedBase");
    QTest::addColumn<QString>("expectedNet");
    QTest::addColumn<QString>("expectedTax");
    QTest::newRow("7 % of 250, half to even down") << "250"
                                                   << "0"
                                                   << "700"
                                                   << "38"
                                                   << "250"
                                                   << "232"
                                                   << "38";
    QTest::newRow("7 % of 750, half to even up") << "750"
                                                 << "0"
                                                 << "700"
                                                 << "0"
                                                 << "750"
                                                 << "698"
                                                 << "0";
    QTest::newRow("7 % of 1000") << "1000"
                                 << "0"
                                 << "700"
                                 << "0"
                                 << "1000"
                                 << "930"
                                 << "0";
    QTest::newRow("commission 100 is the lowest") << "1000"
                                                  << "0"
                                                  << "100"
                                                  << "0"
                                                  << "1000"
                                                  << "990"
                                                  << "0";
    QTest::newRow("commission 9999 is the highest") << "10000"
                                                    << "0"
                                                    << "9999"
                                                    << "0"
                                                    << "10000"
                                                    << "1"
                                                    << "0";
    QTest::newRow("commission 50 too small") << "1000"
                                             << "0"
                                             << "50"
                                             << "0"
                                             << "1000"
                                             << "0"
                                             << "0";
    QTest::newRow("commission 10000 too large") << "1000"
                                                << "0"
                                                << "10000"
                                                << "0"
                                                << "1000"
                                                << "0"
                                                << "0";
    QTest::newRow("net fare given") << "1000"
                                    << "880"
                                    << "700"
                                    << "0"
                                    << "1000"
                                    << "880"
                                    << "0";
    QTest::newRow("empty net counts as 0") << "1000"
                                           << ""
                                           << "700"
                                           << "0"
                                           << "1000"
                                           << "930"
                                           << "0";
    QTest::newRow("no base") << ""
                             << "0"
                             << "700"
                             << "0"
                             << "0"
                             << "0"
                             << "0";
    QTest::newRow("base with letters") << "1250.00ABC"
                                       << "0"
                                       << ""
                                       << "0"
                                       << "1250"
                                       << "0"
                                       << "0";
    QTest::newRow("tax with decimals and blanks") << "100"
                                                  << "5"
                                                  << ""
                                                  << " 997.5 "
                                                  << "100"
                                                  << "5"
                                                  << "997.5";
    QTest::newRow("negative tax") << "100"
                                  << "5"
                                  << ""
                                  << "-12.25"
                                  << "100"
                                  << "5"
                                  << "-12.25";
    QTest::newRow("no fare section: empty tax is 0") << "0"
                                                     << ""
                                                     << ""
                                                     << ""
                                                     << "0"
                                                     << "0"
                                                     << "0";
    QTest::newRow("blank tax is 0") << "100"
                                    << "5"
                                    << ""
                                    << "   "
                                    << "100"
                                    << "5"
                                    << "0";
}

void TestWriterHelpers::ticketAmounts() {
    QFETCH(QString, base);
    QFETCH(QString, netb);
    QFETCH(QString, comm);
    QFETCH(QString, tax);
    QFETCH(QString, expectedBase);
    QFETCH(QString, expectedNet);
    QFETCH(QString, expectedTax);
    const TicketAmounts amounts = ::ticketAmounts(base, netb, comm, tax);
    QCOMPARE(amounts.base.toPlainText(), expectedBase);
    QCOMPARE(amounts.net.toPlainText(), expectedNet);
    QCOMPARE(amounts.tax.toPlainText(), expectedTax);
}

void TestWriterHelpers::taxMustBeAnAmount_data() {
    QTest::addColumn<QString>("tax");
    QTest::newRow("letters") << "TAX";
    QTest::newRow("number then letters") << "12XT";
}

void TestWriterHelpers::taxMustBeAnAmount() {
    QFETCH(QString, tax);
    try {
        ::ticketAmounts(u"100"_s, u"0"_s, u"700"_s, tax);
        QFAIL("no failure");
    } catch (const StoreError& error) {
        QCOMPARE(error.number(), StoreError::kTypeMismatch);
    }
}

void TestWriterHelpers::segmentOrder_data() {
    QTest::addColumn<QStringList>("indexes");
    QTest::addColumn<QList<int>>("order");
    QTest::newRow("empty") << QStringList{} << QList<int>{};
    QTest::newRow("3, 1, 2") << QStringList{"3", "1", "2"} << QList<int>{2, 3, 1};
    QTest::newRow("equal keys keep collection order")
        << QStringList{"2", "1", "2", "1"} << QList<int>{2, 4, 1, 3};
    QTest::newRow("no digits sorts as 0") << QStringList{"2", "X", "1"} << QList<int>{2, 3, 1};
    QTest::newRow("numbers, not texts") << QStringList{"10", "9", "01"} << QList<int>{3, 2, 1};
    QTest::newRow("halves to even") << QStringList{"3.5", "2.5", "3"} << QList<int>{2, 3, 1};
    QTest::newRow("negative first") << QStringList{"1", "-1"} << QList<int>{2, 1};
}

void TestWriterHelpers::segmentOrder() {
    QFETCH(QStringList, indexes);
    QFETCH(QList<int>, order);
    QCOMPARE(::segmentOrder(indexes), order);
}

void TestWriterHelpers::segmentIndexTooLarge() {
    QCOMPARE(::segmentOrder({u"32767"_s, u"-32768"_s}), QList<int>({2, 1}));
    try {
        ::segmentOrder({u"1"_s, u"32768"_s});
        QFAIL("no failure");
    } catch (const StoreError& error) {
        QCOMPARE(error.number(), StoreError::kOverflow);
    }
}

QTEST_GUILESS_MAIN(TestWriterHelpers)
#include "test_writerhelpers.moc"
