#include "viewerconnection.h"

#include "connectionstring.h"
#include "storeerror.h"
#include "threadconnection.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>

#include <atomic>

namespace {

std::atomic<int> g_nextConnection{1};

QString failureMessage(const StoreError& error) {
    return QStringLiteral("查詢失敗 %1:%2").arg(error.number()).arg(error.description().trimmed());
}

} // namespace

ViewerConnection::ViewerConnection(const QString& owner) : m_owner(owner) {}

ViewerConnection::~ViewerConnection() {
    for (const QString& name : std::as_const(m_names)) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}

QString ViewerConnection::notOpenedMessage() {
    return QStringLiteral("資料庫尚未開啟:請先按「執行」");
}

QString ViewerConnection::connectionName(const QString& connectionText) {
    const auto found = m_names.constFind(connectionText);
    if (found != m_names.constEnd())
        return *found;
    // The GUI thread's connection for the text does the checks (an embedded
    // database file is never created, a damaged one is found out); this data
    // control then reads through a copy that it alone uses.
    const QSqlDatabase shared = threadConnection(connectionText);
    const QString name = QStringLiteral("kesto-viewer-%1-%2").arg(m_owner).arg(g_nextConnection++);
    QSqlDatabase::cloneDatabase(shared, name);
    m_names.insert(connectionText, name);
    return name;
}

QString ViewerConnection::runQuery(QSqlQueryModel& model, const QString& sql,
                                   const QVariantList& values) {
    model.clear();
    const QString connectionText = ConnectionString();
    if (connectionText.isEmpty())
        return notOpenedMessage();

    QSqlDatabase db;
    try {
        db = QSqlDatabase::database(connectionName(connectionText), false);
    } catch (const StoreError& error) {
        checkThreadConnection(connectionText);
        return failureMessage(error);
    }
    if (!db.isOpen() && !db.open())
        return failureMessage(StoreError::fromSqlError(db.lastError()));

    QSqlQuery query(db);
    bool ok = query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok) {
        const StoreError error = StoreError::fromSqlError(query.lastError());
        query.finish();
        db.close();
        return failureMessage(error);
    }
    model.setQuery(std::move(query));
    if (model.lastError().isValid()) {
        const StoreError error = StoreError::fromSqlError(model.lastError());
        model.clear();
        db.close();
        return failureMessage(error);
    }
    // Column names as the schema writes them; PostgreSQL reports them folded
    // to lower case.
    for (int column = 0; column < model.columnCount(); ++column) {
        const QString name = model.headerData(column, Qt::Horizontal).toString();
        model.setHeaderData(column, Qt::Horizontal, name.toUpper());
    }
    return QString();
}
