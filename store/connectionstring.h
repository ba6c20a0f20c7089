#pragma once

#include <QString>

// The process-wide connection text that Open_DB builds; every writer, the
// error log and the viewers open with it. Safe to read from any thread.
QString ConnectionString();
void setConnectionString(const QString& text);
