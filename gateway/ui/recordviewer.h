#pragma once

#include "viewerconnection.h"

#include <QString>
#include <QStringList>
#include <QWidget>

class NavigatorBar;
class QComboBox;
class QSqlQueryModel;
class QTableView;

// The record viewer: the processed files of AMAMD in the upper grid (Adodc1,
// DataGrid1) and, for the file of the current row, its rows in the detail
// table chosen in Combo1 (Adodc2, DataGrid2). The detail follows the current
// master row. Each data control reads through a connection of its own; the
// record keys are bound values. Modeless, GUI thread only.
class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    static QStringList detailTables();

    // Runs the master query, takes the keys of its first row and runs the
    // detail query on "AMAMDD". A failing query is reported in its bar.
    void load();
    // Whether the last load reached the database (so re-showing need not load).
    bool isLoaded() const { return m_loaded; }

    QString recordLocator() const { return m_recordLocator; }
    QString serialNumber() const { return m_serialNumber; }
    QString detailTable() const { return m_detailTable; }

    NavigatorBar* Adodc1 = nullptr;
    QTableView* DataGrid1 = nullptr;
    QComboBox* Combo1 = nullptr;
    NavigatorBar* Adodc2 = nullptr;
    QTableView* DataGrid2 = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void readCurrentRecord();
    void queryDetail();
    void detailTableChosen(int index);
    void masterRowChanged();
    void layOut();

    QSqlQueryModel* m_master = nullptr;
    QSqlQueryModel* m_detail = nullptr;
    ViewerConnection m_masterConnection{QStringLiteral("Adodc1")};
    ViewerConnection m_detailConnection{QStringLiteral("Adodc2")};
    QString m_recordLocator;
    QString m_serialNumber;
    QString m_detailTable;
    bool m_loaded = false;
};
