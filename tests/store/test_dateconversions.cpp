#include "dateconversions.h"
#include "storeerror.h"

#include <QTest>

class TestDateConversions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void monthToNumber_data() {
        QTest::addColumn<QString>("month");
        QTest::addColumn<QString>("number");
        QTest::newRow("upper") << "JAN"
                               << "01";
        QTest::newRow("lower") << "sep"
                               << "09";
        QTest::newRow("mixed") << "Dec"
                               << "12";
        QTest::newRow("four letters") << "SEPT"
                                      << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("blanks around") << " MAR"
                                       << "";
    }
    void monthToNumber() {
        QFETCH(QString, month);
        QFETCH(QString, number);
        QCOMPARE(MonthToNumber(month), number);
    }

    void numberToMonth() {
        QCOMPARE(NumberToMonth(1), QStringLiteral("JAN"));
        QCOMPARE(NumberToMonth(12), QStringLiteral("DEC"));
        QCOMPARE(NumberToMonth(0), QStringLiteral("   "));
        QCOMPARE(NumberToMonth(13), QStringLiteral("   "));
        QCOMPARE(NumberToMonth(-1), QStringLiteral("   "));
    }

    void shiftDayMonth_data() {
        QTest::addColumn<QString>("dayMonth");
        QTest::addColumn<int>("days");
        QTest::addColumn<QString>("yy");
        QTest::addColumn<QString>("result");
        QTest::newRow("next day") << "15MAR" << 1 << "08"
                                  << "16MAR";
        QTest::newRow("year end") << "31DEC" << 1 << "08"
                                  << "01JAN";
        QTest::newRow("two over year end") << "31DEC" << 2 << "08"
                                           << "02JAN";
        QTest::newRow("back to leap day") << "01MAR" << -1 << "08"
                                          << "29FEB";
        QTest::newRow("back, no leap day") << "01MAR" << -1 << "09"
                                           << "28FEB";
        QTest::newRow("into leap day") << "28FEB" << 1 << "08"
                                       << "29FEB";
        QTest::newRow("over missing leap day") << "28FEB" << 1 << "09"
                                               << "01MAR";
        QTest::newRow("2000 is a leap year") << "28FEB" << 1 << "00"
                                             << "29FEB";
        QTest::newRow("month end") << "30JUN" << 2 << "10"
                                   << "02JUL";
        QTest::newRow("zero normalises") << "05mar" << 0 << "08"
                                         << "05MAR";
        QTest::newRow("characters after the fifth ignored") << "05MAR2008" << 0 << "08"
                                                            << "05MAR";
    }
    void shiftDayMonth() {
        QFETCH(QString, dayMonth);
        QFETCH(int, days);
        QFETCH(QString, yy);
        QFETCH(QString, result);
        QCOMPARE(ShiftDayMonth(dayMonth, static_cast<qint16>(days), yy), result);
    }

    void shiftDayMonthFails_data() {
        QTest::addColumn<QString>("dayMonth");
        QTest::addColumn<QString>("yy");
        QTest::newRow("unknown month") << "15XYZ"
                                       << "08";
        QTest::newRow("day not a number") << "AAMAR"
                                          << "08";
        QTest::newRow("day past month end") << "30FEB"
                                            << "08";
        QTest::newRow("day zero") << "00MAR"
                                  << "08";
        QTest::newRow("short text") << "15"
                                    << "08";
        QTest::newRow("empty") << ""
                               << "08";
        QTest::newRow("year not a number") << "15MAR"
                                           << "XX";
        QTest::newRow("year missing") << "15MAR"
                                      << "";
    }
    void shiftDayMonthFails() {
        QFETCH(QString, dayMonth);
        QFETCH(QString, yy);
        try {
            const QString result = ShiftDayMonth(dayMonth, 1, yy);
            QFAIL(qPrintable(QStringLiteral("returned ") + result));
        } catch (const StoreError& error) {
            QCOMPARE(error.number(), 13);
        }
    }
};

QTEST_GUILESS_MAIN(TestDateConversions)
#include "test_dateconversions.moc"
