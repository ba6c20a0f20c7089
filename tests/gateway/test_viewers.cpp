#include "connectionstring.h"
#include "errorlogviewer.h"
#include "mirmain.h"
#include "mirmaincontrols.h"
#include "navigatorbar.h"
#include "recordviewer.h"
#include "testdatabase.h"
#include "testhome.h"
#include "threadconnection.h"
#include "twips.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>

#include <memory>
#include <vector>

namespace {

void execute(const TestDatabase& db, const QString& sql, const QVariantList& values = {}) {
    QSqlQuery query(threadConnection(db.connectionText()));
    QVERIFY2(query.prepare(sql), qPrintable(query.lastError().text()));
    for (const QVariant& value : values)
        query.addBindValue(value);
    QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
}

void addBooking(const TestDatabase& db, const QString& recloc, const QString& serial,
                const QStringList& passengers) {
    execute(db, QStringLiteral("INSERT INTO AMAMD (RECLOC, SER_NO, FILE_NM) VALUES (?, ?, ?)"),
            {recloc, serial, QString(recloc + QStringLiteral(".MIR"))});
    for (const QString& name : passengers)
        execute(db, QStringLiteral("INSERT INTO AMPAX (RECLOC, SER_NO, PSGRNME) VALUES (?, ?, ?)"),
                {recloc, serial, name});
}

QStringList column(const QTableView* grid, int index) {
    QStringList values;
    const QAbstractItemModel* model = grid->model();
    for (int row = 0; row < model->rowCount(); ++row)
        values.append(model->index(row, index).data().toString());
    return values;
}

int columnNamed(const QTableView* grid, const QString& name) {
    const QAbstractItemModel* model = grid->model();
    for (int index = 0; index < model->columnCount(); ++index) {
        // Exact: the grids show the schema's upper-case names on every engine.
        if (model->headerData(index, Qt::Horizontal).toString() == name)
            return index;
    }
    return -1;
}

void chooseDetail(Form1& viewer, const QString& table) {
    const int index = viewer.Combo1->findText(table);
    QVERIFY(index >= 0);
    viewer.Combo1->setCurrentIndex(index);
    Q_EMIT viewer.Combo1->activated(index);
}

// Every model a viewer shows runs under the model tester.
std::vector<std::unique_ptr<QAbstractItemModelTester>>
testModels(std::initializer_list<QTableView*> grids) {
    std::vector<std::unique_ptr<QAbstractItemModelTester>> testers;
    for (QTableView* grid : grids)
        testers.push_back(std::make_unique<QAbstractItemModelTester>(
            grid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest));
    return testers;
}

} // namespace

class TestViewers : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void emptyMasterGivesEmptyKeysAndStillQueries_data() { addEngineRows(); }
    void emptyMasterGivesEmptyKeysAndStillQueries();
    void choosingTheShownTableAgainDoesNotQuery_data() { addEngineRows(); }
    void choosingTheShownTableAgainDoesNotQuery();
    void detailFollowsTheMasterRow_data() { addEngineRows(); }
    void detailFollowsTheMasterRow();
    void errorLogFillsItsGrid_data() { addEngineRows(); }
    void errorLogFillsItsGrid();
    void noRunYetIsReportedAndARetryReads();
    void missingTableIsReportedInItsBar_data() { addEngineRows(); }
    void missingTableIsReportedInItsBar();
    void unreachableServerIsReported();
    void reopenedOrF5ReadsAgain();

private:
    std::optional<TestHome> m_home;
};

void TestViewers::init() {
    m_home.emplace();
    setConnectionString(QString());
}

void TestViewers::cleanup() {
    setConnectionString(QString());
    closeThreadConnections();
    m_home.reset();
}

void TestViewers::emptyMasterGivesEmptyKeysAndStillQueries() {
    QFETCH(TestEngine, engine);
    KESTO_TEST_DATABASE(db, engine, m_home->folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    setConnectionString(db.connectionText());
    Form1 viewer;
    const auto testers = testModels({viewer.DataGrid1, viewer.DataGrid2});
    viewer.load();
    QVERIFY(viewer.isLoaded());
    QCOMPARE(viewer.Adodc1->message(), QString());
    QCOMPARE(viewer.DataGrid1->model()->rowCount(), 0);
    QCOMPARE(viewer.DataGrid2->model()->rowCount(), 0);
    QVERIFY(viewer.recordLocator().isEmpty() && viewer.serialNumber().isEmpty());
    QCOMPARE(viewer.detailTable(), QStringLiteral("AMAMDD"));
    QCOMPARE(viewer.Adodc2->caption(), QStringLiteral("AMAMDD"));
    QCOMPARE(viewer.Combo1->count(), 5);
    QCOMPARE(viewer.Combo1->currentText(), QStringLiteral("AMAMDD"));

    QSignalSpy queried(viewer.DataGrid2->model(), &QAbstractItemModel::modelReset);
    chooseDetail(viewer, QStringLiteral("AMHEAD"));
    QVERIFY(queried.size() > 0);
    QCOMPARE(viewer.Adodc2->caption(), QStringLiteral("AMHEAD"));
    QCOMPARE(viewer.Adodc2->message(), QString());
    QVERIFY(columnNamed(viewer.DataGrid2, QStringLiteral("ALCDE")) >= 0);
}

void TestViewers::choosingTheShownTableAgainDoesNotQuery() {
    QFETCH(TestEngine, engine);
    KESTO_TEST_DATABASE(db, engine, m_home->folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    addBooking(db, QStringLiteral("ABC123"), QStringLiteral("001"), {QStringLiteral("LEE/MEI")});
    setConnectionString(db.connectionText());
    Form1 viewer;
    viewer.load();
    QSignalSpy queried(viewer.DataGrid2->model(), &QAbstractItemModel::modelReset);
    chooseDetail(viewer, QStringLiteral("AMTKT"));
    const qsizetype afterFirst = queried.size();
    QVERIFY(afterFirst > 0);
    chooseDetail(viewer, QStringLiteral("AMTKT"));
    QCOMPARE(queried.size(), afterFirst);
    // The table shown at load counts as chosen as well.
    chooseDetail(viewer, QStringLiteral("AMAMDD"));
    QVERIFY(queried.size() > afterFirst);
}

void TestViewers::detailFollowsTheMasterRow() {
    QFETCH(TestEngine, engine);
    KESTO_TEST_DATABASE(db, engine, m_home->folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    // Inserted out of order: the master grid sorts by record locator and serial.
    addBooking(db, QStringLiteral("XYZ789"), QStringLiteral("001"), {QStringLiteral("WANG/LI")});
    addBooking(db, QStringLiteral("ABC123"), QStringLiteral("002"),
               {QStringLiteral("CHEN/YU"), QStringLiteral("CHEN/AN")});
    addBooking(db, QStringLiteral("ABC123"), QStringLiteral("001"), {QStringLiteral("CHEN/YU")});
    // A key holding a quote is only a value: it neither breaks nor widens the query.
    addBooking(db, QStringLiteral("O'R1' OR '1'='1"), QStringLiteral("001"),
               {QStringLiteral("O'NEIL/PAT")});
    setConnectionString(db.connectionText());

    Form1 viewer;
    const auto testers = testModels({viewer.DataGrid1, viewer.DataGrid2});
    viewer.load();
    QCOMPARE(column(viewer.DataGrid1, 0),
             (QStringList{QStringLiteral("ABC123"), QStringLiteral("ABC123"),
                          QStringLiteral("O'R1' OR '1'='1"), QStringLiteral("XYZ789")}));
    QCOMPARE(viewer.recordLocator(), QStringLiteral("ABC123"));
    QCOMPARE(viewer.serialNumber(), QStringLiteral("001"));

    chooseDetail(viewer, QStringLiteral("AMPAX"));
    const int name = columnNamed(viewer.DataGrid2, QStringLiteral("PSGRNME"));
    QVERIFY(name >= 0);
    QCOMPARE(column(viewer.DataGrid2, name), QStringList{QStringLiteral("CHEN/YU")});

    const struct {
        int row;
        QStringList names;
    } moves[] = {
        {1, {QStringLiteral("CHEN/YU"), QStringLiteral("CHEN/AN")}},
        {2, {QStringLiteral("O'NEIL/PAT")}},
        {3, {QStringLiteral("WANG/LI")}},
    };
    for (const auto& move : moves) {
        viewer.DataGrid1->setCurrentIndex(viewer.DataGrid1->model()->index(move.row, 1));
        QCOMPARE(viewer.Adodc2->message(), QString());
        QStringList shown = column(viewer.DataGrid2, name);
        shown.sort();
        QStringList expected = move.names;
        expected.sort();
        QCOMPARE(shown, expected);
    }
    QCOMPARE(viewer.recordLocator(), QStringLiteral("XYZ789"));
}

void TestViewers::errorLogFillsItsGrid() {
    QFETCH(TestEngine, engine);
    KESTO_TEST_DATABASE(db, engine, m_home->folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    const QString longMessage = QStringLiteral("File not found[FileCopy]").repeated(9);
    execute(db, QStringLiteral("INSERT INTO AMERROR (DATE_1, TIME_1, MESSAGE) VALUES (?, ?, ?)"),
            {QStringLiteral("2027/03/01"), QStringLiteral("09:15:02"), longMessage});
    setConnectionString(db.connectionText());

    Form2 viewer;
    const auto testers = testModels({viewer.DataGrid1});
    viewer.resize(900, 480);
    viewer.load();
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QCOMPARE(viewer.Adodc1->message(), QString());
    QCOMPARE(viewer.DataGrid1->model()->rowCount(), 1);
    QCOMPARE(column(viewer.DataGrid1, 2), QStringList{longMessage});

    // Date and time 1400 twips each; the message takes the grid's width less 3140 twips.
    const QHeaderView* columns = viewer.DataGrid1->horizontalHeader();
    QCOMPARE(columns->sectionSize(0), twipsToPixels(1400));
    QCOMPARE(columns->sectionSize(1), twipsToPixels(1400));
    QCOMPARE(columns->sectionSize(2),
             twipsToPixels(pixelsToTwips(viewer.DataGrid1->width()) - 3140));
    viewer.resize(1200, 480);
    QTRY_COMPARE(viewer.width(), 1200);
    QCOMPARE(columns->sectionSize(2),
             twipsToPixels(pixelsToTwips(viewer.DataGrid1->width()) - 3140));
}

void TestViewers::noRunYetIsReportedAndARetryReads() {
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, m_home->folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    Form1 records;
    Form2 errors;
    records.load();
    errors.load();
    QVERIFY(!records.isLoaded() && !errors.isLoaded());
    QVERIFY(!records.Adodc1->message().isEmpty());
    QVERIFY(!errors.Adodc1->message().isEmpty());
    QCOMPARE(records.DataGrid1->model()->rowCount(), 0);

    // Once a run has opened the database, loading again reads.
    addBooking(db, QStringLiteral("ABC123"), QStringLiteral("001"), {});
    setConnectionString(db.connectionText());
    records.load();
    errors.load();
    QVERIFY(records.isLoaded() && errors.isLoaded());
    QCOMPARE(records.Adodc1->message(), QString());
    QCOMPARE(records.DataGrid1->model()->rowCount(), 1);
}

void TestViewers::missingTableIsReportedInItsBar() {
    QFETCH(TestEngine, engine);
    KESTO_TEST_DATABASE(db, engine, m_home->folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    addBooking(db, QStringLiteral("ABC123"), QStringLiteral("001"), {});
    execute(db, QStringLiteral("DROP TABLE AMPNR"));
    execute(db, QStringLiteral("DROP TABLE AMERROR"));
    setConnectionString(db.connectionText());

    Form1 records;
    records.load();
    chooseDetail(records, QStringLiteral("AMPNR"));
    QVERIFY(records.Adodc2->message().contains(QStringLiteral("查詢失敗")));
    QCOMPARE(records.DataGrid2->model()->rowCount(), 0);
    // The master and the other tables are not disturbed.
    QCOMPARE(records.Adodc1->message(), QString());
    QCOMPARE(records.DataGrid1->model()->rowCount(), 1);
    chooseDetail(records, QStringLiteral("AMTKT"));
    QCOMPARE(records.Adodc2->message(), QString());

    Form2 errors;
    errors.load();
    QVERIFY(!errors.isLoaded());
    QVERIFY(errors.Adodc1->message().contains(QStringLiteral("查詢失敗")));
}

void TestViewers::unreachableServerIsReported() {
    // A server that refuses the connection at once (nothing listens on port 9).
    setConnectionString(QStringLiteral("Provider=PostgreSQL Unicode;SERVER=127.0.0.1,9;uid=kesto;"
                                       "pwd=kesto;database=kesto"));
    Form2 errors;
    errors.load();
    QVERIFY(!errors.isLoaded());
    QVERIFY(errors.Adodc1->message().contains(QStringLiteral("查詢失敗")));
    QCOMPARE(errors.DataGrid1->model()->rowCount(), 0);
}

// The gateway adds rows while a viewer is open: reopening it, or F5, reads them.
void TestViewers::reopenedOrF5ReadsAgain() {
    KESTO_TEST_DATABASE(db, TestEngine::Sqlite, m_home->folder(QStringLiteral("data")),
                        TestDatabase::Content::Schema);
    setConnectionString(db.connectionText());
    const auto addError = [&db] {
        execute(db, QStringLiteral("INSERT INTO AMERROR (MESSAGE) VALUES ('x')"));
    };
    addError();
    MirMain window;
    window.controls().Command6->click();
    Form2* errors = window.findChild<Form2*>(QStringLiteral("Form2"));
    QVERIFY(errors != nullptr && errors->isVisible());
    QCOMPARE(errors->DataGrid1->model()->rowCount(), 1);

    addError();
    window.controls().Command6->click(); // still open: brought forward as it is
    QCOMPARE(errors->DataGrid1->model()->rowCount(), 1);
    errors->close();
    window.controls().Command6->click();
    QCOMPARE(errors->DataGrid1->model()->rowCount(), 2);

    addError();
    QVERIFY(QTest::qWaitForWindowActive(errors));
    QTest::keyClick(errors, Qt::Key_F5);
    QCOMPARE(errors->DataGrid1->model()->rowCount(), 3);

    errors->close();
    window.controls().Command5->click();
    Form1* records = window.findChild<Form1*>(QStringLiteral("Form1"));
    QVERIFY(records != nullptr);
    QCOMPARE(records->DataGrid1->model()->rowCount(), 0);
    addBooking(db, QStringLiteral("ABC123"), QStringLiteral("001"), {});
    QVERIFY(QTest::qWaitForWindowActive(records));
    QTest::keyClick(records, Qt::Key_F5);
    QCOMPARE(records->DataGrid1->model()->rowCount(), 1);
}

QTEST_MAIN(TestViewers)
#include "test_viewers.moc"
