#pragma once

#include <QHash>
#include <QString>
#include <QVariantList>

class QSqlQueryModel;

// The database connection of one data control of a viewer (each control has
// its own, and fills one model), opened on the GUI thread with the connection
// text of the last run (ConnectionString). The viewers read while the cycle
// writes through its own connections on its thread; a viewer's failure (no
// run yet, a missing table, a server gone) stays in the viewer.
class ViewerConnection {
public:
    explicit ViewerConnection(const QString& owner);
    // The model this connection filled must be gone by now.
    ~ViewerConnection();
    ViewerConnection(const ViewerConnection&) = delete;
    ViewerConnection& operator=(const ViewerConnection&) = delete;

    // Runs a query with its values bound in order and hands the result to the
    // model, always the same one. Returns the empty text on success, else the
    // report to show (the model is then empty, and the connection is opened
    // afresh by the next query, so that a server that came back is reached).
    QString runQuery(QSqlQueryModel& model, const QString& sql, const QVariantList& values);

    // The report when no run has built a connection text yet.
    static QString notOpenedMessage();

private:
    QString connectionName(const QString& connectionText);

    QString m_owner;
    // One connection per connection text met. A connection is closed after a
    // failure but stays registered while the model may hold a result of its
    // driver; all are removed with this object.
    QHash<QString, QString> m_names;
};
