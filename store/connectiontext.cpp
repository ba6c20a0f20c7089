#include "connectiontext.h"

#include "gatewaysettings.h"

namespace {

const QLatin1String kMdbPrefix("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");

struct SqlFields {
    QString provider, server, uid, pwd, database;
};

// Splits a SQL-mode text back into its five values. The keys are searched in
// the order they were written; the database key is searched from the end, so
// a password holding ';' survives.
bool parseSqlText(const QString& text, SqlFields& fields) {
    const QLatin1String provider("Provider="), server(";SERVER="), uid(";uid="), pwd(";pwd="),
        database(";database=");
    if (!text.startsWith(provider))
        return false;
    const qsizetype s = text.indexOf(server, provider.size());
    if (s < 0)
        return false;
    const qsizetype u = text.indexOf(uid, s + server.size());
    if (u < 0)
        return false;
    const qsizetype p = text.indexOf(pwd, u + uid.size());
    if (p < 0)
        return false;
    const qsizetype d = text.lastIndexOf(database);
    if (d < p + pwd.size())
        return false;
    fields.provider = text.mid(provider.size(), s - provider.size());
    fields.server = text.mid(s + server.size(), u - s - server.size());
    fields.uid = text.mid(u + uid.size(), p - u - uid.size());
    fields.pwd = text.mid(p + pwd.size(), d - p - pwd.size());
    fields.database = text.mid(d + database.size());
    return true;
}

// "host,port" with a numeric port, else nothing.
bool splitHostPort(const QString& server, QString& host, QString& port) {
    const qsizetype comma = server.lastIndexOf(QLatin1Char(','));
    if (comma < 0)
        return false;
    bool numeric = false;
    server.mid(comma + 1).trimmed().toUInt(&numeric);
    if (!numeric)
        return false;
    host = server.left(comma).trimmed();
    port = server.mid(comma + 1).trimmed();
    return true;
}

} // namespace

QString mdbConnectionText(const QString& dataFolder) {
    return kMdbPrefix + dataFolder + QStringLiteral("PALVA.mdb");
}

QString sqlConnectionText(const GatewaySettings& settings) {
    return QStringLiteral("Provider=") + settings.Provider + QStringLiteral(";SERVER=") +
           settings.Server + QStringLiteral(";uid=") + settings.uid + QStringLiteral(";pwd=") +
           settings.pwd + QStringLiteral(";database=") + settings.database;
}

QString connectionTextFor(const GatewaySettings& settings) {
    return settings.isSqlMode() ? sqlConnectionText(settings)
                                : mdbConnectionText(settings.MirDataSource);
}

QString odbcAttributeValue(const QString& value) {
    const bool plain = !value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('{')) &&
                       !value.contains(QLatin1Char('}')) && value == value.trimmed();
    if (plain)
        return value;
    QString escaped = value;
    escaped.replace(QLatin1Char('}'), QStringLiteral("}}"));
    return QLatin1Char('{') + escaped + QLatin1Char('}');
}

ConnectionTarget translateConnectionText(const QString& connectionText) {
    ConnectionTarget target;
    if (connectionText.startsWith(kMdbPrefix)) {
        target.valid = true;
        target.qtDriver = QStringLiteral("QSQLITE");
        target.filePath = connectionText.mid(kMdbPrefix.size());
        target.databaseName = target.filePath;
        target.engine = DbEngine::Sqlite;
        return target;
    }
    SqlFields fields;
    if (!parseSqlText(connectionText, fields))
        return target;
    const QString driver = fields.provider.trimmed();
    target.valid = true;
    target.qtDriver = QStringLiteral("QODBC");
    target.engine = engineForOdbcDriver(driver);
    QString serverPart = QStringLiteral(";SERVER=") + odbcAttributeValue(fields.server);
    QString host, port;
    if (target.engine == DbEngine::PostgreSql && splitHostPort(fields.server, host, port))
        serverPart =
            QStringLiteral(";SERVER=") + odbcAttributeValue(host) + QStringLiteral(";PORT=") + port;
    QString braced = driver;
    braced.replace(QLatin1Char('}'), QStringLiteral("}}"));
    target.databaseName = QStringLiteral("DRIVER={") + braced + QLatin1Char('}') + serverPart +
                          QStringLiteral(";UID=") + odbcAttributeValue(fields.uid) +
                          QStringLiteral(";PWD=") + odbcAttributeValue(fields.pwd) +
                          QStringLiteral(";DATABASE=") + odbcAttributeValue(fields.database);
    // The PostgreSQL driver wraps every statement of a transaction in a
    // savepoint of its own unless told otherwise: a round trip more for each.
    // The store rolls back a failed transaction itself, and keeps a savepoint
    // of its own where a transaction goes on past a failed statement.
    if (target.engine == DbEngine::PostgreSql)
        target.databaseName += QStringLiteral(";Protocol=7.4-0");
    return target;
}
