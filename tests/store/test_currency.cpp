#include "currency.h"

#include <QTest>

#include <limits>

class TestCurrency : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fromText_data();
    void fromText();
    void texts_data();
    void texts();
};

void TestCurrency::fromText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("units");
    QTest::newRow("whole") << "1250" << true << qint64(12500000);
    QTest::newRow("two decimals") << "1250.00" << true << qint64(12500000);
    QTest::newRow("blanks around") << "  17.5 " << true << qint64(175000);
    QTest::newRow("negative") << "-0.0001" << true << qint64(-1);
    QTest::newRow("plus sign") << "+3" << true << qint64(30000);
    QTest::newRow("leading point") << ".5" << true << qint64(5000);
    QTest::newRow("trailing point") << "7." << true << qint64(70000);
    QTest::newRow("fifth decimal rounds up") << "0.00005" << true << qint64(1);
    QTest::newRow("fifth decimal rounds down") << "0.00004" << true << qint64(0);
    QTest::newRow("negative rounds away from zero") << "-1.23455" << true << qint64(-12346);
    QTest::newRow("largest") << "922337203685477.5807" << true
                             << std::numeric_limits<qint64>::max();
    QTest::newRow("smallest") << "-922337203685477.5808" << true
                              << std::numeric_limits<qint64>::min();
    QTest::newRow("one past largest") << "922337203685477.5808" << false << qint64(0);
    QTest::newRow("rounding past largest") << "922337203685477.58075" << false << qint64(0);
    QTest::newRow("empty") << "" << false << qint64(0);
    QTest::newRow("sign only") << "-" << false << qint64(0);
    QTest::newRow("letters") << "1250.00ABC" << false << qint64(0);
    QTest::newRow("two points") << "1.2.3" << false << qint64(0);
    QTest::newRow("exponent") << "1e3" << false << qint64(0);
    QTest::newRow("inner blank") << "12 50" << false << qint64(0);
}

void TestCurrency::fromText() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(qint64, units);
    const std::optional<Currency> amount = Currency::fromText(text);
    QCOMPARE(amount.has_value(), valid);
    if (valid)
        QCOMPARE(amount->units(), units);
}

void TestCurrency::texts_data() {
    QTest::addColumn<qint64>("units");
    QTest::addColumn<QString>("canonical");
    QTest::addColumn<QString>("plain");
    QTest::newRow("zero") << qint64(0) << "0.0000"
                          << "0";
    QTest::newRow("whole") << qint64(12500000) << "1250.0000"
                           << "1250";
    QTest::newRow("half") << qint64(9975000) << "997.5000"
                          << "997.5";
    QTest::newRow("tiny negative") << qint64(-1) << "-0.0001"
                                   << "-0.0001";
    QTest::newRow("ten") << qint64(100000) << "10.0000"
                         << "10";
    QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << "-922337203685477.5808"
                              << "-922337203685477.5808";
}

void TestCurrency::texts() {
    QFETCH(qint64, units);
    QFETCH(QString, canonical);
    QFETCH(QString, plain);
    const Currency amount = Currency::fromUnits(units);
    QCOMPARE(amount.toCanonicalText(), canonical);
    QCOMPARE(amount.toPlainText(), plain);
    QCOMPARE(Currency::fromText(canonical), std::optional<Currency>(amount));
}

QTEST_GUILESS_MAIN(TestCurrency)
#include "test_currency.moc"
