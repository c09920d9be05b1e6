// A line's logs analysed as they stand (no replay): per station and for the
// line the yield and failures, the capability of every judged value against
// its window, each station's tester bias against the rest of the line, and a
// change detector on the same quantity in log order. The parts of the logs
// are read on threads (the analysis does not call the library).
#pragma once

#include "analysis/Drift.h"
#include "logs/LogSource.h"
#include "reports/AnalysisModel.h"

#include <string>
#include <vector>

namespace station {

struct AnalyseParams {
    std::vector<std::string> logs; // files, folders or "-"
    std::string configPath;        // the windows; empty: the embedded default
    PrefixTemplate prefix;         // the hosts' prefix; empty: the line's own, where found
    int jobs = 0;                  // threads; 0: one per core
    double biasLimitPpm = 0.05;    // a station's tester bias beyond this is named
};

// One part of one log read and folded into `stats`; its reference-point
// errors go to `drift` for the detector.
bool AnalysePart(const LogInput& log, const LogPart& part, const std::vector<ConfigReport>& windows,
                 StationStats* stats, DriftSeries* drift, std::string* error);

// Each station's tester bias against the rest of the line, and the line's totals.
void CompareStations(LineAnalysis* a);

// Reads, judges and compares the logs under the windows of `config`; false
// with *error set when a log cannot be opened or none holds a unit. A log
// that stops early is named in its station's `incomplete`, what it gave kept.
bool AnalyseLogs(const AnalyseParams& params, const std::string& config,
                 const std::vector<LogInput>& logs, LineAnalysis* a, std::string* error);

} // namespace station
