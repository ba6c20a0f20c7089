#pragma once

#include "rowappender.h"

#include <QString>

// How the writers reach their tables on the calling thread's connection for
// ConnectionString().
//
// A writer "opens" a table before its first row with the documented query
// whose condition is always false ("select * from AMTKT where 1=2"). No
// cursor is kept: the query only proves, before any row of that table is
// saved, that the table is there and readable, so a writer fails at the same
// step as documented. A connection proves each table once: the query runs
// again only after it failed or the connection was dropped, and a table that
// went away later fails the first INSERT of its rows instead. On a server
// each query is a round trip: six per booking, a quarter of its statements.
// Closing has no counterpart: a writer saves its rows of a table together
// where it would close the table, inside the version's transaction when the
// caller opened one, and nothing stays open between rows or calls.

// Runs the opening query and reads it to its end, unless it ran on the
// connection before (above). Throws StoreError.
void openForAppend(const QString& openingQuery);

// Saves one row. Throws StoreError.
void saveRow(const NewRow& row);
// Saves a writer's rows of a table, made before the first is saved, in as
// few statements as appendRows() allows. Throws StoreError.
void saveRows(const QList<NewRow>& rows);
