// The COM-style runtime: strings, variants, identifiers, the class registry
// file and the registration tool.

#include "testhome.h"

#include "com/activation.h"
#include "com/bstr.h"
#include "com/classregistry.h"
#include "com/errorinfo.h"
#include "com/variant.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <filesystem>
#include <thread>

namespace {

QString toQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

struct Run {
    int exitCode;
    QString out;
    QString err;
};

Run regsvr(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(KESTO_BIN_DIR "/kesto-regsvr"), args);
    process.waitForFinished(60000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

const QString kKorva = QStringLiteral(KESTO_LIB_DIR "/libkorva.so");

} // namespace

class TestComRuntime : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void bstrKeepsLengthAndNull();
    void guidText_data();
    void guidText();
    void changeType_data();
    void changeType();
    void registryFileFollowsEnvironment_data();
    void registryFileFollowsEnvironment();
    void registryAddRemove();
    void snapshotKeepsTheFirstLook();
    void activationOfUnknownClassFails();
    void regsvrRegistersAndUnregisters();
    void regsvrSystemWide();
    void regsvrFailures_data();
    void regsvrFailures();
};

void TestComRuntime::bstrKeepsLengthAndNull() {
    QCOMPARE(com::SysStringLen(nullptr), 0u);
    QVERIFY(com::bstrView(nullptr).empty());
    com::Bstr text(std::u16string_view(u"a\0b", 3));
    QCOMPARE(com::SysStringLen(text.get()), 3u);
    QCOMPARE(com::SysStringByteLen(text.get()), 6u);
    QCOMPARE(text.get()[3], u'\0'); // terminated after the length
    QCOMPARE(toQString(com::utf8ToUtf16("航班 ✈ 😀")), QString::fromUtf8("航班 ✈ 😀"));
    QCOMPARE(com::utf16ToUtf8(u"航班 😀"), std::string("航班 😀"));
}

void TestComRuntime::guidText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("braced") << "{7EE66179-BE52-4206-B9D9-C984553C1A6A}" << true;
    QTest::newRow("bare lower case") << "7ee66179-be52-4206-b9d9-c984553c1a6a" << true;
    QTest::newRow("dash misplaced") << "{7EE66179B-E52-4206-B9D9-C984553C1A6A}" << false;
    QTest::newRow("not hex") << "{7EE66179-BE52-4206-B9D9-C984553C1A6G}" << false;
    QTest::newRow("short") << "{7EE66179-BE52-4206-B9D9-C984553C1A6}" << false;
    QTest::newRow("empty") << "" << false;
}

void TestComRuntime::guidText() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const auto guid = com::guidFromString(text.toStdString());
    QCOMPARE(guid.has_value(), valid);
    if (valid) {
        const QString bare = text.toUpper().remove('{').remove('}');
        QCOMPARE(QString::fromStdString(com::toString(*guid)), '{' + bare + '}');
    }
}

void TestComRuntime::changeType_data() {
    QTest::addColumn<com::Variant>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("text"); // expected value, as text
    using V = com::Variant;
    QTest::newRow("I4 to BSTR") << V(std::int32_t(-42)) << int(com::VT_BSTR) << com::S_OK << "-42";
    QTest::newRow("I2 to BSTR") << V(std::int16_t(7)) << int(com::VT_BSTR) << com::S_OK << "7";
    QTest::newRow("empty to BSTR") << V() << int(com::VT_BSTR) << com::S_OK << "";
    QTest::newRow("BSTR to I2") << V(std::u16string_view(u" 12 ")) << int(com::VT_I2) << com::S_OK
                                << "12";
    QTest::newRow("BSTR overflows I2")
        << V(std::u16string_view(u"40000")) << int(com::VT_I2) << com::DISP_E_OVERFLOW << "";
    QTest::newRow("I4 overflows I2")
        << V(std::int32_t(-40000)) << int(com::VT_I2) << com::DISP_E_OVERFLOW << "";
    QTest::newRow("BSTR not a number")
        << V(std::u16string_view(u"1x")) << int(com::VT_I4) << com::DISP_E_TYPEMISMATCH << "";
    QTest::newRow("BSTR empty to I4")
        << V(std::u16string_view(u"")) << int(com::VT_I4) << com::DISP_E_TYPEMISMATCH << "";
    QTest::newRow("null object to BSTR") << V(static_cast<com::IDispatch*>(nullptr))
                                         << int(com::VT_BSTR) << com::DISP_E_TYPEMISMATCH << "";
}

void TestComRuntime::changeType() {
    QFETCH(com::Variant, from);
    QFETCH(int, to);
    QFETCH(int, result);
    QFETCH(QString, text);
    com::Variant converted;
    QCOMPARE(com::VariantChangeType(converted.get(), from.get(), 0, com::VARTYPE(to)), result);
    if (com::FAILED(result)) {
        QCOMPARE(converted.type(), com::VT_EMPTY);
        return;
    }
    com::Variant asText;
    QCOMPARE(com::VariantChangeType(asText.get(), converted.get(), 0, com::VT_BSTR), com::S_OK);
    QCOMPARE(toQString(com::bstrView(asText.get()->bstrVal)), text);

    // By reference the same value converts the same way.
    com::VARIANT reference;
    com::VariantInit(&reference);
    reference.vt = com::VT_BYREF | com::VT_VARIANT;
    reference.pvarVal = from.get();
    com::Variant again;
    QCOMPARE(com::VariantChangeType(again.get(), &reference, 0, com::VARTYPE(to)), result);
}

void TestComRuntime::registryFileFollowsEnvironment_data() {
    QTest::addColumn<QString>("config");   // XDG_CONFIG_HOME; "<unset>" to unset
    QTest::addColumn<QString>("expected"); // relative to the test root
    QTest::newRow("set") << "<root>/config"
                         << "config/KESTO/classregistry.conf";
    QTest::newRow("unset") << "<unset>"
                           << "home/.config/KESTO/classregistry.conf";
    QTest::newRow("empty") << ""
                           << "home/.config/KESTO/classregistry.conf";
    QTest::newRow("relative") << "config"
                              << "home/.config/KESTO/classregistry.conf";
}

void TestComRuntime::registryFileFollowsEnvironment() {
    QFETCH(QString, config);
    QFETCH(QString, expected);
    TestHome home;
    if (config == "<unset>")
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", QString(config).replace("<root>", home.root()).toUtf8());
    QCOMPARE(QString::fromStdString(com::ClassRegistry::defaultPath().string()),
             home.root() + '/' + expected);
}

void TestComRuntime::registryAddRemove() {
    TestHome home;
    com::ClassRegistry registry;
    const com::GUID a = *com::guidFromString("11111111-2222-3333-4444-555555555555");
    const com::GUID b = *com::guidFromString("11111111-2222-3333-4444-666666666666");
    QCOMPARE(registry.add(
                 {{a, "/lib/x.so", "Apartment", "X.A"}, {b, "/lib/x.so", "Apartment", "X.B"}}, {}),
             com::S_OK);
    namespace fs = std::filesystem;
    QVERIFY(fs::exists(registry.file()));
    QCOMPARE(fs::status(registry.file()).permissions() & fs::perms::all,
             fs::perms::owner_read | fs::perms::owner_write);

    // Registering again replaces; a ProgID moves with its class.
    QCOMPARE(registry.add({{a, "/lib/y.so", "Apartment", "X.A"}}, {}), com::S_OK);
    QCOMPARE(registry.classes().size(), 2u);
    QCOMPARE(registry.findProgId("X.A")->library, "/lib/y.so");
    QCOMPARE(registry.remove({a}, {}), com::S_OK);
    QVERIFY(!registry.findClass(a));
    QVERIFY(registry.findClass(b));
    QCOMPARE(registry.add({{a, "/lib/bad\n.so", "Apartment", "X.A"}}, {}), com::E_INVALIDARG);
    com::clearErrorInfo();
}

// Under a snapshot a thread's look-ups see the registry as it was at their
// first look; another thread's registration is seen once the snapshot ends.
void TestComRuntime::snapshotKeepsTheFirstLook() {
    TestHome home;
    const com::GUID a = *com::guidFromString("11111111-2222-3333-4444-555555555555");
    QCOMPARE(com::ClassRegistry().add({{a, "/lib/x.so", "Apartment", "X.A"}}, {}), com::S_OK);
    const auto registerElsewhere = [&a](const char* library) {
        std::thread writer([&] {
            com::ClassRegistry().add({{a, library, "Apartment", "X.A"}}, {});
        });
        writer.join();
    };
    {
        const com::RegistrySnapshot snapshot;
        QCOMPARE(com::ClassRegistry().findClass(a)->library, "/lib/x.so");
        registerElsewhere("/lib/y.so");
        QCOMPARE(com::ClassRegistry().findClass(a)->library, "/lib/x.so");
        const com::RegistrySnapshot inner;
        QCOMPARE(com::ClassRegistry().findClass(a)->library, "/lib/x.so");
    }
    QCOMPARE(com::ClassRegistry().findClass(a)->library, "/lib/y.so");
    registerElsewhere("/lib/z.so");
    const com::RegistrySnapshot next;
    QCOMPARE(com::ClassRegistry().findClass(a)->library, "/lib/z.so");
}

void TestComRuntime::activationOfUnknownClassFails() {
    TestHome home;
    void* object = nullptr;
    const com::GUID clsid = *com::guidFromString("11111111-2222-3333-4444-555555555555");
    QCOMPARE(com::CoCreateInstance(clsid, nullptr, com::IUnknown::iid, &object),
             com::REGDB_E_CLASSNOTREG);
    QCOMPARE(object, nullptr);
    const auto info = com::takeErrorInfo();
    QVERIFY(info);
    QVERIFY(toQString(info->description).contains("{11111111-2222-3333-4444-555555555555}"));
}

void TestComRuntime::regsvrRegistersAndUnregisters() {
    TestHome home;
    Run run = regsvr({kKorva});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.contains("registered"));
    const auto entry = com::ClassRegistry().findProgId("KORVA.PNR");
    QVERIFY(entry);
    QCOMPARE(QString::fromStdString(entry->library), QFileInfo(kKorva).canonicalFilePath());

    run = regsvr({"-u", kKorva});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(!com::ClassRegistry().findProgId("KORVA.PNR"));
    QVERIFY(com::ClassRegistry().classes().empty());
}

// The package registers KORVA for all users; a user's own registration of a
// class takes precedence, and unregistering it uncovers the system's again.
void TestComRuntime::regsvrSystemWide() {
    TestHome home;
    Run run = regsvr({"--system", kKorva});
    QCOMPARE(run.exitCode, 0);
    const QString systemFile = home.systemConfigFolder() + "/KESTO/classregistry.conf";
    QVERIFY2(run.out.contains(systemFile), qPrintable(run.out));
    namespace fs = std::filesystem;
    QCOMPARE(fs::status(systemFile.toStdString()).permissions() & fs::perms::all, fs::perms(0644));
    QVERIFY(!fs::exists(com::ClassRegistry::defaultPath()));
    const auto systemEntry = com::ClassRegistry().findProgId("KORVA.PNR");
    QVERIFY(systemEntry);

    com::ClassRegistry user(com::ClassRegistry::defaultPath());
    QCOMPARE(user.add({{systemEntry->clsid, "/user/libkorva.so", "Apartment", "KORVA.PNR"}}, {}),
             com::S_OK);
    QCOMPARE(com::ClassRegistry().findClass(systemEntry->clsid)->library, "/user/libkorva.so");
    QCOMPARE(com::ClassRegistry().classes().size(),
             com::ClassRegistry(systemFile.toStdString()).classes().size());
    QCOMPARE(user.remove({systemEntry->clsid}, {}), com::S_OK);
    QCOMPARE(com::ClassRegistry().findClass(systemEntry->clsid)->library, systemEntry->library);

    run = regsvr({"-u", "--system", kKorva});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(com::ClassRegistry().classes().empty());
}

void TestComRuntime::regsvrFailures_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("no library") << QStringList() << 2 << "usage";
    QTest::newRow("two libraries") << QStringList{kKorva, kKorva} << 2 << "usage";
    QTest::newRow("missing file") << QStringList{"/nonexistent/libx.so"} << 3 << "no such file";
    QTest::newRow("not a library")
        << QStringList{QStringLiteral(KESTO_SOURCE_DIR "/CMakeLists.txt")} << 3 << "cannot load";
    QTest::newRow("no register export") << QStringList{QStringLiteral(KESTO_TEST_NOEXPORTS)} << 4
                                        << "does not export DllRegisterServer";
    QTest::newRow("no unregister export") << QStringList{"-u", QStringLiteral(KESTO_TEST_NOEXPORTS)}
                                          << 4 << "does not export DllUnregisterServer";
}

void TestComRuntime::regsvrFailures() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    TestHome home;
    const Run run = regsvr(args);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(com::ClassRegistry().classes().empty());
}

QTEST_GUILESS_MAIN(TestComRuntime)
#include "test_comruntime.moc"
