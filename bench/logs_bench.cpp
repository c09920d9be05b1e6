// A simulated line's logs read by --analyse and --replay, in one job and in
// one per core: units per second and bytes per second of log. The logs are
// made once by the station program (4 stations, VANTOR_BENCH_UNITS units in
// all, 100000 by default) and removed at the end. The work runs in worker
// processes, so the figures are of wall time.
#include "analysis/Analysis.h"
#include "config/ConfigCheck.h"
#include "support/Jobs.h"
#include "replay/ReplayRun.h"

#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

using namespace station;

// The line's logs, made at first use.
class Line {
public:
    static const Line& Get() {
        static const Line line;
        return line;
    }
    ~Line() {
        if (!m_dir.empty())
            std::system(("rm -rf '" + m_dir + "'").c_str());
    }
    const std::string& Dir() const { return m_dir; }
    long Units() const { return m_units; }
    long long Bytes() const { return m_bytes; }
    bool Ok() const { return m_bytes > 0; }

private:
    Line() {
        const char* n = std::getenv("VANTOR_BENCH_UNITS");
        m_units = n != nullptr ? std::atol(n) : 100000;
        char path[] = "/tmp/vantor-logs-bench-XXXXXX";
        if (m_units <= 0 || ::mkdtemp(path) == nullptr)
            return;
        m_dir = path;
        const std::string make =
            std::string("'") + STATION_EXE + "' line --units " + std::to_string(m_units) +
            " --stations 4 --seed 1 --no-progress --log '" + m_dir + "/line' >/dev/null";
        if (std::system(make.c_str()) != 0)
            return;
        for (int s = 1; s <= 4; ++s) {
            struct stat st {};
            if (::stat((m_dir + "/line/station-0" + std::to_string(s) + ".log").c_str(), &st) == 0)
                m_bytes += st.st_size;
        }
    }
    std::string m_dir;
    long m_units = 0;
    long long m_bytes = 0;
};

// Analyses the logs as the station's analyse command does, printing its report.
int analyse(const std::vector<std::string>& logPaths, int jobs, FILE* out) {
    AnalyseParams p;
    p.logs = logPaths;
    p.jobs = jobs;
    std::string config, error;
    std::vector<LogInput> inputs;
    LineAnalysis a;
    if (!ReadRunConfig("", &config, &a.config, &error) || !ListLogs(p.logs, &inputs, &error) ||
        !AnalyseLogs(p, config, inputs, &a, &error))
        return 2;
    PrintAnalysis(out, a);
    return 0;
}

int replay(const std::vector<std::string>& logPaths, int jobs, FILE* out) {
    ReplayParams p;
    p.logs = logPaths;
    p.jobs = jobs;
    return RunReplay(p, out);
}

void logs(benchmark::State& state, int (*run)(const std::vector<std::string>&, int, FILE*)) {
    const Line& line = Line::Get();
    if (!line.Ok()) {
        state.SkipWithError("the line's logs could not be made");
        return;
    }
    const int jobs = state.range(0) > 0 ? static_cast<int>(state.range(0)) : Cores();
    const std::vector<std::string> paths = {line.Dir() + "/line"};
    std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen("/dev/null", "w"), &std::fclose);
    for (auto _ : state)
        if (run(paths, jobs, out.get()) != 0) {
            state.SkipWithError("the run failed");
            return;
        }
    state.counters["jobs"] = jobs;
    state.counters["units/s"] = benchmark::Counter(static_cast<double>(line.Units()) *
                                                       static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
    state.SetBytesProcessed(line.Bytes() * state.iterations());
}

void BM_Analyse(benchmark::State& state) {
    logs(state, &analyse);
}
void BM_Replay(benchmark::State& state) {
    logs(state, &replay);
}

// 1: one job; 0: one per core.
BENCHMARK(BM_Analyse)
    ->Arg(1)
    ->Arg(0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_Replay)
    ->Arg(1)
    ->Arg(0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->DisplayAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
