#include "navigatorbar.h"

#include <QAbstractItemModel>
#include <QHBoxLayout>
#include <QLabel>
#include <QTableView>
#include <QToolButton>

namespace {

QToolButton* makeMoveButton(QWidget* parent, const QString& text, const QString& tip) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(tip);
    button->setAutoRaise(true);
    return button;
}

} // namespace

NavigatorBar::NavigatorBar(const QString& name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);

    auto* first = makeMoveButton(this, QStringLiteral("|◀"), QStringLiteral("First"));
    auto* previous = makeMoveButton(this, QStringLiteral("◀"), QStringLiteral("Previous"));
    auto* next = makeMoveButton(this, QStringLiteral("▶"), QStringLiteral("Next"));
    auto* last = makeMoveButton(this, QStringLiteral("▶|"), QStringLiteral("Last"));
    m_caption = new QLabel(name, this);
    m_caption->setObjectName(QStringLiteral("caption"));
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->hide();

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(2);
    layout->addWidget(first);
    layout->addWidget(previous);
    layout->addWidget(m_caption);
    layout->addWidget(m_message, 1);
    layout->addStretch();
    layout->addWidget(next);
    layout->addWidget(last);

    connect(first, &QToolButton::clicked, this, [this] { moveTo(0); });
    connect(previous, &QToolButton::clicked, this, [this] { moveBy(-1); });
    connect(next, &QToolButton::clicked, this, [this] { moveBy(1); });
    connect(last, &QToolButton::clicked, this, &NavigatorBar::moveToLast);
}

void NavigatorBar::attach(QTableView* grid) {
    m_grid = grid;
}

void NavigatorBar::setCaption(const QString& caption) {
    m_caption->setText(caption);
}

QString NavigatorBar::caption() const {
    return m_caption->text();
}

void NavigatorBar::setMessage(const QString& message) {
    m_message->setText(message);
    m_message->setToolTip(message);
    m_message->setVisible(!message.isEmpty());
}

QString NavigatorBar::message() const {
    return m_message->text();
}

void NavigatorBar::moveTo(int row) {
    if (m_grid == nullptr || m_grid->model() == nullptr)
        return;
    const QAbstractItemModel* model = m_grid->model();
    if (row < 0 || row >= model->rowCount())
        return;
    const int column = qMax(0, m_grid->currentIndex().column());
    m_grid->setCurrentIndex(model->index(row, column));
}

void NavigatorBar::moveBy(int step) {
    if (m_grid == nullptr || m_grid->model() == nullptr)
        return;
    QAbstractItemModel* model = m_grid->model();
    const int row = m_grid->currentIndex().isValid() ? m_grid->currentIndex().row() + step : 0;
    // Rows come in batches: reaching past the loaded ones loads the next batch.
    if (row >= model->rowCount() && model->canFetchMore(QModelIndex()))
        model->fetchMore(QModelIndex());
    moveTo(row);
}

void NavigatorBar::moveToLast() {
    if (m_grid == nullptr || m_grid->model() == nullptr)
        return;
    QAbstractItemModel* model = m_grid->model();
    while (model->canFetchMore(QModelIndex()))
        model->fetchMore(QModelIndex());
    moveTo(model->rowCount() - 1);
}
