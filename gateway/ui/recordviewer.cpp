#include "recordviewer.h"

#include "navigatorbar.h"
#include "twips.h"

#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QShortcut>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QTableView>

namespace {

constexpr int kLeft = 120;        // twips from the window's left edge
constexpr int kBarHeight = 450;   // twips
constexpr int kComboWidth = 1800; // twips

QTableView* makeGrid(QWidget* parent, const char* name, QSqlQueryModel* model) {
    auto* grid = new QTableView(parent);
    grid->setObjectName(QLatin1String(name));
    grid->setModel(model);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setAlternatingRowColors(true);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    return grid;
}

} // namespace

Form1::Form1(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("View Mdb"));

    m_master = new QSqlQueryModel(this);
    m_detail = new QSqlQueryModel(this);
    Adodc1 = new NavigatorBar(QStringLiteral("Adodc1"), this);
    Adodc1->setCaption(QStringLiteral("AMAMD"));
    DataGrid1 = makeGrid(this, "DataGrid1", m_master);
    Adodc1->attach(DataGrid1);
    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Adodc2 = new NavigatorBar(QStringLiteral("Adodc2"), this);
    DataGrid2 = makeGrid(this, "DataGrid2", m_detail);
    Adodc2->attach(DataGrid2);

    // The operator's choice, even of the table already shown (which then does
    // not query again).
    connect(Combo1, &QComboBox::activated, this, &Form1::detailTableChosen);
    connect(DataGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &Form1::masterRowChanged);
    // F5 reads the rows again, as the gateway adds rows while the viewer is open.
    connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this,
            &Form1::load);
    resize(900, 640);
}

Form1::~Form1() {
    // The models and their results go before the connections they read through.
    delete m_master;
    delete m_detail;
}

QStringList Form1::detailTables() {
    return {QStringLiteral("AMAMDD"), QStringLiteral("AMHEAD"), QStringLiteral("AMPAX"),
            QStringLiteral("AMPNR"), QStringLiteral("AMTKT")};
}

void Form1::load() {
    const QString failure = m_masterConnection.runQuery(
        *m_master, QStringLiteral("SELECT * FROM AMAMD ORDER BY RECLOC,SER_NO"), {});
    Adodc1->setMessage(failure);
    m_loaded = failure.isEmpty();
    if (m_master->rowCount() > 0) {
        const QSignalBlocker quiet(DataGrid1->selectionModel());
        DataGrid1->setCurrentIndex(m_master->index(0, 0));
    }
    readCurrentRecord();

    m_detailTable = detailTables().constFirst();
    Adodc2->setCaption(m_detailTable);
    queryDetail();

    const QSignalBlocker quiet(Combo1);
    Combo1->clear();
    Combo1->addItems(detailTables());
    Combo1->setCurrentIndex(0);
}

void Form1::readCurrentRecord() {
    const QModelIndex current = DataGrid1->currentIndex();
    if (m_master->rowCount() == 0 || !current.isValid()) {
        m_recordLocator.clear();
        m_serialNumber.clear();
        return;
    }
    const QSqlRecord row = m_master->record(current.row());
    // A NULL key reads as the empty text.
    m_recordLocator = row.value(0).toString();
    m_serialNumber = row.value(1).toString();
}

void Form1::queryDetail() {
    // The table name comes from the fixed list of Combo1; the keys are bound.
    const QString sql = QStringLiteral("SELECT * FROM ") + m_detailTable +
                        QStringLiteral(" WHERE RECLOC=? AND SER_NO=? ORDER BY RECLOC,SER_NO");
    const QString failure =
        m_detailConnection.runQuery(*m_detail, sql, {m_recordLocator, m_serialNumber});
    Adodc2->setMessage(failure);
}

void Form1::detailTableChosen(int index) {
    const QString table = Combo1->itemText(index);
    if (!detailTables().contains(table))
        return;
    readCurrentRecord();
    if (table == m_detailTable)
        return;
    m_detailTable = table;
    Adodc2->setCaption(table);
    queryDetail();
}

void Form1::masterRowChanged() {
    readCurrentRecord();
    queryDetail();
}

void Form1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layOut();
}

void Form1::layOut() {
    const int width = pixelsToTwips(this->width());
    const int height = pixelsToTwips(this->height());
    placeInTwips(Adodc1, kLeft, 200, width - 240, kBarHeight);
    placeInTwips(DataGrid1, kLeft, 700, width - 240, height / 2 - 700);
    placeInTwips(Combo1, kLeft, height / 2 + 200, kComboWidth, kBarHeight);
    placeInTwips(Adodc2, kLeft + kComboWidth + 120, height / 2 + 200, width - 360 - kComboWidth,
                 kBarHeight);
    placeInTwips(DataGrid2, kLeft, height / 2 + 700, width - 240, height / 2 - 820);
}
