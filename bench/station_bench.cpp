// Populations on the virtual clock: units per second for each chip, and what
// the library itself costs per VT318 run beside a loop that makes the same
// driver calls and formats the same bytes without it. Every benchmark is
// repeated and reported by its median; the library / loop ratio closes the
// report.
#include "AllocationCount.h"
#include "config/ConfigCheck.h"
#include "session/Session.h"
#include "support/StationChips.h"
#include "core/common/ConfigTable.h"
#include "omra/errorcode.h"
#include "omra/phonecommand.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <unistd.h>

namespace {

using namespace station;

// Repetitions of each benchmark; the median of them is the figure to read.
constexpr int kRepetitions = 7;

// Allocations per iteration over a benchmark's loop, as a counter.
class AllocationsPerIteration {
public:
    AllocationsPerIteration() : m_start(alloc_count::Count()) {}
    benchmark::Counter Result(const benchmark::State& state) const {
        double n = static_cast<double>(alloc_count::Count() - m_start);
        return benchmark::Counter(n /
                                  static_cast<double>(std::max<int64_t>(1, state.iterations())));
    }

private:
    uint64_t m_start;
};

benchmark::Counter UnitsPerSecond(const benchmark::State& state) {
    return benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// One station position with the default configuration, as the station sets it up.
struct Position {
    explicit Position(sim::Chip chip) {
        char path[] = "/tmp/vantor-bench-XXXXXX";
        int fd = mkstemp(path);
        if (fd >= 0)
            close(fd);
        m_config = path;
        std::ofstream(m_config, std::ios::binary) << DefaultConfigText();
        ok = session.Open(host::DefaultLibraryPath()) && session.Create(ActionId(chip), chip) &&
             session.Init(1, 1, m_config, OMRA_DRIVER_KIND_OBJECT);
        UseClock(&clock);
    }
    ~Position() {
        UseClock(nullptr);
        std::remove(m_config.c_str());
    }
    const std::string& Config() const { return m_config; }
    Session session;
    StationClock clock;
    bool ok = false;

private:
    std::string m_config;
};

void population(benchmark::State& state, sim::Chip chip) {
    Position p(chip);
    if (!p.ok) {
        state.SkipWithError(p.session.Error().c_str());
        return;
    }
    sim::CrystalParams nominal = sim::NominalCrystal(chip);
    sim::CrystalSpread spread{3000, 40, 1.0};
    sim::Random draw(1);
    long passed = 0;
    for (auto _ : state) {
        sim::CrystalParams unit = sim::DrawCrystal(nominal, spread, draw);
        UnitResult r = p.session.Run(unit, draw.Next(), Faults{}, &p.clock, false);
        passed += r.passed ? 1 : 0;
        benchmark::DoNotOptimize(r);
    }
    state.counters["units/s"] = UnitsPerSecond(state);
    state.counters["yield_%"] = 100.0 * static_cast<double>(passed) /
                                static_cast<double>(std::max<int64_t>(1, state.iterations()));
}

// One population benchmark per chip of the registry.
const bool kPopulationsRegistered = [] {
    for (sim::Chip chip : AllChips()) {
        std::string name = std::string("BM_Population") + ChipLabel(chip);
        benchmark::RegisterBenchmark(name.c_str(), population, chip)
            ->Repetitions(kRepetitions)
            ->DisplayAggregatesOnly(true);
    }
    return true;
}();

// --- the library's cost beside a minimal loop ----------------------------------

// A nominal VT318 unit through the library: the same work as the loop below.
void BM_LibraryRunVt318(benchmark::State& state) {
    Position p(sim::Chip::VT318);
    if (!p.ok) {
        state.SkipWithError(p.session.Error().c_str());
        return;
    }
    sim::CrystalParams nominal = sim::NominalCrystal(sim::Chip::VT318);
    uint64_t seed = 1;
    AllocationsPerIteration allocations;
    for (auto _ : state) {
        UnitResult r = p.session.Run(nominal, seed++, Faults{}, &p.clock, false);
        if (!r.passed) {
            state.SkipWithError("a nominal unit failed");
            break;
        }
        benchmark::DoNotOptimize(r);
    }
    state.counters["allocs/run"] = allocations.Result(state);
    state.counters["units/s"] = UnitsPerSecond(state);
}
BENCHMARK(BM_LibraryRunVt318)->Repetitions(kRepetitions)->DisplayAggregatesOnly(true);

// InitAction on the default configuration file, as a station repeats it.
void BM_InitActionVt318(benchmark::State& state) {
    Position p(sim::Chip::VT318);
    if (!p.ok) {
        state.SkipWithError(p.session.Error().c_str());
        return;
    }
    AllocationsPerIteration allocations;
    for (auto _ : state) {
        if (!p.session.Init(1, 1, p.Config(), OMRA_DRIVER_KIND_OBJECT)) {
            state.SkipWithError(p.session.Error().c_str());
            break;
        }
    }
    state.counters["allocs/init"] = allocations.Result(state);
}
BENCHMARK(BM_InitActionVt318)->Repetitions(kRepetitions)->DisplayAggregatesOnly(true);

// The keys one VT318 InitAction reads, read per key from the path or through
// one ProfileFile: the reader's cost per load.

const config::Facts kVt318Tables[] = {config::kDiagControlFacts, config::kVt318Facts};

void profileReads(benchmark::State& state, bool once) {
    Position p(sim::Chip::VT318);
    AllocationsPerIteration allocations;
    uint32_t sum = 0;
    for (auto _ : state) {
        if (once) {
            platform::ProfileFile file(p.Config().c_str());
            for (const config::Facts& table : kVt318Tables)
                for (const config::KeyFact& k : table)
                    sum += file.Int(k.section, k.key, k.actionDefault);
        } else {
            for (const config::Facts& table : kVt318Tables)
                for (const config::KeyFact& k : table)
                    sum +=
                        platform::ProfileInt(k.section, k.key, k.actionDefault, p.Config().c_str());
        }
    }
    benchmark::DoNotOptimize(sum);
    state.counters["allocs/load"] = allocations.Result(state);
}

void BM_ProfilePerKeyVt318(benchmark::State& s) {
    profileReads(s, false);
}
void BM_ProfileFileVt318(benchmark::State& s) {
    profileReads(s, true);
}
BENCHMARK(BM_ProfilePerKeyVt318)->Repetitions(kRepetitions)->DisplayAggregatesOnly(true);
BENCHMARK(BM_ProfileFileVt318)->Repetitions(kRepetitions)->DisplayAggregatesOnly(true);

// What the host's targets take: the same summary the station keeps.
struct Summary {
    int measurements = 0, attempts = 0;
    double cdac = 0, cafc = 0, slope = 0;
};

int OMRA_CALL onItem(void* record) {
    const RESULT_ITEM* it = static_cast<const RESULT_ITEM*>(record);
    Summary* s = reinterpret_cast<Summary*>(
        static_cast<uintptr_t>((static_cast<uint64_t>(it->context2) << 32) | it->context1));
    if (std::strncmp(it->name, "CH: ", 4) == 0)
        ++s->measurements;
    else if (std::strcmp(it->name, "CDAC") == 0)
        s->cdac = it->u.num.value;
    else if (std::strcmp(it->name, "CAFC") == 0)
        s->cafc = it->u.num.value;
    else if (std::strcmp(it->name, "CAFC Slope") == 0)
        s->slope = it->u.num.value;
    else if (std::strcmp(it->name, "CDAC Slope") == 0)
        ++s->attempts;
    return 1;
}

int OMRA_CALL onLine(void* record) {
    benchmark::DoNotOptimize(static_cast<const LOG_LINE*>(record)->length);
    return 1;
}

struct Sender {
    Summary* summary = nullptr;
    RESULT_ITEM item{};
    LOG_LINE line{};
    std::string text;

    void Item(const char* name, double low, double value, double high, const char* unit, int kind,
              int level) {
        std::snprintf(item.name, sizeof item.name, "%s", name);
        item.form = OMRA_FORM_NUMERIC;
        item.u.num.low = low;
        item.u.num.value = value;
        item.u.num.high = high;
        std::snprintf(item.unit, sizeof item.unit, "%s", unit);
        item.kind = kind;
        item.level = level;
        if (kind != OMRA_KIND_INFO)
            item.pass = low <= value && value <= high;
        uint64_t a = reinterpret_cast<uintptr_t>(summary);
        item.context1 = static_cast<uint32_t>(a);
        item.context2 = static_cast<uint32_t>(a >> 32);
        onItem(&item);
    }
    void Line(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char buf[256];
        va_list args;
        va_start(args, format);
        int n = std::vsnprintf(buf, sizeof buf, format, args);
        va_end(args);
        text.assign(buf, static_cast<size_t>(n));
        line.text = text.c_str();
        line.length = static_cast<uint32_t>(text.size());
        line.level = 1;
        onLine(&line);
    }
};

const char kNv[] =
    "calibration_param_T.rf_param_dsp_use.rf_common_param_dsp_use.nimb2_RF_AFC_STRUCT";

// The driver calls, pauses, items and lines of a first-attempt VT318 run,
// with the same arithmetic, and nothing of the library around them.
void BM_MinimalLoopVt318(benchmark::State& state) {
    StationClock clock;
    UseClock(&clock);
    PFN_OmraHost_Sleep sleep = &OmraHost_Sleep;
    sim::CrystalParams nominal = sim::NominalCrystal(sim::Chip::VT318);
    uint64_t seed = 1;
    AllocationsPerIteration allocations;
    const uint16_t pcl = 10, tch = 62, cdac0 = 55, cafc0 = 7000, delta = 1000;
    for (auto _ : state) {
        Summary summary;
        Sender out;
        out.summary = &summary;
        sim::Handset handset(nominal, seed++, nullptr, &clock.instruments);
        handset.Attach();
        sim::RfTester rf(&handset, nullptr, &clock.instruments);
        Spec_ClearErrorCode(E_ERR_ANY);
        rf.BeginAction(0);
        rf.SetBand(-1, 1);
        HT_SetPhoneClassmark_MChip(0);
        rf.SetPowerLevel(pcl, 0);
        rf.SetChannel(tch);
        rf.SetTrafficChannel(tch, 0);
        int counter = 0;
        auto measure = [&](uint16_t cdac, uint16_t cafc) {
            Spec_ClearErrorCode(E_ERR_ANY);
            AFC_START_BLOCK block{pcl, tch, cdac, cafc};
            unsigned char pfer[OMRA_PFER_BLOCK_BYTES] = {};
            HT_AfcStart_MChip(1, &block);
            rf.SetupMeasurement(OMRA_MEAS_PFER, 0, 0);
            rf.TriggerMeasurement(OMRA_MEAS_PFER);
            rf.ReadMeasurement(OMRA_MEAS_PFER, reinterpret_cast<intptr_t>(pfer));
            HT_AfcStart_MChip(0, &block);
            benchmark::DoNotOptimize(Spec_GetError(E_ERR_RFTESTER));
            float fe32 = 0;
            std::memcpy(&fe32, pfer + OMRA_PFER_FE_OFFSET, sizeof fe32);
            double fe = fe32;
            char name[OMRA_ITEM_NAME_BYTES];
            std::snprintf(name, sizeof name, "CH: %d, PCL: %d, CDAC: %d, CAFC: %d, FE", tch, pcl,
                          cdac, cafc);
            out.Item(name, 0, fe, 0, "Hz", OMRA_KIND_INFO, 3);
            out.Line("%s_PFER_%d,%s,%d,%d,%d,%d,-,%d,%d,%d,%d,%d,-,%f,-,%s,-", "VT318_AFC",
                     counter++, "EGSM900", tch, tch, pcl, 0, 0, 0, cdac, cafc, 0, fe, "Hz");
            return fe;
        };
        double feA = measure(cdac0, cafc0);
        sleep(200);
        double feB = measure(cdac0 - 8, cafc0);
        sleep(200);
        double cdacSlope = (feA - feB) * 0.125;
        out.Item("CDAC Slope", 0, cdacSlope, 0, "-", OMRA_KIND_INFO, 3);
        uint16_t cdac = static_cast<uint16_t>(static_cast<int64_t>(cdac0 - feA / cdacSlope));
        out.Item("CDAC", 40, cdac, 70, "CDAC", OMRA_KIND_JUDGED, 1);
        out.Item("CDAC", 0, cdac, 63, "CDAC", OMRA_KIND_JUDGED, 1);
        double feC = measure(cdac, cafc0 - delta);
        sleep(200);
        double feD = measure(cdac, cafc0 + delta);
        double slope = (feD - feC) / (2.0 * delta);
        out.Item("CAFC Slope", 4, slope, 10, "-", OMRA_KIND_JUDGED, 1);
        uint16_t length = static_cast<uint16_t>(static_cast<int64_t>(32768.0 / slope));
        out.Item("Slope Length", 0, static_cast<int16_t>(length), 0, "-", OMRA_KIND_INFO, 3);
        uint16_t cafc = static_cast<uint16_t>(static_cast<int64_t>((cafc0 + delta) - feD / slope));
        out.Item("CAFC", 6000, cafc, 8000, "CAFC", OMRA_KIND_JUDGED, 1);
        HT_WriteData_Flash_AFC_CAFC(cafc);
        HT_WriteData_Flash_AFC_CDAC(cdac);
        HT_WriteData_Flash_AFC_slope_length(length);
        out.Item("Save params", 0, 0, 0, "-", OMRA_KIND_JUDGED, 1);
        out.Line("%s.CDAC,-,-,-,-,-,-,-,-,-,-,-,-,%d,-,-,-", kNv, static_cast<int16_t>(cdac));
        out.Line("%s.CAFC,-,-,-,-,-,-,-,-,-,-,-,-,%d,-,-,-", kNv, static_cast<int16_t>(cafc));
        out.Line("%s.slope_length,-,-,-,-,-,-,-,-,-,-,-,-,%d,-,-,-", kNv,
                 static_cast<int16_t>(length));
        out.Item("", 0, 0, 0, "-", OMRA_KIND_CLOSING, 1);
        if (summary.measurements != 4 || summary.cafc < 6000 || summary.cafc > 8000) {
            state.SkipWithError("the minimal loop lost its way");
            break;
        }
        benchmark::DoNotOptimize(summary);
    }
    UseClock(nullptr);
    state.counters["allocs/run"] = allocations.Result(state);
    state.counters["units/s"] = UnitsPerSecond(state);
}
BENCHMARK(BM_MinimalLoopVt318)->Repetitions(kRepetitions)->DisplayAggregatesOnly(true);

// The console report, keeping the medians for the closing comparison.
class MedianKeeper : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" &&
                !run.error_occurred)
                m_medianNs[run.run_name.function_name] =
                    run.GetAdjustedCPUTime() * timeUnitNs(run.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
    // Median CPU time per iteration in nanoseconds, or 0 when not run.
    double MedianNs(const std::string& name) const {
        auto it = m_medianNs.find(name);
        return it == m_medianNs.end() ? 0.0 : it->second;
    }

private:
    static double timeUnitNs(benchmark::TimeUnit unit) {
        switch (unit) {
        case benchmark::kSecond:
            return 1e9;
        case benchmark::kMillisecond:
            return 1e6;
        case benchmark::kMicrosecond:
            return 1e3;
        case benchmark::kNanosecond:
            break;
        }
        return 1.0;
    }
    std::map<std::string, double> m_medianNs;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    MedianKeeper reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double library = reporter.MedianNs("BM_LibraryRunVt318");
    double loop = reporter.MedianNs("BM_MinimalLoopVt318");
    if (library > 0 && loop > 0)
        std::cout << "VT318 run, medians of CPU time: library " << library << " ns ("
                  << 1e9 / library << " units/s), hand-written loop " << loop << " ns ("
                  << 1e9 / loop << " units/s), ratio library / loop " << library / loop << "\n";
    benchmark::Shutdown();
    return 0;
}
