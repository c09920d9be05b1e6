// A line's logs analysed as they stand (no replay): per station and for the
// line the yield and failures, the capability of every judged value against
// its window, each station's tester bias from golden units, units read on
// two stations and single units, its drift and aging, and the line per
// shift. The parts of the logs are read on threads (the analysis does not
// call the library); one pass over their readings in time order follows.
#pragma once

#include "analysis/Readings.h"
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
    GoldenUnits golden;            // serials run on every station, references if known
    double pairWindowHours = 24;   // a serial's second reading is looked for this long
};

// One part of one log: its stations' statistics (a log names one station,
// or its lines' prefixes name several) and every unit as a reading.
struct PartAnalysis {
    std::vector<StationStats> stations; // in the order their first units came
    StationStats log;                   // the part's lines, unread lines, bytes and stop
    ReadingSeries readings;
    SerialTexts serialTexts; // of hashed serials that begin a shift on their station here
};

// One part of one log read and folded; golden units (may be null) stay out
// of the stations' single-unit comparison.
bool AnalysePart(const LogInput& log, const LogPart& part, const std::vector<ConfigReport>& windows,
                 const GoldenUnits* golden, PartAnalysis* out, std::string* error);

// Reads, judges and compares the logs under the windows of `config`; false
// with *error set when a log cannot be opened or none holds a unit. A log
// that stops early is named in its station's `incomplete`, what it gave kept.
bool AnalyseLogs(const AnalyseParams& params, const std::string& config,
                 const std::vector<LogInput>& logs, LineAnalysis* a, std::string* error);

} // namespace station
