#include "runsummary.h"

#include <QStringList>

QString waitReasonName(WaitReason reason) {
    switch (reason) {
    case WaitReason::Database:
        return QStringLiteral("the database");
    case WaitReason::Ledger:
        return QStringLiteral("the ledger");
    case WaitReason::ObjectModel:
        return QStringLiteral("the object model");
    case WaitReason::Endpoint:
        return QStringLiteral("the endpoint");
    case WaitReason::BackupCopy:
        return QStringLiteral("the backup copy");
    case WaitReason::Delete:
        return QStringLiteral("the delete");
    case WaitReason::Writer:
        break;
    }
    return QStringLiteral("its writer");
}

QString RunSummary::text() const {
    int waitingFiles = 0;
    QMap<QString, int> byName; // in the order of their names
    for (auto it = waiting.cbegin(); it != waiting.cend(); ++it) {
        waitingFiles += it.value();
        byName.insert(waitReasonName(it.key()), it.value());
    }
    QStringList reasons;
    for (auto it = byName.cbegin(); it != byName.cend(); ++it)
        reasons.append(QStringLiteral("%1 for %2").arg(it.value()).arg(it.key()));
    QString line = QStringLiteral("%1 stored, %2 refused, %3 filed uninterpreted, %4 left waiting")
                       .arg(stored)
                       .arg(refused)
                       .arg(uninterpreted)
                       .arg(waitingFiles);
    if (!reasons.isEmpty())
        line += QStringLiteral(" (") + reasons.join(QStringLiteral(", ")) + QLatin1Char(')');
    if (postsOwed > 0)
        line += QStringLiteral(", %1 posts owed").arg(postsOwed);
    return line + QStringLiteral(", %1 error rows").arg(errorRows);
}
