#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QTableView;
class QToolButton;

// The stand-in of a data control: a bar that carries its caption, moves the
// current row of the grid it is attached to (first, previous, next, last), and
// shows what went wrong when its query failed.
class NavigatorBar : public QWidget {
    Q_OBJECT

public:
    explicit NavigatorBar(const QString& name, QWidget* parent = nullptr);

    void attach(QTableView* grid);
    void setCaption(const QString& caption);
    QString caption() const;
    // The failure report shown beside the caption; empty hides it.
    void setMessage(const QString& message);
    QString message() const;

private:
    void moveTo(int row);
    void moveBy(int step);
    void moveToLast();

    QTableView* m_grid = nullptr;
    QLabel* m_caption = nullptr;
    QLabel* m_message = nullptr;
};
