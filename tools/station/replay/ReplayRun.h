// Hosts' logs replayed at scale: cut into parts, each part's units fitted
// once and calibrated again by worker processes under every configuration
// of a sweep, the outcomes merged in log order.
#pragma once

#include "logs/LogSource.h"
#include "replay/Replay.h"

#include <cstdio>
#include <string>
#include <vector>

namespace station {

struct ReplayParams {
    std::vector<std::string> logs;   // files, folders or "-"
    std::string configPath;          // empty: the embedded default configuration
    PrefixTemplate prefix;           // the hosts' prefix; empty: the line's own, where found
    ReplaySetup setup;               // an empty library path: the library beside the station
    std::vector<std::string> sweeps; // "SECTION/KEY=FROM:TO:STEP": one, or two for a grid
    int jobs = 0;                    // worker processes; 0: one per core
    std::string svgPath;
    bool json = false;
};

// The replay and its report; the exit status (kExitIncomplete when a log
// stopped early: it is named and what it gave replayed).
int RunReplay(const ReplayParams& params, FILE* out);
// The sweep of the parameters over the logs: its table printed to `table`
// (unless null) and its figure (a line plot, or a heat map of a grid); 0, or
// the exit status with *error set.
int ReplaySweep(const ReplayParams& params, const std::string& config,
                const std::vector<LogInput>& logs, FILE* table, std::string* figure,
                std::string* error);

} // namespace station
