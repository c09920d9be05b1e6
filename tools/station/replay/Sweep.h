// One configuration key swept over a range of values, each value a replay of
// the whole log: yield against the value as a table and an SVG line plot.
#pragma once

#include "reports/ReplayModel.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace station {

// Throws UsageError naming --sweep.
SweepSpec ParseSweep(const std::string& text);
// The configuration with the one key set to the value.
std::string SweptConfig(const std::string& config, const SweepSpec& sweep, double value);
// The key's value in the configuration as the action reads it; false when
// the file does not set it (the action's own default then applies).
bool SweepCurrent(const std::string& config, const SweepSpec& sweep, double* value);

} // namespace station
