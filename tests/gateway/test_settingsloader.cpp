#include "registrykey.h"
#include "settingsloader.h"
#include "storedsettings.h"
#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace kesto::registry;

Q_DECLARE_METATYPE(kesto::registry::ValueType)

namespace {

void storeValue(const char* name, ValueType type, const QByteArray& data) {
    Status status = Status::Ok;
    auto key = RegistryKey::create(kSettingsKeyPath, status);
    QVERIFY(key);
    QCOMPARE(key->setValue(name, type,
                           std::span(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                     std::size_t(data.size()))),
             Status::Ok);
}

QString storeFile() {
    return QString::fromStdString(defaultStoreFile().string());
}

} // namespace

class TestSettingsLoader : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void withoutIniTheEmbeddedDatabaseAndDefaults();
    void iniKeysAndMode_data();
    void iniKeysAndMode();
    void longIniValueIsCut();
    void unreadableIniGivesEmptyValues();
    void storedValueRules_data();
    void storedValueRules();
    void unusableStoreKeepsAllDefaults_data();
    void unusableStoreKeepsAllDefaults();
    void startDateIsFixedAtLoad();
    void folderTextsOfAnyLengthReadBackWhole_data();
    void folderTextsOfAnyLengthReadBackWhole();
    void savingTwiceChangesNothing();
    void savingOverADamagedStoreKeepsACopy();
};

void TestSettingsLoader::withoutIniTheEmbeddedDatabaseAndDefaults() {
    TestHome home;
    const GatewaySettings s = loadGatewaySettings(QDate(2027, 3, 1));
    for (const QString* field : {&s.Provider, &s.Server, &s.uid, &s.pwd, &s.database, &s.RM_T2K,
                                 &s.DUP_CHK, &s.XML_FG, &s.XML_DNS, &s.T_MODE})
        QVERIFY(field->isEmpty());
    QVERIFY(!s.isSqlMode());
    QVERIFY(!s.xmlExportOn());
    QCOMPARE(instanceTitle(s), QStringLiteral("KESTO-MDB"));
    QCOMPARE(s.MirDataSource, home.programFolder() + QStringLiteral("/vela_data/"));
    QCOMPARE(s.MirDownPath, home.home() + QStringLiteral("/Mirs/"));
    QCOMPARE(s.MirBackupPath, home.home() + QStringLiteral("/BkMirs/"));
    QCOMPARE(s.MirProcessTKT, QStringLiteral("1"));
    QCOMPARE(s.PlatformId, 2);
}

void TestSettingsLoader::iniKeysAndMode_data() {
    QTest::addColumn<QByteArray>("provider");
    QTest::addColumn<QString>("title");
    QTest::newRow("blank Provider") << QByteArray("   \t") << "KESTO-MDB";
    QTest::newRow("empty Provider") << QByteArray("") << "KESTO-MDB";
    QTest::newRow("driver name") << QByteArray("PostgreSQL Unicode") << "KESTO-SQL";
}

void TestSettingsLoader::iniKeysAndMode() {
    QFETCH(QByteArray, provider);
    QFETCH(QString, title);
    TestHome home;
    home.writeIni("[PALVA]\r\nProvider=" + provider +
                  "\r\nServer=db1,5432\r\nuid=sa\r\npwd=p;w\r\ndatabase=AIR\r\nRM_T2K=1\r\n"
                  "DUP_CHK=0\r\nXML_FG=1\r\nXML_DNS=10.0.0.9\r\nT_MODE=1\r\n");
    const GatewaySettings s = loadGatewaySettings();
    QCOMPARE(instanceTitle(s), title);
    QCOMPARE(s.Server, QStringLiteral("db1,5432"));
    QCOMPARE(s.uid, QStringLiteral("sa"));
    QCOMPARE(s.pwd, QStringLiteral("p;w"));
    QCOMPARE(s.database, QStringLiteral("AIR"));
    QCOMPARE(s.RM_T2K, QStringLiteral("1"));
    QCOMPARE(s.DUP_CHK, QStringLiteral("0"));
    QCOMPARE(s.XML_FG, QStringLiteral("1"));
    QCOMPARE(s.XML_DNS, QStringLiteral("10.0.0.9"));
    QCOMPARE(s.T_MODE, QStringLiteral("1"));
}

void TestSettingsLoader::longIniValueIsCut() {
    TestHome home;
    const QByteArray value(1500, 'x');
    home.writeIni("[PALVA]\nXML_DNS=" + value + "\n");
    QCOMPARE(loadGatewaySettings().XML_DNS, QString(1023, QLatin1Char('x')));
}

void TestSettingsLoader::unreadableIniGivesEmptyValues() {
    TestHome home;
    QVERIFY(QDir().mkpath(home.programFolder() + QStringLiteral("/PALVA.INI")));
    const GatewaySettings s = loadGatewaySettings();
    QVERIFY(s.Provider.isEmpty());
    QCOMPARE(instanceTitle(s), QStringLiteral("KESTO-MDB"));
}

void TestSettingsLoader::storedValueRules_data() {
    QTest::addColumn<ValueType>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("expected"); // null: the default stays

    QTest::newRow("REG_SZ padded")
        << ValueType::Sz << encodeStoredText(QStringLiteral("/d/mir/")) << "/d/mir/";
    QTest::newRow("REG_SZ empty") << ValueType::Sz << QByteArray() << "";
    QTest::newRow("REG_SZ of one NUL") << ValueType::Sz << QByteArray(1, '\0') << "";
    QTest::newRow("REG_SZ without NUL taken whole")
        << ValueType::Sz << QByteArray("/d/whole") << "/d/whole";
    QTest::newRow("REG_SZ cut at the first NUL")
        << ValueType::Sz << QByteArray("/a/\0/b/", 7) << "/a/";
    QTest::newRow("REG_SZ in Chinese")
        << ValueType::Sz << encodeStoredText(QStringLiteral("/資料/")) << "/資料/";
    QTest::newRow("REG_EXPAND_SZ ignored")
        << ValueType::ExpandSz << QByteArray("/x/\0", 4) << QString();
    QTest::newRow("REG_DWORD ignored")
        << ValueType::Dword << QByteArray("\1\0\0\0", 4) << QString();
    QTest::newRow("REG_BINARY ignored") << ValueType::Binary << QByteArray("/x/") << QString();
}

void TestSettingsLoader::storedValueRules() {
    QFETCH(ValueType, type);
    QFETCH(QByteArray, data);
    QFETCH(QString, expected);
    TestHome home;
    storeValue("MirDownPath", type, data);
    storeValue("MirProcessTKT", ValueType::Sz, encodeStoredText(QStringLiteral("4")));
    const GatewaySettings s = loadGatewaySettings();
    QCOMPARE(s.MirDownPath, expected.isNull() ? home.home() + QStringLiteral("/Mirs/") : expected);
    QCOMPARE(s.MirProcessTKT, QStringLiteral("4")); // the values after it are still read
    QCOMPARE(s.MirBackupPath, home.home() + QStringLiteral("/BkMirs/"));
}

void TestSettingsLoader::unusableStoreKeepsAllDefaults_data() {
    QTest::addColumn<QByteArray>("storeBytes");
    QTest::addColumn<bool>("otherKey");
    QTest::newRow("no store") << QByteArray() << false;
    QTest::newRow("only another key") << QByteArray() << true;
    QTest::newRow("damaged store") << QByteArray("\x00\x01 not a store", 15) << false;
}

void TestSettingsLoader::unusableStoreKeepsAllDefaults() {
    QFETCH(QByteArray, storeBytes);
    QFETCH(bool, otherKey);
    TestHome home;
    if (!storeBytes.isEmpty())
        writeFileBytes(storeFile(), storeBytes);
    if (otherKey) {
        Status status = Status::Ok;
        QVERIFY(RegistryKey::create("Software\\Other", status));
    }
    const GatewaySettings s = loadGatewaySettings();
    QCOMPARE(s.MirDataSource, home.programFolder() + QStringLiteral("/vela_data/"));
    QCOMPARE(s.MirDownPath, home.home() + QStringLiteral("/Mirs/"));
    QCOMPARE(s.MirProcessTKT, QStringLiteral("1"));
    if (!storeBytes.isEmpty())
        QCOMPARE(readFileBytes(storeFile()), storeBytes); // reading changes nothing
}

void TestSettingsLoader::startDateIsFixedAtLoad() {
    TestHome home;
    const GatewaySettings s = loadGatewaySettings(QDate(2027, 3, 1));
    QCOMPARE(s.StartYearMonth, QStringLiteral("202703"));
    QCOMPARE(s.StartDay, QStringLiteral("01"));
    GatewaySettings later = s;
    setStartDate(later, QDate(2027, 12, 31));
    QCOMPARE(later.StartYearMonth, QStringLiteral("202712"));
    QCOMPARE(later.StartDay, QStringLiteral("31"));
}

void TestSettingsLoader::folderTextsOfAnyLengthReadBackWhole_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("dataLength");
    QTest::newRow("empty") << QString() << 100;
    QTest::newRow("99 bytes") << QString(99, QLatin1Char('a')) << 100;
    QTest::newRow("100 bytes") << QString(100, QLatin1Char('b')) << 101;
    QTest::newRow("250 bytes") << (QStringLiteral("/srv/") + QString(244, QLatin1Char('c')) +
                                   QLatin1Char('/'))
                               << 251;
    QTest::newRow("34 Chinese characters, 102 bytes") << QString(34, QChar(0x8CC7)) << 103;
}

void TestSettingsLoader::folderTextsOfAnyLengthReadBackWhole() {
    QFETCH(QString, text);
    QFETCH(int, dataLength);
    TestHome home;
    QCOMPARE(encodeStoredText(text).size(), dataLength);

    GatewaySettings s = loadGatewaySettings();
    s.MirBackupPath = text;
    QCOMPARE(saveStoredSettings(s), Status::Ok);
    QCOMPARE(loadGatewaySettings().MirBackupPath, text);
}

void TestSettingsLoader::savingTwiceChangesNothing() {
    TestHome home;
    GatewaySettings s = loadGatewaySettings();
    s.MirDataSource = QStringLiteral("/data/");
    s.MirDownPath = QStringLiteral("/mir/");
    s.MirBackupPath = QStringLiteral("/bk/");
    s.MirProcessTKT = QStringLiteral("3");
    QCOMPARE(saveStoredSettings(s), Status::Ok);
    const QByteArray first = readFileBytes(storeFile());
    QCOMPARE(saveStoredSettings(s), Status::Ok);
    QCOMPARE(readFileBytes(storeFile()), first);
    // The values appear in the order Setup writes them.
    const qsizetype data = first.indexOf("MirDataSource"), down = first.indexOf("MirDownPath"),
                    backup = first.indexOf("MirBackupPath"), tkt = first.indexOf("MirProcessTKT");
    QVERIFY(data > 0 && data < down && down < backup && backup < tkt);

    const GatewaySettings loaded = loadGatewaySettings();
    QCOMPARE(loaded.MirDataSource, s.MirDataSource);
    QCOMPARE(loaded.MirDownPath, s.MirDownPath);
    QCOMPARE(loaded.MirBackupPath, s.MirBackupPath);
    QCOMPARE(loaded.MirProcessTKT, s.MirProcessTKT);
}

void TestSettingsLoader::savingOverADamagedStoreKeepsACopy() {
    TestHome home;
    const QByteArray damaged(
        "KESTO settings store 1\n[Software\\KESTO]\n\"MirDownPath\"=sz:100:\"/mi");
    writeFileBytes(storeFile(), damaged);
    GatewaySettings s = loadGatewaySettings();
    QCOMPARE(s.MirDownPath, home.home() + QStringLiteral("/Mirs/"));
    s.MirDownPath = QStringLiteral("/new/");
    QCOMPARE(saveStoredSettings(s), Status::Ok);
    QCOMPARE(readFileBytes(storeFile() + QStringLiteral(".corrupt")), damaged);
    QCOMPARE(loadGatewaySettings().MirDownPath, QStringLiteral("/new/"));
}

QTEST_GUILESS_MAIN(TestSettingsLoader)
#include "test_settingsloader.moc"
