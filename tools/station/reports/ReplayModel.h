// What a replay of hosts' logs found, as its job fills it and the text,
// JSON and SVG writers write it: the logs and their fits, the outcome under
// each configuration, and a sweep of one key or a grid of two.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Simulator.h"
#include "logs/HostLog.h"
#include "logs/LogSource.h"

namespace station {

// RMS residual above which a fit is not trusted for a replay.
constexpr double kPoorFitHz = 100.0;

} // namespace station

namespace station {

// A whole-number change over the units that passed in the log and the replay.
struct ChangeCounts {
    long units = 0, unchanged = 0;
    double sum = 0, sumSquares = 0;
    int min = 0, max = 0;
    std::map<int, long> counts; // change -> units
    void Add(int change);
    double Mean() const { return units > 0 ? sum / static_cast<double>(units) : 0.0; }
    double Sd() const;
};

struct ChangedUnit {
    long unit = 0; // index in the log, from 1
    long line = 0; // its first log line
    sim::Chip chip = sim::Chip::VT318;
    bool logPassed = false, replayPassed = false;
    std::string reason; // the replay's failure, or how the log's unit failed
};

// One configuration replayed over a log.
struct ReplayOutcome {
    std::string config;                   // label: the file, or the swept key and its value
    long units = 0;                       // every unit of the log
    long apart = 0;                       // not fitted or a station fault: logged verdict kept
    long logPassed = 0, replayPassed = 0; // over every unit
    long changed = 0;
    std::vector<ChangedUnit> changedUnits;   // the first kChangedKept of them
    std::map<std::string, long> newFailures; // reason pattern -> units passing in the log only
    ChangeCounts cafc, cdac;
    long timed = 0;
    double timeSumMs = 0, timeMinMs = 0, timeMaxMs = 0;
    long logPoints = 0, replayPoints = 0; // PFER points of the replayed units
    static constexpr size_t kChangedKept = 200;
    double YieldBefore() const;
    double YieldAfter() const;
};

// What the log held and how its units were fitted.
struct LogReport {
    std::string path;
    long lines = 0, libraryLines = 0, unread = 0;
    std::vector<UnreadLine> unreadExamples;
    long units = 0;
    std::vector<std::pair<std::string, long>> perChip; // chips with units, in registry order
    // Units by station (a line's prefix names it, else its log's name), in
    // the order of their first units.
    std::vector<std::pair<std::string, long>> perStation;
    long fitted = 0, tooFewPoints = 0, poorFits = 0;
    double worstResidualHz = 0;
    long assumedStep = 0; // fitted with the chip's nominal CDAC step
    // Units not replayed, grouped by why, in the order of their first unit.
    struct Apart {
        std::string why;
        long count = 0;
        long firstUnit = 0, firstLine = 0; // from 1
    };
    std::vector<Apart> apart;
    std::vector<IncompleteLog> incomplete; // logs that stopped early, in log order
};
// "SECTION/KEY=FROM:TO:STEP"
struct SweepSpec {
    std::string section, key;
    double from = 0, to = 0, step = 1;
    std::optional<double> current; // the key's value in the configuration swept, if set there
    std::vector<double> Values() const;
};
std::string SweepValueText(double value);

// A replay under one configuration, as the report writers take it.
struct ReplayReport {
    LogReport log;
    ReplayOutcome outcome;
};

// The text of the reports.
void PrintLogSummary(FILE* out, const LogReport& log);
void PrintReplay(FILE* out, const ReplayOutcome& o);

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
                    const std::vector<ReplayOutcome>& outcomes);
// The grid as a heat map of yield.
std::string SweepGridSvg(const std::vector<SweepSpec>& sweeps,
                         const std::vector<std::vector<double>>& values,
                         const std::vector<ReplayOutcome>& outcomes, const std::string& title);

} // namespace station
