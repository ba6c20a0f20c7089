// kesto parse, run as the built program on the files of tests/data and on
// files made here.

#include "mirbuilder.h"
#include "testhome.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace {

const QString kDataFolder = QStringLiteral(KESTO_SOURCE_DIR "/tests/data/");

struct Run {
    int exitCode = -1;
    QList<QByteArray> lines; // standard output, one entry per line
    QByteArray errors;
};

Run runParse(const QStringList& files) {
    QProcess process;
    process.start(QStringLiteral(KESTO_BIN_DIR "/kesto"),
                  QStringList{QStringLiteral("parse")} + files);
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.lines = process.readAllStandardOutput().split('\n');
    if (run.lines.constLast().isEmpty())
        run.lines.removeLast();
    run.errors = process.readAllStandardError();
    return run;
}

QJsonObject parsedObject(const QByteArray& line) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError)
        qWarning() << "not JSON:" << error.errorString() << line.left(200);
    return document.object();
}

} // namespace

class TestParseCommand : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void dataFiles_data();
    void dataFiles();
    void keysInDocumentedOrder();
    void textsBecomeUtf8Json();
    void unreadableFileDoesNotStopTheOthers();
    void noArguments();

private:
    TestHome* m_home = nullptr;
};

void TestParseCommand::init() {
    m_home = new TestHome(TestHome::Korva::Registered);
}

void TestParseCommand::cleanup() {
    delete m_home;
    m_home = nullptr;
}

void TestParseCommand::dataFiles_data() {
    QTest::addColumn<QString>("name");
    const QStringList files =
        QDir(kDataFolder).entryList({QStringLiteral("*.mir")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 10);
    for (const QString& file : files)
        QTest::newRow(qPrintable(file)) << file.chopped(4);
}

void TestParseCommand::dataFiles() {
    QFETCH(QString, name);
    const QString path = kDataFolder + name + QStringLiteral(".mir");
    const Run run = runParse({path});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.lines.size(), 1);
    QJsonObject actual = parsedObject(run.lines.first());
    QCOMPARE(actual.take(QStringLiteral("file")).toString(), path);
    const QJsonObject expected =
        parsedObject(readFileBytes(kDataFolder + name + QStringLiteral(".expected.json")));
    QVERIFY(!expected.isEmpty());
    if (actual != expected) {
        qWarning().noquote() << "actual:  " << QJsonDocument(actual).toJson(QJsonDocument::Compact);
        qWarning().noquote() << "expected:"
                             << QJsonDocument(expected).toJson(QJsonDocument::Compact);
    }
    QVERIFY(actual == expected);
}

void TestParseCommand::keysInDocumentedOrder() {
    const Run run = runParse({kDataFolder + QStringLiteral("ticketed-cr.mir")});
    QCOMPARE(run.lines.size(), 1);
    const QByteArray& line = run.lines.first();
    const char* const top[] = {
        "file",    "verdict", "cpnid",   "cpnid2Source", "pnr",     "RLOC_CD", "SEQ_NO",
        "CRAT_DM", "NUM_CDE", "CARR_CD", "TRVL_DT",      "COMM_RT", "BASE_AM", "TKT_NETB",
        "TAX_AMB", "PAXS",    "PAX_NM",  "TKT_NO",       "TKT_CJ",  "TKT_AMS", "TKT_NET",
        "TKT_TAX", "TKT_NO1", "TKT_CJ1", "TKT_NO2",      "TKT_CJ2", "TKT_NO3", "TKT_CJ3",
        "TKT_NO4", "TKT_CJ4", "TKT_NO5", "TKT_CJ5",      "ITNS",    "ITN_IDX", "CARR_CD",
        "FLT_NO",  "TKT_CLS", "TKT_ST",  "DEP_DT",       "DEP_TM",  "ARR_TM",  "NXDT_FG",
        "ORIG_CT", "DEST_CT", "STOP_OV", "CRLS",         "CARR_CD", "RLOC_CD"};
    qsizetype from = 0;
    for (const char* key : top) {
        const QByteArray quoted = '"' + QByteArray(key) + "\":";
        const qsizetype at = line.indexOf(quoted, from);
        QVERIFY2(at >= 0, key);
        from = at + 1;
    }
}

void TestParseCommand::textsBecomeUtf8Json() {
    const QString path = m_home->folder(QStringLiteral("mirs")) + QStringLiteral("names.mir");
    const QString name = QStringLiteral("M\u00dcLLER/\"Q\"\\ \u00e9\u00ff\x01");
    writeFileBytes(path, mirText({}, {placed({{1, QStringLiteral("A02")}, {4, name}})}).toLatin1());
    const Run run = runParse({path});
    QCOMPARE(run.exitCode, 0);
    const QJsonObject pnr =
        parsedObject(run.lines.value(0)).value(QStringLiteral("pnr")).toObject();
    const QJsonObject pax = pnr.value(QStringLiteral("PAXS")).toArray().at(0).toObject();
    QCOMPARE(pax.value(QStringLiteral("PAX_NM")).toString(), name);
}

void TestParseCommand::unreadableFileDoesNotStopTheOthers() {
    const QString missing = m_home->root() + QStringLiteral("/missing.mir");
    const QString folder = m_home->folder(QStringLiteral("a-folder.mir"));
    const Run run = runParse({missing, kDataFolder + QStringLiteral("not-mir.mir"), folder,
                              kDataFolder + QStringLiteral("void.mir")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.errors.contains(missing.toUtf8()));
    QVERIFY(run.errors.contains(folder.toUtf8()));
    QCOMPARE(run.lines.size(), 2);
    QCOMPARE(parsedObject(run.lines[0]).value(QStringLiteral("verdict")).toString(),
             QStringLiteral("not-mir"));
    QCOMPARE(parsedObject(run.lines[1]).value(QStringLiteral("verdict")).toString(),
             QStringLiteral("interpreted"));
}

void TestParseCommand::noArguments() {
    const Run run = runParse({});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.lines.isEmpty());
    QVERIFY(run.errors.contains("Usage"));
}

QTEST_GUILESS_MAIN(TestParseCommand)
#include "test_parsecommand.moc"
