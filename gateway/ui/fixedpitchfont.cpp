#include "fixedpitchfont.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QStringList>

bool advancesEqually(const QFont& font) {
    const QFontMetricsF metrics(font);
    const qreal narrow = metrics.horizontalAdvance(QLatin1Char('i'));
    return narrow > 0 && narrow == metrics.horizontalAdvance(QLatin1Char('W')) &&
           narrow == metrics.horizontalAdvance(QLatin1Char('0'));
}

QFont fixedPitchFont() {
    const QFont system = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (advancesEqually(system))
        return system;
    QFont hinted(QStringLiteral("monospace"), system.pointSize());
    hinted.setStyleHint(QFont::TypeWriter);
    if (advancesEqually(hinted))
        return hinted;
    for (const QString& family : QFontDatabase::families()) {
        const QFont candidate(family, system.pointSize());
        if (QFontDatabase::isFixedPitch(family) && advancesEqually(candidate))
            return candidate;
    }
    return system;
}
