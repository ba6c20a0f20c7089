#pragma once

#include "cyclemetrics.h"
#include "healthcheck.h"

#include <QByteArray>
#include <QString>

// The Prometheus text exposition format (version 0.0.4) of the cycle's
// counters and histograms, and of the gauges a health check read from the
// folders and the database.
inline constexpr char kExpositionContentType[] = "text/plain; version=0.0.4; charset=utf-8";

QByteArray expositionText(const CycleMetrics& metrics, const Health& health,
                          const QString& version);
