#pragma once

#include "gatewaysettings.h"

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantList>

// The engines a store test runs against: the embedded SQLite PALVA.mdb, and
// PostgreSQL through ODBC when scripts/test (or scripts/test-pg-server) has
// put a throwaway server into the environment (KESTO_TEST_PG_DRIVER,
// KESTO_TEST_PG_SERVER "host,port", KESTO_TEST_PG_UID, KESTO_TEST_PG_PWD,
// KESTO_TEST_PG_TEMPLATE: a database that holds the schema).
enum class TestEngine { Sqlite, PostgreSql };
Q_DECLARE_METATYPE(TestEngine)

// For _data() functions: adds the column "engine" of type TestEngine, and one
// named row per engine ("sqlite", "postgresql").
void addEngineColumn();
void addEngineRows();
const char* engineRowName(TestEngine engine);

// A fresh database of one engine for one test.
//   SQLite: PALVA.mdb made by the store's own schema code in dataFolder.
//   PostgreSQL: a new database copied from the template (Content::Schema), or
//   an empty one (Content::Empty); dropped again on destruction.
// With Content::Empty on SQLite no file is made at all.
class TestDatabase {
public:
    enum class Content { Schema, Empty };

    TestDatabase(TestEngine engine, const QString& dataFolder, Content content = Content::Schema);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    // Non-empty when the engine is not available here (the test should QSKIP).
    QString skipReason() const { return m_skipReason; }
    // Non-empty when making the database failed (the test should QFAIL).
    QString failure() const { return m_failure; }

    TestEngine engine() const { return m_engine; }
    // What PALVA.INI says for this database; empty in SQLite mode.
    QString provider() const { return m_provider; }
    QString server() const { return m_server; }
    QString uid() const { return m_uid; }
    QString pwd() const { return m_pwd; }
    QString database() const { return m_database; }
    QString dataFolder() const { return m_dataFolder; } // ends with '/'

    // PALVA.INI's text for this database (section PALVA, five keys).
    QByteArray iniText() const;
    // The settings start-up would read: the INI keys and MirDataSource.
    GatewaySettings settings() const;
    // The connection text Open_DB builds for these settings.
    QString connectionText() const;

    // Runs a query on the calling thread's connection and returns every row,
    // decimals in high precision. Fails the test (QFAIL) on error.
    QList<QVariantList> selectRows(const QString& sql) const;

private:
    void createPostgreSqlDatabase(Content content);

    TestEngine m_engine;
    QString m_skipReason;
    QString m_failure;
    QString m_provider, m_server, m_uid, m_pwd, m_database;
    QString m_dataFolder;
    bool m_ownsPgDatabase = false;
};

// Declares `name` for the engine; skips or fails the calling test function
// when the database cannot be had.
#define KESTO_TEST_DATABASE(name, engine, folder, content)                                         \
    TestDatabase name((engine), (folder), (content));                                              \
    if (!name.skipReason().isEmpty())                                                              \
        QSKIP(qPrintable(name.skipReason()));                                                      \
    if (!name.failure().isEmpty())                                                                 \
    QFAIL(qPrintable(name.failure()))
