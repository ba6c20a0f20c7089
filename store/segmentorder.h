#pragma once

#include <QList>
#include <QStringList>

// The order in which a booking's segments are stored: positions 1..n of the
// collection sorted ascending by the leading number of each ITN_IDX, rounded
// to a 16-bit integer (halves to the even neighbour); equal keys keep their
// collection order, and an ITN_IDX without a number sorts as 0. Throws
// StoreError (overflow) when a number does not fit 16 bits.
QList<int> segmentOrder(const QStringList& itnIndexes);
