#pragma once

#include "viewerconnection.h"

#include <QWidget>

class NavigatorBar;
class QSqlQueryModel;
class QTableView;

// The error-log viewer: every row of AMERROR, the date and time columns 1400
// twips wide each and the message taking the rest of the grid's width.
// Modeless, GUI thread only.
class Form2 : public QWidget {
    Q_OBJECT

public:
    explicit Form2(QWidget* parent = nullptr);
    ~Form2() override;

    // Runs the query; a failing one is reported in the bar.
    void load();
    bool isLoaded() const { return m_loaded; }

    NavigatorBar* Adodc1 = nullptr;
    QTableView* DataGrid1 = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layOut();

    QSqlQueryModel* m_rows = nullptr;
    ViewerConnection m_connection{QStringLiteral("Form2")};
    bool m_loaded = false;
};
