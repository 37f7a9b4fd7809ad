// The gateway's metrics in the Prometheus text exposition format 0.0.4: one
// HELP and TYPE line per metric, then its samples. Metric and label names
// are stable; dashboards and alert rules depend on them.
#pragma once

#include <string>

#include "model/state_model.h"
#include "outputs/http/gateway_metrics.h"

namespace qmr4100::gateway {

inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

// Reads the model under its lock.
std::string metrics_text(const StateModel& model, const GatewayMetrics& metrics);

}  // namespace qmr4100::gateway
