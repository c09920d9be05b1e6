// A simulated line's logs read by --analyse and --replay, in one job and in
// one per core: units per second and bytes per second of log. The logs are
// made once by the station program (4 stations, VANTOR_BENCH_UNITS units in
// all, 100000 by default) and removed at the end. The work runs on worker
// threads (analyse) or processes (replay), so the figures are of wall time;
// BM_ReadLog reads one station's log into units alone, on this thread. The
// Prefixed runs read the same logs with the host prefix before every line,
// the others without it.
#include "analysis/Analysis.h"
#include "config/ConfigCheck.h"
#include "logs/HostLog.h"
#include "logs/LogSource.h"
#include "support/Jobs.h"
#include "replay/ReplayRun.h"

#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
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
    // The logs without a prefix, and with the host prefix on every line.
    std::string Plain() const { return m_dir + "/plain"; }
    std::string Prefixed() const { return m_dir + "/prefixed"; }
    long Units() const { return m_units; }
    // The bytes of the four logs in the folder.
    static long long Bytes(const std::string& folder) {
        long long bytes = 0;
        for (int s = 1; s <= 4; ++s) {
            struct stat st {};
            if (::stat((folder + "/station-0" + std::to_string(s) + ".log").c_str(), &st) == 0)
                bytes += st.st_size;
        }
        return bytes;
    }
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
        if (::mkdir(Plain().c_str(), 0700) != 0 || ::mkdir(Prefixed().c_str(), 0700) != 0)
            return;
        for (int s = 1; s <= 4; ++s) {
            const std::string name = "/station-0" + std::to_string(s) + ".log";
            struct stat st {};
            if (!copy(name) || ::stat((m_dir + "/line" + name).c_str(), &st) != 0)
                return;
            m_bytes += st.st_size;
        }
    }

    // The station's log without and with the host prefix, whichever it was
    // written with: a unit a minute, its serial counted on.
    bool copy(const std::string& name) const {
        PrefixTemplate host;
        std::string error;
        std::ifstream in(m_dir + "/line" + name);
        std::ofstream plain(Plain() + name), prefixed(Prefixed() + name);
        if (!PrefixTemplate::Parse(kHostPrefix, &host, &error) || !in || !plain || !prefixed)
            return false;
        const std::string station = name.substr(1, name.size() - 5);
        long long unit = 0;
        std::string out;
        for (std::string line; std::getline(in, line);) {
            PrefixFields fields;
            size_t rest = 0;
            const std::string text = host.Match(line, &fields, &rest) ? line.substr(rest) : line;
            if (text.find("_PFER_0,") != std::string::npos)
                ++unit;
            out.clear();
            AppendHostPrefix(&out, 1796623200000LL + unit * 60000, station,
                             std::to_string(356938000000000LL + unit), 1);
            plain << text << '\n';
            prefixed << out << text << '\n';
        }
        return static_cast<bool>(plain) && static_cast<bool>(prefixed);
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

void logs(benchmark::State& state, int (*run)(const std::vector<std::string>&, int, FILE*),
          std::string (Line::*folder)() const = nullptr) {
    const Line& line = Line::Get();
    if (!line.Ok()) {
        state.SkipWithError("the line's logs could not be made");
        return;
    }
    const int jobs = state.range(0) > 0 ? static_cast<int>(state.range(0)) : Cores();
    const std::vector<std::string> paths = {folder != nullptr ? (line.*folder)()
                                                              : line.Dir() + "/line"};
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
    state.SetBytesProcessed(Line::Bytes(paths[0]) * state.iterations());
}

void BM_Analyse(benchmark::State& state) {
    logs(state, &analyse, &Line::Plain);
}
void BM_AnalysePrefixed(benchmark::State& state) {
    logs(state, &analyse, &Line::Prefixed);
}
void BM_Replay(benchmark::State& state) {
    logs(state, &replay);
}

// The reader and the line parser without the analysis: lines and units of one log.
void readLog(benchmark::State& state, std::string (Line::*folder)() const) {
    const Line& line = Line::Get();
    std::vector<LogInput> logs;
    std::string error;
    if (!line.Ok() || !ListLogs({(line.*folder)() + "/station-01.log"}, &logs, &error)) {
        state.SkipWithError("the line's logs could not be made");
        return;
    }
    long units = 0;
    for (auto _ : state) {
        PartReader reader(logs[0], LogPart());
        UnitReader read([&](LoggedUnit&) { ++units; });
        std::string_view text;
        long n = 0;
        if (!reader.Open()) {
            state.SkipWithError(reader.Error().c_str());
            return;
        }
        while (reader.Next(&text))
            read.Line(text, ++n);
        read.Finish();
    }
    state.counters["units/s"] =
        benchmark::Counter(static_cast<double>(units), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(logs[0].size * state.iterations());
}
void BM_ReadLog(benchmark::State& state) {
    readLog(state, &Line::Plain);
}
void BM_ReadLogPrefixed(benchmark::State& state) {
    readLog(state, &Line::Prefixed);
}
BENCHMARK(BM_ReadLog)->Unit(benchmark::kMillisecond)->Repetitions(3)->DisplayAggregatesOnly(true);
BENCHMARK(BM_ReadLogPrefixed)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->DisplayAggregatesOnly(true);

// 1: one job; 0: one per core.
BENCHMARK(BM_Analyse)
    ->Arg(1)
    ->Arg(0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_AnalysePrefixed)
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
