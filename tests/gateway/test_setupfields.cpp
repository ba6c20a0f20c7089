#include "settingsloader.h"
#include "setupfields.h"
#include "testhome.h"

#include <QTest>

class TestSetupFields : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void amtempIsComparedAsText_data() {
        QTest::addColumn<QString>("amtemp");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("1") << "1" << true;
        QTest::newRow("3") << "3" << true;
        QTest::newRow("6") << "6" << true;
        QTest::newRow("10 sorts between") << "10" << true;
        QTest::newRow("5A sorts between") << "5A" << true;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("7") << "7" << false;
        QTest::newRow("9") << "9" << false;
        QTest::newRow("60 sorts after 6") << "60" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("blank first") << " 3" << false;
    }
    void amtempIsComparedAsText() {
        QFETCH(QString, amtemp);
        QFETCH(bool, accepted);
        QCOMPARE(isAcceptedAmtemp(amtemp), accepted);
    }

    void acceptedSetupIsSavedAndReadBack() {
        TestHome home;
        GatewaySettings settings = loadGatewaySettings();
        SetupFields fields{QStringLiteral("/srv/kesto/data"), QStringLiteral("/srv/mir"), QString(),
                           QStringLiteral("3")};
        QCOMPARE(applySetup(fields, settings), SetupResult::Saved);
        // The separator is added in the fields (what the window shows) and the settings.
        QCOMPARE(fields.dataFolder, QStringLiteral("/srv/kesto/data/"));
        QCOMPARE(fields.backupFolder, QStringLiteral("/"));
        QCOMPARE(settings.MirDownPath, QStringLiteral("/srv/mir/"));

        const GatewaySettings reread = loadGatewaySettings();
        QCOMPARE(reread.MirDataSource, QStringLiteral("/srv/kesto/data/"));
        QCOMPARE(reread.MirDownPath, QStringLiteral("/srv/mir/"));
        QCOMPARE(reread.MirBackupPath, QStringLiteral("/"));
        QCOMPARE(reread.MirProcessTKT, QStringLiteral("3"));
    }

    void rejectedAmtempChangesFoldersInMemoryOnly() {
        TestHome home;
        GatewaySettings settings = loadGatewaySettings();
        const QString savedDown = settings.MirDownPath;
        SetupFields fields{QStringLiteral("/new/data/"), QStringLiteral("/new/mir"),
                           settings.MirBackupPath, QStringLiteral("9")};
        QCOMPARE(applySetup(fields, settings), SetupResult::AmtempRejected);
        QCOMPARE(amtempRejectedMessage(), QStringLiteral("AMTEMP 暫存檔選擇:1-6"));
        QCOMPARE(settings.MirDataSource, QStringLiteral("/new/data/"));
        QCOMPARE(settings.MirProcessTKT, QStringLiteral("1"));

        const GatewaySettings reread = loadGatewaySettings();
        QCOMPARE(reread.MirDownPath, savedDown);
        QCOMPARE(reread.MirDataSource, loadGatewaySettings().MirDataSource);
        QVERIFY(reread.MirDataSource != QStringLiteral("/new/data/"));
    }
};

QTEST_GUILESS_MAIN(TestSetupFields)
#include "test_setupfields.moc"
