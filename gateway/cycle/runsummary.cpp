#include "runsummary.h"

#include <QStringList>

QString RunSummary::text() const {
    int waitingFiles = 0;
    QStringList reasons;
    for (auto it = waiting.cbegin(); it != waiting.cend(); ++it) {
        waitingFiles += it.value();
        reasons.append(QStringLiteral("%1 for %2").arg(it.value()).arg(it.key()));
    }
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
