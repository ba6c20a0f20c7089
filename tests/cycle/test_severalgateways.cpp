#include "gatewayrun.h"

#include <QTest>

// Several offices, one database: three `kesto run` processes, each with its
// own download folder, store bookings of the same record locators at the
// same time. Every file must be stored exactly once and whole, no two
// versions may share a key, and each locator's serials must follow each
// other without a gap.
class TestSeveralGateways : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void racingGatewaysStoreEachFileOnce_data() { addEngineRows(); }
    void racingGatewaysStoreEachFileOnce();
};

void TestSeveralGateways::racingGatewaysStoreEachFileOnce() {
    QFETCH(TestEngine, engine);
    constexpr int kGateways = 3;
    constexpr int kFiles = 40;
    constexpr int kLocators = 8;
    const GatewayFleet fleet(engine, kGateways);
    if (!fleet.first().skipReason().isEmpty())
        QSKIP(qPrintable(fleet.first().skipReason()));
    fleet.dropRacingFiles(kFiles, kLocators);

    QCOMPARE(runAllOnce(fleet.all(), 120000), QList<int>(kGateways, 0));

    const QStringList problems = racingProblems(fleet.all(), kFiles);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
}

QTEST_GUILESS_MAIN(TestSeveralGateways)
#include "test_severalgateways.moc"
