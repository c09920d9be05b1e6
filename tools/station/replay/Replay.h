// A host's log replayed: every unit's fitted crystal calibrated again by the
// library, under one configuration or a sweep of one key, and compared with
// what the log shows.
#pragma once

#include "replay/Fit.h"
#include "logs/HostLog.h"
#include "logs/LogSource.h"
#include "session/Session.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace station {

// How the replay drives the library: as the station does for one unit.
struct ReplaySetup {
    std::string libraryPath;
    int32_t chipType = 1, band = 1;
    uint32_t rfKind = OMRA_DRIVER_KIND_OBJECT;
};

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

// Fits every unit of the log.
std::vector<CrystalFit> FitUnits(const HostLog& log);

// Units whose logged failure came from the station, not the crystal: the
// replay under the configuration the log was made with measures the same
// points as the log and goes on where the log stops (a measurement or a
// handset command failed), or passes where the log shows no results (a
// flash write failed). One text per unit, empty for the others.
bool FindStationFaults(const ReplaySetup& setup, const HostLog& log,
                       const std::vector<CrystalFit>& fits, const std::string& config,
                       std::vector<std::string>* faults, std::string* error);

// Replays the fitted units under each configuration text: the library is
// loaded once per chip and the action initialised once per configuration.
// False with *error set when the library cannot be loaded or initialised.
// Units not fitted or with a station fault keep their logged verdicts.
bool ReplayLog(const ReplaySetup& setup, const HostLog& log, const std::vector<CrystalFit>& fits,
               const std::vector<std::string>& faults, const std::vector<std::string>& configs,
               std::vector<ReplayOutcome>* outcomes, std::string* error);

struct Options;
struct LogInput;
// --replay (and --sweep): reads, fits, replays and reports; the exit status.
int RunReplay(const Options& options, FILE* out);
// The --sweep of the options over the logs: its table printed to `table`
// (unless null) and its figure (a line plot, or a heat map of a grid); 0, or
// the exit status with *error set.
int ReplaySweep(const Options& options, const std::string& config,
                const std::vector<LogInput>& logs, FILE* table, std::string* figure,
                std::string* error);

// What the log held and how its units were fitted.
struct LogReport {
    std::string path;
    long lines = 0, libraryLines = 0, unread = 0;
    std::vector<UnreadLine> unreadExamples;
    long units = 0;
    std::vector<std::pair<std::string, long>> perChip; // chips with units, in registry order
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
LogReport MakeLogReport(const std::string& path, const HostLog& log,
                        const std::vector<CrystalFit>& fits,
                        const std::vector<std::string>& faults);

// A replay under one configuration, as the report writers take it.
struct ReplayReport {
    LogReport log;
    ReplayOutcome outcome;
};

// The text of the reports.
void PrintLogSummary(FILE* out, const LogReport& log);
void PrintReplay(FILE* out, const ReplayOutcome& o);

} // namespace station
