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

std::atomic<int> g_nextViewer{1};

QString failureMessage(qint32 number, const QString& description) {
    return QStringLiteral("查詢失敗 %1:%2").arg(number).arg(description.trimmed());
}

} // namespace

ViewerConnection::ViewerConnection(const QString& owner)
    : m_name(QStringLiteral("kesto-viewer-%1-%2").arg(owner).arg(g_nextViewer++)) {}

ViewerConnection::~ViewerConnection() {
    close();
}

QString ViewerConnection::notOpenedMessage() {
    return QStringLiteral("資料庫尚未開啟:請先按「執行」");
}

void ViewerConnection::open(const QString& connectionText) {
    if (m_openedText == connectionText && QSqlDatabase::database(m_name, false).isOpen())
        return;
    close();
    // The GUI thread's connection for the text does the checks (an embedded
    // database file is never created, a damaged one is found out); this viewer
    // then opens a copy of it that it alone uses and closes.
    const QSqlDatabase shared = threadConnection(connectionText);
    QSqlDatabase own = QSqlDatabase::cloneDatabase(shared, m_name);
    if (!own.open()) {
        const StoreError error = StoreError::fromSqlError(own.lastError());
        close();
        throw error;
    }
    m_openedText = connectionText;
}

void ViewerConnection::close() {
    if (!QSqlDatabase::contains(m_name))
        return;
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
    m_openedText.clear();
}

QString ViewerConnection::runQuery(QSqlQueryModel& model, const QString& sql,
                                   const QVariantList& values) {
    model.clear();
    const QString connectionText = ConnectionString();
    if (connectionText.isEmpty())
        return notOpenedMessage();
    try {
        open(connectionText);
    } catch (const StoreError& error) {
        checkThreadConnection(connectionText);
        return failureMessage(error.number(), error.description());
    }

    QSqlQuery query(QSqlDatabase::database(m_name, false));
    bool ok = query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok) {
        const StoreError error = StoreError::fromSqlError(query.lastError());
        query = QSqlQuery();
        // The next query opens afresh, so that a server that went away and came
        // back is reached again.
        close();
        return failureMessage(error.number(), error.description());
    }
    model.setQuery(std::move(query));
    if (model.lastError().isValid()) {
        const StoreError error = StoreError::fromSqlError(model.lastError());
        model.clear();
        close();
        return failureMessage(error.number(), error.description());
    }
    return QString();
}
