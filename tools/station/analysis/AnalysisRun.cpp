// The logs cut into parts, the parts read on threads, their statistics
// merged per station in log order; then the drift detector over each log's
// series in order, and the stations compared.
#include "analysis/Analysis.h"
#include "support/Jobs.h"
#include "support/StationChips.h"

#include <chrono>

namespace station {

bool AnalyseLogs(const AnalyseParams& params, const std::string& config,
                 const std::vector<LogInput>& logs, LineAnalysis* a, std::string* error) {
    std::vector<ConfigReport> windows;
    for (sim::Chip chip : AllChips())
        windows.push_back(CheckConfig(config, chip));
    const auto start = std::chrono::steady_clock::now();
    a->jobs = params.jobs > 0 ? params.jobs : Cores();
    const std::vector<LogPart> parts = CutLogs(logs, a->jobs);
    std::vector<StationStats> stats(parts.size());
    std::vector<DriftSeries> series(parts.size());
    auto work = [&](size_t i, std::string* why) {
        return AnalysePart(logs[parts[i].log], parts[i], windows, &stats[i], &series[i], why);
    };
    if (!RunThreads(parts.size(), a->jobs, work, error))
        return false;

    a->stations.assign(logs.size(), StationStats());
    std::vector<std::vector<PartSeries>> drift(logs.size());
    for (size_t i = 0; i < parts.size(); ++i) {
        const size_t log = parts[i].log;
        drift[log].push_back({&series[i], stats[i].units, stats[i].lines});
        if (drift[log].size() == 1)
            a->stations[log] = std::move(stats[i]);
        else
            a->stations[log].Merge(stats[i]);
    }
    for (size_t log = 0; log < logs.size(); ++log)
        if (!FindDrift(drift[log], &a->stations[log], error))
            return false;
    a->driftSlack = Cusum::kSlack;
    a->driftLimit = Cusum::kLimit;
    a->driftReferenceUnits = Cusum::kReferenceUnits;
    a->biasLimitPpm = params.biasLimitPpm;
    CompareStations(a);
    a->bytes = a->line.bytes;
    a->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (a->line.units == 0) {
        *error = NoUnitReason(logs, a->line.lines, a->line.unread);
        return false;
    }
    return true;
}

} // namespace station
