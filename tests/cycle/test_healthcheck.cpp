#include "cyclefixture.h"
#include "healthcheck.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The health check's counts of error rows, read by day and time from the
// index: the windows of the last hour and of the last 24 hours end at the
// check and cross midnight; a row exactly a day old or stamped after the
// check is in neither.
class TestHealthCheck : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void errorRowsOfTheLastDayAndHour_data() { addEngineRows(); }
    void errorRowsOfTheLastDayAndHour();
};

void TestHealthCheck::errorRowsOfTheLastDayAndHour() {
    QFETCH(TestEngine, engine);
    TestHome home;
    KESTO_TEST_DATABASE(db, engine, home.folder(u"data"_s), TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    const QStringList stamps{
        u"12-08-2026 00:10:00"_s, // both
        u"12-07-2026 23:45:00"_s, // both, the day before
        u"12-07-2026 01:00:00"_s, // the last 24 hours
        u"12-07-2026 00:30:01"_s, // the last 24 hours, by a second
        u"12-07-2026 00:30:00"_s, // a day old
        u"12-06-2026 23:59:59"_s, // older
        u"12-08-2026 00:30:01"_s, // after the check
    };
    for (const QString& stamp : stamps)
        db.selectRows(
            u"INSERT INTO AMERROR (DATE_1, TIME_1, MESSAGE) VALUES ('%1', '%2', 'x')"_s.arg(
                stamp.left(10), stamp.mid(11)));
    const Health health =
        checkHealth(settings, QDateTime(QDate(2026, 12, 8), QTime(0, 30)), HealthDepth::Gauges);
    QCOMPARE(health.errorRows1h, 2);
    QCOMPARE(health.errorRows24h, 4);
    QCOMPARE(health.state(), Health::State::Degraded);
}

QTEST_GUILESS_MAIN(TestHealthCheck)
#include "test_healthcheck.moc"
