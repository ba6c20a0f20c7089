#include "profilereader.h"
#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <unistd.h>

using kesto::ini::readProfileString;

namespace {

std::filesystem::path toPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString read(const QString& file, const char* section, const char* key, const char* def = "") {
    return QString::fromStdString(readProfileString(toPath(file), section, key, def));
}

} // namespace

class TestProfileReader : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void valueRules_data();
    void valueRules();
    void longValuesAreCutToTheBuffer_data();
    void longValuesAreCutToTheBuffer();
    void fileBytesAreDecoded_data();
    void fileBytesAreDecoded();
    void missingOrUnreadableFileGivesDefault();
};

void TestProfileReader::valueRules_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QByteArray plain = "[PALVA]\nProvider=SQLOLEDB\nServer=db1\n";
    QTest::newRow("plain") << plain << "PALVA"
                           << "Server"
                           << "db1";
    QTest::newRow("section and key ignore case") << plain << "palva"
                                                 << "PROVIDER"
                                                 << "SQLOLEDB";
    QTest::newRow("missing key") << plain << "PALVA"
                                 << "uid"
                                 << "";
    QTest::newRow("missing section") << plain << "OTHER"
                                     << "Server"
                                     << "";
    QTest::newRow("blanks around name and value")
        << QByteArray("  [ PALVA ]  \n\t uid \t=  sa user \t\n") << "PALVA"
        << "uid"
        << "sa user";
    QTest::newRow("double quotes removed") << QByteArray("[PALVA]\npwd=\" a b \"\n") << "PALVA"
                                           << "pwd"
                                           << " a b ";
    QTest::newRow("single quotes removed") << QByteArray("[PALVA]\npwd='x'\n") << "PALVA"
                                           << "pwd"
                                           << "x";
    QTest::newRow("unmatched quotes kept") << QByteArray("[PALVA]\npwd=\"x'\n") << "PALVA"
                                           << "pwd"
                                           << "\"x'";
    QTest::newRow("lone quote kept") << QByteArray("[PALVA]\npwd=\"\n") << "PALVA"
                                     << "pwd"
                                     << "\"";
    QTest::newRow("semicolon inside value kept")
        << QByteArray("[PALVA]\nXML_DNS=host;port ; note\n") << "PALVA"
        << "XML_DNS"
        << "host;port ; note";
    QTest::newRow("equals inside value kept") << QByteArray("[PALVA]\npwd=a=b\n") << "PALVA"
                                              << "pwd"
                                              << "a=b";
    QTest::newRow("comment line ignored") << QByteArray("[PALVA]\n;uid=old\nuid=new\n") << "PALVA"
                                          << "uid"
                                          << "new";
    QTest::newRow("empty value") << QByteArray("[PALVA]\nuid=\nServer=x\n") << "PALVA"
                                 << "uid"
                                 << "";
    QTest::newRow("CR LF lines") << QByteArray("[PALVA]\r\nuid=sa\r\nServer=x\r\n") << "PALVA"
                                 << "uid"
                                 << "sa";
    QTest::newRow("CR lines") << QByteArray("[PALVA]\ruid=sa\rServer=x\r") << "PALVA"
                              << "uid"
                              << "sa";
    QTest::newRow("no final line end") << QByteArray("[PALVA]\nuid=sa") << "PALVA"
                                       << "uid"
                                       << "sa";
    QTest::newRow("first duplicate key wins")
        << QByteArray("[PALVA]\nuid=one\nUID=two\n") << "PALVA"
        << "uid"
        << "one";
    QTest::newRow("first section of the name wins")
        << QByteArray("[PALVA]\nuid=one\n[X]\n[palva]\nuid=two\nServer=s\n") << "PALVA"
        << "Server"
        << "";
    QTest::newRow("key of another section not taken")
        << QByteArray("[OTHER]\nuid=other\n[PALVA]\nServer=x\n") << "PALVA"
        << "uid"
        << "";
    QTest::newRow("key before any section not taken") << QByteArray("uid=x\n[PALVA]\n") << "PALVA"
                                                      << "uid"
                                                      << "";
    QTest::newRow("line without equals ignored") << QByteArray("[PALVA]\nuid\nuid=x\n") << "PALVA"
                                                 << "uid"
                                                 << "x";
}

void TestProfileReader::valueRules() {
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    TestHome home;
    home.writeIni(content);
    const QString file = home.programFolder() + QStringLiteral("/PALVA.INI");
    QCOMPARE(read(file, qPrintable(section), qPrintable(key)), expected);
}

void TestProfileReader::longValuesAreCutToTheBuffer_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    const QString ascii = QString(1500, QLatin1Char('a')) + QStringLiteral("END");
    QTest::newRow("1500 characters") << ascii << ascii.left(1023);
    QTest::newRow("1023 characters kept") << ascii.left(1023) << ascii.left(1023);
    const QString wide = QString(1200, QChar(0x8DEF)); // 路, three UTF-8 bytes each
    QTest::newRow("characters, not bytes") << wide << wide.left(1023);
    QTest::newRow("quotes removed before cutting")
        << (QLatin1Char('"') + ascii.left(1100) + QLatin1Char('"')) << ascii.left(1023);
}

void TestProfileReader::longValuesAreCutToTheBuffer() {
    QFETCH(QString, value);
    QFETCH(QString, expected);
    TestHome home;
    home.writeIni("[PALVA]\nServer=" + value.toUtf8() + "\nuid=x\n");
    QCOMPARE(read(home.programFolder() + QStringLiteral("/PALVA.INI"), "PALVA", "Server"),
             expected);
}

void TestProfileReader::fileBytesAreDecoded_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::newRow("UTF-8") << QByteArray("[PALVA]\ndatabase=備份\n") << QStringLiteral("備份");
    QTest::newRow("UTF-8 with byte-order mark")
        << QByteArray("\xEF\xBB\xBF[PALVA]\ndatabase=x\n") << QStringLiteral("x");
    QTest::newRow("Latin-1 when not UTF-8")
        << QByteArray("[PALVA]\ndatabase=caf\xE9\n") << QStringLiteral("caf\u00E9");
    QTest::newRow("one bad byte makes the whole file Latin-1")
        << QByteArray("[PALVA]\ndatabase=\xC3\xA9\nuid=\xFF\n") << QStringLiteral("\u00C3\u00A9");
}

void TestProfileReader::fileBytesAreDecoded() {
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    TestHome home;
    home.writeIni(content);
    QCOMPARE(read(home.programFolder() + QStringLiteral("/PALVA.INI"), "PALVA", "database"),
             expected);
}

void TestProfileReader::missingOrUnreadableFileGivesDefault() {
    TestHome home;
    const QString file = home.programFolder() + QStringLiteral("/PALVA.INI");
    QCOMPARE(read(file, "PALVA", "Provider", "dflt"), QStringLiteral("dflt"));

    QVERIFY(QDir().mkpath(file)); // a folder where the file should be
    QCOMPARE(read(file, "PALVA", "Provider"), QString());
    QVERIFY(QDir().rmdir(file));

    home.writeIni("[PALVA]\nProvider=SQL\n");
    QVERIFY(QFile::setPermissions(file, QFileDevice::Permissions()));
    if (::access(qPrintable(file), R_OK) == 0)
        QSKIP("running with privileges that ignore file permissions");
    QCOMPARE(read(file, "PALVA", "Provider"), QString());
}

QTEST_GUILESS_MAIN(TestProfileReader)
#include "test_profilereader.moc"
