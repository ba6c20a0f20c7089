#include "testdatabase.h"

#include "connectiontext.h"
#include "mdbfile.h"
#include "storeerror.h"
#include "threadconnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QUuid>

#include <atomic>

namespace {

std::atomic<int> g_nextDatabase{1};

QString env(const char* name) {
    return qEnvironmentVariable(name);
}

// Runs one statement on the server's maintenance database "postgres".
QString runMaintenance(const GatewaySettings& settings, const QString& statement) {
    const QString name = QStringLiteral("kesto-test-maintenance-%1").arg(g_nextDatabase++);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
        GatewaySettings maintenance = settings;
        maintenance.database = QStringLiteral("postgres");
        db.setDatabaseName(translateConnectionText(sqlConnectionText(maintenance)).databaseName);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            QSqlQuery query(db);
            if (!query.exec(statement))
                error = query.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

} // namespace

void addEngineColumn() {
    QTest::addColumn<TestEngine>("engine");
}

void addEngineRows() {
    addEngineColumn();
    for (TestEngine engine : {TestEngine::Sqlite, TestEngine::PostgreSql})
        QTest::newRow(engineRowName(engine)) << engine;
}

const char* engineRowName(TestEngine engine) {
    return engine == TestEngine::Sqlite ? "sqlite" : "postgresql";
}

TestDatabase::TestDatabase(TestEngine engine, const QString& dataFolder, Content content)
    : m_engine(engine), m_dataFolder(dataFolder) {
    if (!m_dataFolder.endsWith(QLatin1Char('/')))
        m_dataFolder += QLatin1Char('/');
    QDir().mkpath(m_dataFolder);
    if (engine == TestEngine::PostgreSql) {
        createPostgreSqlDatabase(content);
        return;
    }
    if (content == Content::Empty)
        return;
    try {
        createMdbFile(m_dataFolder + QStringLiteral("PALVA.mdb"));
    } catch (const StoreError& error) {
        m_failure = QStringLiteral("cannot create PALVA.mdb: ") + error.description();
    }
}

void TestDatabase::createPostgreSqlDatabase(Content content) {
    const QString driver = env("KESTO_TEST_PG_DRIVER");
    const QString templateName = env("KESTO_TEST_PG_TEMPLATE");
    if (driver.isEmpty() || env("KESTO_TEST_PG_SERVER").isEmpty() || templateName.isEmpty()) {
        m_skipReason = QStringLiteral("no PostgreSQL server: run scripts/test");
        return;
    }
    m_provider = driver;
    m_server = env("KESTO_TEST_PG_SERVER");
    m_uid = env("KESTO_TEST_PG_UID");
    m_pwd = env("KESTO_TEST_PG_PWD");
    m_database = QStringLiteral("kesto_t%1_%2_%3")
                     .arg(QCoreApplication::applicationPid())
                     .arg(g_nextDatabase++)
                     .arg(QUuid::createUuid().toString(QUuid::Id128).left(8));
    const QString source = content == Content::Schema ? templateName : QStringLiteral("template0");
    const QString error = runMaintenance(
        settings(), QStringLiteral("CREATE DATABASE %1 TEMPLATE %2").arg(m_database, source));
    if (!error.isEmpty()) {
        m_failure = QStringLiteral("cannot create the test database: ") + error;
        return;
    }
    m_ownsPgDatabase = true;
}

TestDatabase::~TestDatabase() {
    // The code under test kept its connections open; they must go before the drop.
    closeThreadConnections();
    if (m_ownsPgDatabase)
        runMaintenance(settings(),
                       QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_database));
}

QByteArray TestDatabase::iniText() const {
    return QStringLiteral(
               "[PALVA]\r\nProvider=%1\r\nServer=%2\r\nuid=%3\r\npwd=%4\r\ndatabase=%5\r\n")
        .arg(m_provider, m_server, m_uid, m_pwd, m_database)
        .toUtf8();
}

GatewaySettings TestDatabase::settings() const {
    GatewaySettings settings;
    settings.Provider = m_provider;
    settings.Server = m_server;
    settings.uid = m_uid;
    settings.pwd = m_pwd;
    settings.database = m_database;
    settings.MirDataSource = m_dataFolder;
    return settings;
}

QString TestDatabase::connectionText() const {
    return connectionTextFor(settings());
}

QList<QVariantList> TestDatabase::selectRows(const QString& sql) const {
    QList<QVariantList> rows;
    try {
        QSqlQuery query(threadConnection(connectionText()));
        query.setNumericalPrecisionPolicy(QSql::HighPrecision);
        if (!query.exec(sql)) {
            QTest::qFail(qPrintable(sql + QStringLiteral(": ") + query.lastError().text()),
                         __FILE__, __LINE__);
            return rows;
        }
        while (query.next()) {
            QVariantList row;
            for (int i = 0; i < query.record().count(); ++i)
                row.append(query.value(i));
            rows.append(row);
        }
    } catch (const StoreError& error) {
        QTest::qFail(qPrintable(error.description()), __FILE__, __LINE__);
    }
    return rows;
}
