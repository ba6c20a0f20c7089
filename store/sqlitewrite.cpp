#include "sqlitewrite.h"

#include "storeerror.h"
#include "threadstatements.h"

#include <QCoreApplication>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringEncoder>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <memory>

namespace {

// Each statement is finalized as it is dropped: before its connection may
// close.
using KeptStatements = ThreadStatements<std::shared_ptr<sqlite3_stmt>>;

sqlite3* sqliteHandle(const QSqlDatabase& db) {
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

// Whether SQLite binds the value as Qt's driver would: as NULL, text, a blob
// or a number. Dates and times, and anything else, are left to Qt.
bool simplyBound(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

// The texts of one statement's values in UTF-8, the database's own encoding.
// Bound as text in UTF-16, each value would be converted by SQLite, a few
// hundred instructions each and a dozen values a row; Qt's encoder does it in
// a few dozen. The buffer is the thread's and is kept between statements:
// SQLite reads the bound bytes until the statement is reset.
class Utf8Texts {
public:
    explicit Utf8Texts(const QVariantList& values) {
        qsizetype room = 0;
        for (const QVariant& value : values) {
            if (value.typeId() == QMetaType::QString)
                room +=
                    m_encoder.requiredSpace(static_cast<const QString*>(value.constData())->size());
        }
        thread_local QByteArray t_buffer;
        constexpr qsizetype kKeptRoom = 1 << 20;
        if (t_buffer.size() < room || t_buffer.size() > kKeptRoom)
            t_buffer = QByteArray(std::max(room, qsizetype(4096)), Qt::Uninitialized);
        m_next = t_buffer.data();
    }
    // The text's bytes, at a place of the buffer no later text takes.
    std::pair<const char*, int> encode(const QString& text) {
        const char* start = m_next;
        m_next = m_encoder.appendToBuffer(m_next, text);
        return {start, int(m_next - start)};
    }

private:
    QStringEncoder m_encoder{QStringEncoder::Utf8, QStringConverter::Flag::Stateless};
    char* m_next = nullptr;
};

int bindValue(sqlite3_stmt* statement, int place, const QVariant& value, Utf8Texts& texts) {
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return sqlite3_bind_null(statement, place);
    case QMetaType::QString: {
        // A null text is NULL, an empty one ''.
        const QString* text = static_cast<const QString*>(value.constData());
        if (text->isNull())
            return sqlite3_bind_null(statement, place);
        const auto [bytes, size] = texts.encode(*text);
        return sqlite3_bind_text(statement, place, bytes, size, SQLITE_STATIC);
    }
    case QMetaType::QByteArray: {
        // The values outlive the step.
        const QByteArray* bytes = static_cast<const QByteArray*>(value.constData());
        if (bytes->isNull())
            return sqlite3_bind_null(statement, place);
        return sqlite3_bind_blob(statement, place, bytes->constData(), int(bytes->size()),
                                 SQLITE_STATIC);
    }
    case QMetaType::Double:
        return sqlite3_bind_double(statement, place, value.toDouble());
    default:
        return sqlite3_bind_int64(statement, place, value.toLongLong());
    }
}

// The error as Qt's driver words it, so that callers see the same numbers
// and texts whichever way a statement ran.
QSqlError sqliteError(sqlite3* handle, const char* what, int code) {
    const auto* text = static_cast<const char16_t*>(sqlite3_errmsg16(handle));
    return QSqlError(QLatin1String(what), QString::fromUtf16(text), QSqlError::StatementError,
                     QString::number(code));
}

// Qt closes the main thread's connections as the application object goes,
// before this thread's statements would go, and SQLite closes no connection
// with a statement left: its log would stay behind. Qt's own statements are
// finalized by its driver; these go by a routine of their own, which Qt runs
// before the one of its connection registry, added earlier: such routines
// run in the reverse order of their adding.
thread_local bool t_dropAtAppEnd = false;

void dropSqliteStatementsAtAppEnd() {
    if (t_dropAtAppEnd || QCoreApplication::instance() == nullptr ||
        QThread::currentThread() != QCoreApplication::instance()->thread())
        return;
    t_dropAtAppEnd = true;
    qAddPostRoutine([] {
        t_dropAtAppEnd = false;
        KeptStatements::forgetAll();
    });
}

sqlite3_stmt* sqliteStatement(sqlite3* handle, const QSqlDatabase& db, const QString& sql) {
    dropSqliteStatementsAtAppEnd();
    std::shared_ptr<sqlite3_stmt>& kept = KeptStatements::on(db.connectionName())[sql];
    if (!kept) {
        sqlite3_stmt* statement = nullptr;
        const int prepared = sqlite3_prepare16_v3(handle, sql.utf16(), int(sql.size()) * 2,
                                                  SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        if (prepared != SQLITE_OK) {
            sqlite3_finalize(statement);
            KeptStatements::forget(db.connectionName(), sql);
            throw StoreError::fromSqlError(
                sqliteError(handle, "Unable to execute statement", prepared));
        }
        kept = std::shared_ptr<sqlite3_stmt>(statement, sqlite3_finalize);
    }
    return kept.get();
}

} // namespace

bool execOnSqlite(QSqlDatabase& db, const QString& sql, const QVariantList& values) {
    sqlite3* handle = sqliteHandle(db);
    if (!handle || !std::all_of(values.cbegin(), values.cend(), simplyBound))
        return false;
    sqlite3_stmt* statement = sqliteStatement(handle, db, sql);
    const auto fail = [&](const QSqlError& error) {
        sqlite3_reset(statement);
        KeptStatements::forget(db.connectionName(), sql);
        return StoreError::fromSqlError(error);
    };
    if (sqlite3_bind_parameter_count(statement) != values.size())
        throw fail(QSqlError(QStringLiteral("Parameter count mismatch"), QString(),
                             QSqlError::StatementError));
    Utf8Texts texts(values);
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (const int bound = bindValue(statement, int(i) + 1, values.at(i), texts);
            bound != SQLITE_OK)
            throw fail(sqliteError(handle, "Unable to bind parameters", bound));
    }
    int stepped = sqlite3_step(statement);
    if (stepped != SQLITE_DONE && stepped != SQLITE_ROW) {
        // A generic error: resetting the statement gives the particular one.
        if (stepped == SQLITE_ERROR)
            stepped = sqlite3_reset(statement);
        throw fail(sqliteError(handle, "Unable to fetch row", stepped));
    }
    // No read stays open to hold a lock or an old snapshot.
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return true;
}

void execStatement(QSqlDatabase& db, const QString& sql) {
    if (execOnSqlite(db, sql, {}))
        return;
    QSqlQuery query(db);
    if (!query.exec(sql))
        throw StoreError::fromSqlError(query.lastError());
}

void forgetSqliteStatements(const QString& connectionName) {
    KeptStatements::forgetConnection(connectionName);
}
