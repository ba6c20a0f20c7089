#include "registrykey.h"
#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace kesto::registry;

Q_DECLARE_METATYPE(kesto::registry::ValueType)

namespace {

std::span<const std::uint8_t> bytesOf(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()),
            static_cast<std::size_t>(data.size())};
}

QString storePath() {
    return QString::fromStdString(defaultStoreFile().string());
}

RegistryKey createKey(const char* path = "Software\\KESTO") {
    Status status = Status::IoError;
    auto key = RegistryKey::create(path, status);
    if (!key || status != Status::Ok)
        qFatal("cannot create key %s: %s", path, statusText(status));
    return *key;
}

// Reads a value the way start-up does: type and size first, then the data.
QByteArray readData(const RegistryKey& key, const char* name, ValueType& type, Status& status) {
    std::size_t size = 0;
    status = key.queryValueInfo(name, type, size);
    if (status != Status::Ok)
        return {};
    std::vector<std::uint8_t> buffer(size);
    status = key.readValue(name, type, buffer, size);
    return QByteArray(reinterpret_cast<const char*>(buffer.data()), qsizetype(size));
}

} // namespace

class TestRegistryStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void valuesRoundTripExactly_data();
    void valuesRoundTripExactly();
    void storeFileIsPrivateAndReadable();
    void namesIgnoreCaseAndMissingOnesAreReported();
    void smallBufferGetsMoreData();
    void damagedStoreIsReportedAndKeptOnWrite_data();
    void damagedStoreIsReportedAndKeptOnWrite();
    void unreadableStoreIsAccessDenied();
    void concurrentWritersLoseNothing();
};

void TestRegistryStore::valuesRoundTripExactly_data() {
    QTest::addColumn<ValueType>("type");
    QTest::addColumn<QByteArray>("data");

    QByteArray padded("/home/op/Mirs/");
    padded.append(QByteArray(100 - padded.size(), '\0'));
    QByteArray allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes.append(char(i));

    QTest::newRow("sz padded to 100") << ValueType::Sz << padded;
    QTest::newRow("sz without NUL") << ValueType::Sz << QByteArray("no terminator");
    QTest::newRow("sz empty") << ValueType::Sz << QByteArray();
    QTest::newRow("sz of NULs only") << ValueType::Sz << QByteArray(5, '\0');
    QTest::newRow("sz with escapes and Chinese")
        << ValueType::Sz << QByteArray("a\"b\\c\nd\te\x7F 備份路徑\0tail\0", 30);
    QTest::newRow("sz with every byte") << ValueType::Sz << allBytes;
    QTest::newRow("expand_sz") << ValueType::ExpandSz << QByteArray("%HOME%/Mirs/\0", 13);
    QTest::newRow("multi_sz") << ValueType::MultiSz << QByteArray("a\0b\0\0", 5);
    QTest::newRow("dword") << ValueType::Dword << QByteArray("\x1a\0\0\0", 4);
    QTest::newRow("dword of odd size") << ValueType::Dword << QByteArray("\x01\x02", 2);
    QTest::newRow("binary") << ValueType::Binary << allBytes;
    QTest::newRow("none, empty") << ValueType::None << QByteArray();
    QTest::newRow("unnamed type 42") << static_cast<ValueType>(42) << QByteArray("xy");
}

void TestRegistryStore::valuesRoundTripExactly() {
    QFETCH(ValueType, type);
    QFETCH(QByteArray, data);
    TestHome home;
    RegistryKey key = createKey();
    QCOMPARE(key.setValue("Value", type, bytesOf(data)), Status::Ok);
    QCOMPARE(key.setValue("Other", ValueType::Sz, bytesOf("x")), Status::Ok);

    Status status = Status::IoError;
    auto reopened = RegistryKey::open("Software\\KESTO", status);
    QVERIFY(reopened);
    ValueType readType = ValueType::None;
    const QByteArray read = readData(*reopened, "Value", readType, status);
    QCOMPARE(status, Status::Ok);
    QCOMPARE(readType, type);
    QCOMPARE(read, data);
}

void TestRegistryStore::storeFileIsPrivateAndReadable() {
    TestHome home;
    RegistryKey key = createKey();
    QByteArray data("/home/op/Mirs/");
    data.append(QByteArray(100 - data.size(), '\0'));
    QCOMPARE(key.setValue("MirDownPath", ValueType::Sz, bytesOf(data)), Status::Ok);
    QCOMPARE(key.setValue("Count", ValueType::Dword, bytesOf(QByteArray("\x01\0\0\0", 4))),
             Status::Ok);

    const QString file = storePath();
    QCOMPARE(file, home.configHome() + QStringLiteral("/KESTO/settings.reg"));
    struct stat info {};
    QCOMPARE(::stat(qPrintable(file), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0600u);
    const QByteArray text = readFileBytes(file);
    QVERIFY2(text.contains("[Software\\KESTO]\n\"MirDownPath\"=sz:100:\"/home/op/Mirs/\"\n"
                           "\"Count\"=dword:hex:01,00,00,00\n"),
             text.constData());
    QVERIFY(!QFile::exists(file + QStringLiteral(".new")));
}

void TestRegistryStore::namesIgnoreCaseAndMissingOnesAreReported() {
    TestHome home;
    Status status = Status::Ok;
    QVERIFY(!RegistryKey::open("Software\\KESTO", status));
    QCOMPARE(status, Status::NotFound); // no store file at all

    RegistryKey key = createKey("Software\\KESTO");
    QCOMPARE(key.setValue("MirDataSource", ValueType::Sz, bytesOf("d")), Status::Ok);

    auto upper = RegistryKey::open("\\SOFTWARE\\kesto\\", status);
    QVERIFY(upper);
    ValueType type = ValueType::None;
    QCOMPARE(readData(*upper, "mirdatasource", type, status), QByteArray("d"));
    QVERIFY(RegistryKey::open("Software", status)); // a key above an existing one
    QVERIFY(!RegistryKey::open("Software\\Other", status));
    QCOMPARE(status, Status::NotFound);
    QVERIFY(!RegistryKey::open("Software\\\\KESTO", status));
    QCOMPARE(status, Status::InvalidArgument);
    readData(*upper, "MirDownPath", type, status);
    QCOMPARE(status, Status::NotFound);
}

void TestRegistryStore::smallBufferGetsMoreData() {
    TestHome home;
    RegistryKey key = createKey();
    QCOMPARE(key.setValue("V", ValueType::Sz, bytesOf("12345")), Status::Ok);
    std::vector<std::uint8_t> buffer(4, 0xEE);
    ValueType type = ValueType::None;
    std::size_t size = 0;
    QCOMPARE(key.readValue("V", type, buffer, size), Status::MoreData);
    QCOMPARE(size, std::size_t(5));
    QCOMPARE(buffer, std::vector<std::uint8_t>(4, 0xEE));
}

void TestRegistryStore::damagedStoreIsReportedAndKeptOnWrite_data() {
    QTest::addColumn<QByteArray>("damaged");
    QTest::newRow("not a store") << QByteArray("garbage\n");
    QTest::newRow("cut in the middle of a value")
        << QByteArray("KESTO settings store 1\n[Software\\KESTO]\n\"MirDownPath\"=sz:100:\"/ho");
    QTest::newRow("text longer than its size")
        << QByteArray("KESTO settings store 1\n[Software\\KESTO]\n\"A\"=sz:2:\"abc\"\n");
    QTest::newRow("value outside a key") << QByteArray("KESTO settings store 1\n\"A\"=sz:1:\"\"\n");
    QTest::newRow("bad hex") << QByteArray("KESTO settings store 1\n[K]\n\"A\"=dword:hex:0g\n");
    QTest::newRow("repeated value")
        << QByteArray("KESTO settings store 1\n[K]\n\"A\"=sz:0:\"\"\n\"a\"=sz:0:\"\"\n");
}

void TestRegistryStore::damagedStoreIsReportedAndKeptOnWrite() {
    QFETCH(QByteArray, damaged);
    TestHome home;
    const QString file = storePath();
    writeFileBytes(file, damaged);

    Status status = Status::Ok;
    QVERIFY(!RegistryKey::open("Software\\KESTO", status));
    QCOMPARE(status, Status::Corrupt);

    auto key = RegistryKey::create("Software\\KESTO", status);
    QVERIFY(key);
    QCOMPARE(readFileBytes(file + QStringLiteral(".corrupt")), damaged);
    QCOMPARE(key->setValue("MirDownPath", ValueType::Sz, bytesOf("/x/")), Status::Ok);
    ValueType type = ValueType::None;
    QCOMPARE(readData(*key, "MirDownPath", type, status), QByteArray("/x/"));

    // A second damage does not replace the first copy.
    writeFileBytes(file, "again damaged");
    QCOMPARE(key->setValue("MirDownPath", ValueType::Sz, bytesOf("/y/")), Status::Ok);
    QCOMPARE(readFileBytes(file + QStringLiteral(".corrupt")), damaged);
    QCOMPARE(readFileBytes(file + QStringLiteral(".corrupt.1")), QByteArray("again damaged"));
    QCOMPARE(readData(*key, "MirDownPath", type, status), QByteArray("/y/"));
}

void TestRegistryStore::unreadableStoreIsAccessDenied() {
    TestHome home;
    RegistryKey key = createKey();
    QCOMPARE(key.setValue("V", ValueType::Sz, bytesOf("1")), Status::Ok);
    QVERIFY(QFile::setPermissions(storePath(), QFileDevice::Permissions()));
    if (::access(qPrintable(storePath()), R_OK) == 0)
        QSKIP("running with privileges that ignore file permissions");
    Status status = Status::Ok;
    QVERIFY(!RegistryKey::open("Software\\KESTO", status));
    QCOMPARE(status, Status::AccessDenied);
}

void TestRegistryStore::concurrentWritersLoseNothing() {
    TestHome home;
    createKey();
    constexpr int perWriter = 40;
    auto writer = [](char prefix) {
        Status status = Status::Ok;
        auto key = RegistryKey::open("Software\\KESTO", status);
        for (int i = 0; key && i < perWriter; ++i) {
            const std::string name = prefix + std::to_string(i);
            key->setValue(name, ValueType::Sz, bytesOf(QByteArray::fromStdString(name)));
        }
    };
    std::thread first(writer, 'a');
    std::thread second(writer, 'b');
    first.join();
    second.join();

    Status status = Status::Ok;
    auto key = RegistryKey::open("Software\\KESTO", status);
    QVERIFY(key);
    for (const char prefix : {'a', 'b'}) {
        for (int i = 0; i < perWriter; ++i) {
            const std::string name = prefix + std::to_string(i);
            ValueType type = ValueType::None;
            QCOMPARE(readData(*key, name.c_str(), type, status), QByteArray::fromStdString(name));
        }
    }
}

QTEST_GUILESS_MAIN(TestRegistryStore)
#include "test_registrystore.moc"
