#pragma once

#include "documentbook.h"

#include <QList>
#include <QString>

// The forms `kesto documents` prints the documents in.
QString documentsJson(const QList<DocumentView>& documents);
QString documentsCsv(const QList<DocumentView>& documents);
QString documentsText(const QList<DocumentView>& documents);
