#include "owedposts.h"

#include "clock.h"
#include "connectionstring.h"
#include "fixedforms.h"
#include "gatewayidentity.h"
#include "preparedquery.h"
#include "rowappender.h"
#include "storecall.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace {

const QString kColumns =
    u"POST_NO, DIR_NM, FILE_NM, FILE_SIZE, FILE_MTIME, FILE_SHA, PASS_NO, RECLOC, SER_NO, XML_TX"_s;

// The posts this gateway owes: those it stored, and those stored under its
// folder before gateways had identities.
QString ownPostsCondition() {
    return GatewayId().isEmpty() ? u"DIR_NM = ?"_s
                                 : u"(GW_ID = ? OR (GW_ID IS NULL AND DIR_NM = ?))"_s;
}

void bindOwnPosts(PreparedQuery& query, const QString& folder) {
    if (!GatewayId().isEmpty())
        query.bind(GatewayId());
    query.bind(folder);
}

} // namespace

void addOwedPost(const OwedPost& post) {
    NewRow row(u"AMPOST"_s);
    row.set(u"DIR_NM"_s, post.folder);
    row.set(u"FILE_NM"_s, post.file.name);
    row.set(u"FILE_SIZE"_s, QString::number(post.file.size));
    row.set(u"FILE_MTIME"_s, QString::number(post.file.modifiedNs));
    row.set(u"FILE_SHA"_s, post.file.sha256);
    row.set(u"PASS_NO"_s, QString::number(post.pass));
    row.set(u"RECLOC"_s, post.recordLocator);
    row.set(u"SER_NO"_s, post.serialNumber);
    row.set(u"XML_TX"_s, post.xmlText);
    row.set(u"DATE_1"_s, dateTextMdy(currentClock().now().date()));
    row.set(u"TIME_1"_s, timeTextHms(currentClock().now().time()));
    if (!GatewayId().isEmpty())
        row.set(u"GW_ID"_s, GatewayId());
    appendRow(ConnectionString(), row);
}

bool isPostOwed(const QString& folder, const FileIdentity& file, int pass) {
    return withThreadConnection(ConnectionString(), [&](QSqlDatabase& db) {
        PreparedQuery query(db, u"SELECT POST_NO FROM AMPOST WHERE "_s + ownPostsCondition() +
                                    u" AND FILE_NM = ? AND FILE_SIZE = ? AND FILE_MTIME = ? AND "
                                    "FILE_SHA = ? AND PASS_NO = ?"_s);
        bindOwnPosts(query, folder);
        for (const QVariant& value : {QVariant(file.name), QVariant(QString::number(file.size)),
                                      QVariant(QString::number(file.modifiedNs)),
                                      QVariant(file.sha256), QVariant(QString::number(pass))})
            query.bind(value);
        query.exec();
        return query.query().next();
    });
}

std::optional<OwedPost> oldestOwedPost(const QString& folder) {
    return withThreadConnection(ConnectionString(), [&](QSqlDatabase& db) {
        PreparedQuery lookup(db, u"SELECT "_s + kColumns + u" FROM AMPOST WHERE "_s +
                                     ownPostsCondition() + u" ORDER BY POST_NO"_s);
        bindOwnPosts(lookup, folder);
        lookup.exec();
        QSqlQuery& query = lookup.query();
        std::optional<OwedPost> post;
        if (query.next()) {
            post = OwedPost();
            post->number = query.value(0).toLongLong();
            post->folder = query.value(1).toString();
            post->file.name = query.value(2).toString();
            post->file.size = query.value(3).toString().toLongLong();
            post->file.modifiedNs = query.value(4).toString().toLongLong();
            post->file.sha256 = query.value(5).toString();
            post->pass = query.value(6).toString().toInt();
            post->recordLocator = query.value(7).toString();
            post->serialNumber = query.value(8).toString();
            post->xmlText = query.value(9).toString();
        } else if (query.lastError().isValid()) {
            throw StoreError::fromSqlError(query.lastError());
        }
        return post;
    });
}

void settleOwedPost(const OwedPost& post, PostState state) {
    runInThreadTransaction(ConnectionString(), [&] {
        setPostState(post.file, post.pass, state);
        withThreadConnection(ConnectionString(), [&](QSqlDatabase& db) {
            PreparedQuery query(db, u"DELETE FROM AMPOST WHERE POST_NO = ?"_s);
            query.bind(post.number);
            query.exec();
        });
    });
}

int owedPostCount(const QString& connectionText, const QString& folder) {
    return withThreadConnection(connectionText, [&](QSqlDatabase& db) {
        PreparedQuery query(db, u"SELECT COUNT(*) FROM AMPOST WHERE "_s + ownPostsCondition());
        bindOwnPosts(query, folder);
        query.exec();
        return query.query().next() ? query.query().value(0).toInt() : 0;
    });
}
