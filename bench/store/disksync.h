#pragma once

#include <QString>

// The disk's own rate of durable commits: rewrites a small block of a file
// in the folder and waits for it to reach the disk (fdatasync), `count`
// times. Returns the mean seconds per write+sync, or a negative value when
// the file cannot be written.
double secondsPerDurableWrite(const QString& folder, int count);
