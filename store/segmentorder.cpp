#include "segmentorder.h"

#include "leadingnumber.h"
#include "storeerror.h"

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

qint16 sortKey(const QString& itnIndex) {
    const double rounded = std::nearbyint(leadingNumber(itnIndex)); // ties to even
    if (!(rounded >= std::numeric_limits<qint16>::min() &&
          rounded <= std::numeric_limits<qint16>::max()))
        throw StoreError(StoreError::kOverflow, "Overflow"_L1);
    return static_cast<qint16>(rounded);
}

} // namespace

QList<int> segmentOrder(const QStringList& itnIndexes) {
    QList<qint16> keys;
    QList<int> positions;
    for (qsizetype i = 0; i < itnIndexes.size(); ++i) {
        keys.append(sortKey(itnIndexes[i]));
        positions.append(static_cast<int>(i + 1));
    }
    // A stable sort gives the same order as the documented exchange sort.
    std::stable_sort(positions.begin(), positions.end(),
                     [&keys](int a, int b) { return keys[a - 1] < keys[b - 1]; });
    return positions;
}
