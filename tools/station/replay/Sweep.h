// One configuration key swept over a range of values, each value a replay of
// the whole log: yield against the value as a table and an SVG line plot.
#pragma once

#include "replay/Replay.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace station {

// "SECTION/KEY=FROM:TO:STEP"
struct SweepSpec {
    std::string section, key;
    double from = 0, to = 0, step = 1;
    std::vector<double> Values() const;
};
// Throws UsageError naming --sweep.
SweepSpec ParseSweep(const std::string& text);
// The configuration with the one key set to the value.
std::string SweptConfig(const std::string& config, const SweepSpec& sweep, double value);
std::string SweepValueText(double value);
// The key's value in the configuration as the action reads it; false when
// the file does not set it (the action's own default then applies).
bool SweepCurrent(const std::string& config, const SweepSpec& sweep, double* value);

// A sweep replayed over a log, as the report writers take it.
struct SweepReport {
    LogReport log;
    std::string config; // the configuration swept from
    SweepSpec sweep;
    std::vector<double> values;
    std::vector<ReplayOutcome> outcomes; // one per value
    std::optional<double> current;       // the key's value in the configuration, if set there
    // The value of the configuration itself (marked in the table).
    bool IsCurrent(double value) const;
};

// current: the key's value in the configuration, if it is there.
void PrintSweep(FILE* out, const SweepSpec& sweep, const std::vector<double>& values,
                const std::vector<ReplayOutcome>& outcomes, const double* current);
std::string SweepSvg(const SweepSpec& sweep, const std::vector<double>& values,
                     const std::vector<ReplayOutcome>& outcomes, const double* current,
                     const std::string& title);

// Two keys swept together: outcomes[i * values[1].size() + j] is the replay
// under the first key's i-th and the second key's j-th value.
void PrintSweepGrid(FILE* out, const std::vector<SweepSpec>& sweeps,
                    const std::vector<std::vector<double>>& values,
                    const std::vector<ReplayOutcome>& outcomes, const std::string& config);
// The grid as a heat map of yield.
std::string SweepGridSvg(const std::vector<SweepSpec>& sweeps,
                         const std::vector<std::vector<double>>& values,
                         const std::vector<ReplayOutcome>& outcomes, const std::string& config,
                         const std::string& title);

} // namespace station
