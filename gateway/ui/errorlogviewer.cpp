#include "errorlogviewer.h"

#include "navigatorbar.h"
#include "twips.h"

#include <QHeaderView>
#include <QShortcut>
#include <QSqlQueryModel>
#include <QTableView>

namespace {
constexpr int kLeft = 120;           // twips
constexpr int kBarHeight = 450;      // twips
constexpr int kDateTimeWidth = 1400; // twips, DATE_1 and TIME_1
constexpr int kMessageMargin = 3140; // twips of the grid not given to MESSAGE
} // namespace

Form2::Form2(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Error Log"));
    m_rows = new QSqlQueryModel(this);
    Adodc1 = new NavigatorBar(QStringLiteral("Adodc1"), this);
    Adodc1->setCaption(QStringLiteral("AMERROR"));
    DataGrid1 = new QTableView(this);
    DataGrid1->setObjectName(QStringLiteral("DataGrid1"));
    DataGrid1->setModel(m_rows);
    DataGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DataGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DataGrid1->setAlternatingRowColors(true);
    DataGrid1->setWordWrap(false);
    Adodc1->attach(DataGrid1);
    // F5 reads the rows again, as the gateway adds rows while the viewer is open.
    connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this,
            &Form2::load);
    resize(900, 480);
}

Form2::~Form2() {
    delete m_rows; // the model and its result go before the connection
}

void Form2::load() {
    const QString failure =
        m_connection.runQuery(*m_rows, QStringLiteral("SELECT * FROM AMERROR"), {});
    Adodc1->setMessage(failure);
    m_loaded = failure.isEmpty();
    if (m_rows->rowCount() > 0)
        DataGrid1->setCurrentIndex(m_rows->index(0, 0));
    layOut();
}

void Form2::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layOut();
}

void Form2::layOut() {
    const int width = pixelsToTwips(this->width());
    const int height = pixelsToTwips(this->height());
    placeInTwips(Adodc1, kLeft, 200, width - 240, kBarHeight);
    placeInTwips(DataGrid1, kLeft, 700, width - 240, height - 820);

    QHeaderView* columns = DataGrid1->horizontalHeader();
    if (m_rows->columnCount() < 3)
        return;
    columns->resizeSection(0, twipsToPixels(kDateTimeWidth));
    columns->resizeSection(1, twipsToPixels(kDateTimeWidth));
    const int messageWidth = pixelsToTwips(DataGrid1->width()) - kMessageMargin;
    if (messageWidth >= 0)
        columns->resizeSection(2, twipsToPixels(messageWidth));
}
