#pragma once

#include "korvaclient.h"
#include "opendb.h"
#include "testdatabase.h"

#include <QString>
#include <QTest>

#include <initializer_list>
#include <utility>

// Booking trees and databases for the tests of the table writers.

using Properties = std::initializer_list<std::pair<const char*, QString>>;

korva::Pnr makePnr(Properties properties = {});
// Each member is filed under the next number of its collection.
korva::Pax addPax(const korva::Pnr& pnr, Properties properties);
korva::Itn addItn(const korva::Pnr& pnr, Properties properties);
korva::Crl addCrl(const korva::Pnr& pnr, Properties properties);

// The database's settings with the two XML switches.
GatewaySettings writerSettings(const TestDatabase& db, const QString& xmlFg, const QString& tMode);

// Runs a statement on the calling thread's connection for the database (for
// setting up a case: dropping a table, adding a trigger). Fails the test on error.
void execOn(const TestDatabase& db, const QString& sql);

// For _data() functions: one row per engine and case, named "engine/case".
QTestData& newEngineRow(TestEngine engine, const char* caseName);

// A fresh database of the engine with the schema, opened as a run opens it.
#define KESTO_WRITER_DATABASE(name, engine, home)                                                  \
    KESTO_TEST_DATABASE(name, engine, (home).folder(QStringLiteral("vela_data")),                  \
                        TestDatabase::Content::Schema);                                            \
    QVERIFY(Open_DB(name.settings()).ok)
