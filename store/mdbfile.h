#pragma once

#include <QString>

// Creates the embedded database file (PALVA.mdb) at the path from the shipped
// SQLite schema, making its folder when needed. Refuses to touch an existing
// file. Throws StoreError; a file left half-made by a failure is removed.
void createMdbFile(const QString& filePath);
