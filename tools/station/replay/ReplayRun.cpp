// --replay (and --sweep): the logs cut into parts and read by workers, each
// part in batches of units read, fitted once and replayed under every
// configuration, then forgotten; the outcomes merged in log order.
#include "config/ConfigCheck.h"
#include "support/Jobs.h"
#include "logs/LogSource.h"
#include "OmraHost.h"
#include "replay/ReplayRun.h"
#include "reports/Report.h"
#include "support/RunningStats.h"
#include "support/StationChips.h"
#include "replay/Sweep.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>

namespace station {

namespace {

constexpr size_t kBatchUnits = 2048;
constexpr size_t kUnreadShown = 5;

// What the report says of the logs: a batch's, a part's or every log's, the
// later's units and lines counted on from `units` and `lines`.
void mergeLog(LogReport* into, const LogReport& later, long units, long lines) {
    for (UnreadLine u : later.unreadExamples) {
        if (into->unreadExamples.size() >= kUnreadShown)
            break;
        u.number += lines;
        into->unreadExamples.push_back(u);
    }
    for (LogReport::Apart g : later.apart) {
        auto it = std::find_if(into->apart.begin(), into->apart.end(),
                               [&](const LogReport::Apart& h) { return h.why == g.why; });
        if (it != into->apart.end()) {
            it->count += g.count;
            continue;
        }
        g.firstUnit += units;
        g.firstLine += lines;
        into->apart.push_back(g);
    }
    // Chips in the registry's order.
    std::vector<std::pair<std::string, long>> chips;
    for (sim::Chip c : AllChips()) {
        long n = 0;
        const LogReport& before = *into;
        for (const auto* side : {&before.perChip, &later.perChip})
            for (const auto& kv : *side)
                if (kv.first == ChipLabel(c))
                    n += kv.second;
        if (n > 0)
            chips.push_back({ChipLabel(c), n});
    }
    into->perChip = chips;
    for (const auto& st : later.perStation) {
        auto it = std::find_if(into->perStation.begin(), into->perStation.end(),
                               [&](const auto& kv) { return kv.first == st.first; });
        if (it == into->perStation.end())
            into->perStation.push_back(st);
        else
            it->second += st.second;
    }
    into->incomplete.insert(into->incomplete.end(), later.incomplete.begin(),
                            later.incomplete.end());
    into->lines += later.lines;
    into->libraryLines += later.libraryLines;
    into->unread += later.unread;
    into->units += later.units;
    into->fitted += later.fitted;
    into->tooFewPoints += later.tooFewPoints;
    into->poorFits += later.poorFits;
    into->assumedStep += later.assumedStep;
    into->worstResidualHz = std::max(into->worstResidualHz, later.worstResidualHz);
}

// A worker's result in the one shape it is written and read in: each field
// goes through `io`, which puts it into the archive when saving and gets it
// back when loading (false once the text does not fit).
struct Saving {
    Archive& a;
    template <typename T> bool operator()(T& v) {
        a.Put(v);
        return true;
    }
    template <typename C> bool Size(C& c, long long) {
        a.Put(static_cast<long long>(c.size()));
        return true;
    }
    template <typename K, typename V> bool Map(std::map<K, V>& m) {
        a.Put(static_cast<long long>(m.size()));
        for (auto& kv : m) {
            K key = kv.first;
            if (!(*this)(key) || !(*this)(kv.second))
                return false;
        }
        return true;
    }
};

struct Loading {
    Archive& a;
    template <typename T> bool operator()(T& v) { return a.Get(&v); }
    template <typename C> bool Size(C& c, long long most) {
        long long n = 0;
        if (!a.Get(&n) || n < 0 || n > most)
            return false;
        c.resize(static_cast<size_t>(n));
        return true;
    }
    template <typename K, typename V> bool Map(std::map<K, V>& m) {
        long long n = 0;
        if (!a.Get(&n) || n < 0)
            return false;
        for (long long i = 0; i < n; ++i) {
            K key{};
            if (!a.Get(&key) || !a.Get(&m[key]))
                return false;
        }
        return true;
    }
};

template <typename C, typename Each> bool each(C& c, Each f) {
    for (auto& x : c)
        if (!f(x))
            return false;
    return true;
}

template <typename Io> bool fields(Io& io, IncompleteLog& l) {
    int end = static_cast<int>(l.stop.end);
    if (!io(l.log) || !io(end) || !io(l.stop.why) || !io(l.stop.byte) || !io(l.line) ||
        !io(l.units) || !io(l.cutUnits) || end < 0 || end > static_cast<int>(LogEnd::ReadError))
        return false;
    l.stop.end = static_cast<LogEnd>(end);
    return true;
}

template <typename Io> bool fields(Io& io, LogReport& r) {
    return io(r.lines) && io(r.libraryLines) && io(r.unread) && io(r.units) && io(r.fitted) &&
           io(r.tooFewPoints) && io(r.poorFits) && io(r.assumedStep) && io(r.worstResidualHz) &&
           io.Size(r.unreadExamples, 100) &&
           each(r.unreadExamples, [&](UnreadLine& u) { return io(u.number) && io(u.text); }) &&
           io.Size(r.perChip, 64) &&
           each(r.perChip, [&](auto& kv) { return io(kv.first) && io(kv.second); }) &&
           io.Size(r.perStation, 100000) &&
           each(r.perStation, [&](auto& kv) { return io(kv.first) && io(kv.second); }) &&
           io.Size(r.apart, 100000) &&
           each(r.apart,
                [&](LogReport::Apart& g) {
                    return io(g.why) && io(g.count) && io(g.firstUnit) && io(g.firstLine);
                }) &&
           io.Size(r.incomplete, 64) &&
           each(r.incomplete, [&](IncompleteLog& l) { return fields(io, l); });
}

template <typename Io> bool fields(Io& io, ChangeCounts& c) {
    return io(c.units) && io(c.unchanged) && io(c.sum) && io(c.sumSquares) && io(c.min) &&
           io(c.max) && io.Map(c.counts);
}

template <typename Io> bool fields(Io& io, ChangedUnit& c) {
    int chip = static_cast<int>(c.chip);
    if (!io(c.unit) || !io(c.line) || !io(chip) || !io(c.logPassed) || !io(c.replayPassed) ||
        !io(c.reason) || chip < 0 || static_cast<size_t>(chip) >= AllChips().size())
        return false;
    c.chip = static_cast<sim::Chip>(chip);
    return true;
}

template <typename Io> bool fields(Io& io, ReplayOutcome& o) {
    return io(o.units) && io(o.apart) && io(o.logPassed) && io(o.replayPassed) && io(o.changed) &&
           io(o.timed) && io(o.logPoints) && io(o.replayPoints) && io(o.timeSumMs) &&
           io(o.timeMinMs) && io(o.timeMaxMs) &&
           io.Size(o.changedUnits, static_cast<long long>(ReplayOutcome::kChangedKept)) &&
           each(o.changedUnits, [&](ChangedUnit& c) { return fields(io, c); }) &&
           io.Map(o.newFailures) && fields(io, o.cafc) && fields(io, o.cdac);
}

// What one worker gives back for its part: its log counts and one outcome
// per configuration, or why it failed.
struct PartResult {
    bool ok = false;
    std::string why;
    LogReport counts;
    std::vector<ReplayOutcome> outcomes;
};

template <typename Io> bool fields(Io& io, PartResult& r) {
    return io(r.ok) && io(r.why) &&
           (!r.ok || (fields(io, r.counts) && io.Size(r.outcomes, 100000) &&
                      each(r.outcomes, [&](ReplayOutcome& o) { return fields(io, o); })));
}

std::string save(PartResult& r) {
    Archive a;
    Saving io{a};
    fields(io, r);
    return a.Text();
}

bool load(const std::string& text, PartResult* r) {
    Archive a(text);
    Loading io{a};
    return fields(io, *r) && a.Ok();
}

void mergeChange(ChangeCounts* c, const ChangeCounts& later) {
    if (later.units == 0)
        return;
    if (c->units == 0 || later.min < c->min)
        c->min = later.min;
    if (c->units == 0 || later.max > c->max)
        c->max = later.max;
    c->units += later.units;
    c->unchanged += later.unchanged;
    c->sum += later.sum;
    c->sumSquares += later.sumSquares;
    for (const auto& kv : later.counts)
        c->counts[kv.first] += kv.second;
}

// `later` follows `o` in the log, after `units` units and `lines` lines.
void mergeOutcome(ReplayOutcome* o, const ReplayOutcome& later, long units, long lines) {
    for (ChangedUnit c : later.changedUnits) {
        if (o->changedUnits.size() >= ReplayOutcome::kChangedKept)
            break;
        c.unit += units;
        c.line += lines;
        o->changedUnits.push_back(c);
    }
    if (later.timed > 0) {
        if (o->timed == 0 || later.timeMinMs < o->timeMinMs)
            o->timeMinMs = later.timeMinMs;
        if (o->timed == 0 || later.timeMaxMs > o->timeMaxMs)
            o->timeMaxMs = later.timeMaxMs;
    }
    o->units += later.units;
    o->apart += later.apart;
    o->logPassed += later.logPassed;
    o->replayPassed += later.replayPassed;
    o->changed += later.changed;
    o->timed += later.timed;
    o->timeSumMs += later.timeSumMs;
    o->logPoints += later.logPoints;
    o->replayPoints += later.replayPoints;
    for (const auto& kv : later.newFailures)
        o->newFailures[kv.first] += kv.second;
    mergeChange(&o->cafc, later.cafc);
    mergeChange(&o->cdac, later.cdac);
}

// One part: batches of units fitted once and replayed under every configuration.
bool replayPart(const ReplaySetup& setup, const LogInput& log, const LogPart& part,
                const std::string& config, const std::vector<std::string>& configs,
                LogReport* counts, std::vector<ReplayOutcome>* outcomes, std::string* error) {
    outcomes->assign(configs.size(), ReplayOutcome());
    PartReader reader(log, part);
    if (!reader.Open()) {
        *error = reader.Error();
        return false;
    }
    HostLog batch;
    bool ok = true;
    auto flush = [&]() {
        if (batch.units.empty() || !ok)
            return;
        std::vector<CrystalFit> fits = FitUnits(batch);
        std::vector<std::string> faults;
        std::vector<ReplayOutcome> done;
        ok = FindStationFaults(setup, batch, fits, config, &faults, error) &&
             ReplayLog(setup, batch, fits, faults, configs, &done, error);
        if (!ok)
            return;
        const long before = counts->units;
        mergeLog(counts, MakeLogReport(std::string(), batch, fits, faults), before, 0);
        for (size_t c = 0; c < configs.size(); ++c)
            mergeOutcome(&(*outcomes)[c], done[c], before, 0);
        batch.units.clear();
    };
    // Units by station, the last one found first: a log's units run in long
    // stretches of one station.
    std::vector<std::pair<std::string, long>> stations;
    size_t lastStation = 0;
    UnitReader units(
        [&](LoggedUnit& u) {
            const std::string& name = u.station.empty() ? log.station : u.station;
            if (stations.empty() || stations[lastStation].first != name) {
                lastStation = 0;
                while (lastStation < stations.size() && stations[lastStation].first != name)
                    ++lastStation;
                if (lastStation == stations.size())
                    stations.push_back({name, 0});
            }
            ++stations[lastStation].second;
            batch.units.push_back(u);
            if (batch.units.size() >= kBatchUnits)
                flush();
        },
        log.prefix);
    std::string_view line;
    long n = 0;
    while (ok && reader.Next(&line))
        units.Line(line, ++n);
    // What was read before an early stop is replayed; the units it cut are not.
    const bool early = ok && reader.Stop().Early();
    long cut = 0;
    if (early)
        cut = units.Cut();
    else
        units.Finish();
    flush();
    if (early)
        counts->incomplete.push_back({log.path, reader.Stop(), n + 1, counts->units, cut});
    if (ok && !reader.Error().empty()) {
        *error = reader.Error();
        ok = false;
    }
    counts->perStation = stations;
    const HostLog& c = units.Counts();
    counts->lines = n;
    counts->libraryLines = c.libraryLines;
    counts->unread = c.unread;
    counts->unreadExamples = c.unreadExamples;
    return ok;
}

// Every configuration a run replays under (the first key's values outermost)
// and what came of them, merged in log order.
struct ReplayRun {
    std::vector<SweepSpec> sweeps;
    std::vector<std::vector<double>> values;
    std::vector<std::string> configs;
    LogReport counts;
    std::vector<ReplayOutcome> outcomes;
    int jobs = 1;
    double seconds = 0;
};

// The replay of every log under every configuration; the exit status on failure.
int replayAll(const ReplayParams& o, const std::string& config, const std::vector<LogInput>& logs,
              ReplayRun* run, std::string* error) {
    constexpr int kExitUsage = 2, kExitLibrary = 3;
    for (const std::string& s : o.sweeps) {
        run->sweeps.push_back(ParseSweep(s));
        double current = 0;
        if (SweepCurrent(config, run->sweeps.back(), &current))
            run->sweeps.back().current = current;
    }
    const std::vector<SweepSpec>& sweeps = run->sweeps;
    std::vector<std::vector<double>>& values = run->values;
    std::vector<std::string>& configs = run->configs;
    for (const SweepSpec& s : sweeps)
        values.push_back(s.Values());
    if (sweeps.empty()) {
        configs.push_back(config);
    } else if (sweeps.size() == 1) {
        for (double v : values[0])
            configs.push_back(SweptConfig(config, sweeps[0], v));
    } else {
        for (double a : values[0])
            for (double b : values[1])
                configs.push_back(SweptConfig(SweptConfig(config, sweeps[0], a), sweeps[1], b));
    }

    ReplaySetup setup = o.setup;
    if (setup.libraryPath.empty())
        setup.libraryPath = host::DefaultLibraryPath();
    // Each worker needs its own copy of the library: a process of its own.
    run->jobs = ProcessJobs(o.jobs > 0 ? o.jobs : Cores());
    const auto start = std::chrono::steady_clock::now();
    std::vector<LogPart> parts = CutLogs(logs, run->jobs);
    std::vector<std::string> results;
    auto work = [&](size_t i) {
        PartResult r;
        r.ok = replayPart(setup, logs[parts[i].log], parts[i], config, configs, &r.counts,
                          &r.outcomes, &r.why);
        return save(r);
    };
    if (!RunJobs(parts.size(), run->jobs, work, &results, error))
        return kExitLibrary;
    LogReport& counts = run->counts;
    run->outcomes.assign(configs.size(), ReplayOutcome());
    // Where each log stopped is told in its own units and lines.
    std::vector<long> logUnits(logs.size(), 0), logLines(logs.size(), 0);
    for (size_t i = 0; i < parts.size(); ++i) {
        PartResult part;
        if (!load(results[i], &part) || (part.ok && part.outcomes.size() != configs.size())) {
            *error = "a worker's result cannot be read";
            return kExitLibrary;
        }
        if (!part.ok) {
            *error = part.why;
            return kExitLibrary;
        }
        const size_t log = parts[i].log;
        for (IncompleteLog& l : part.counts.incomplete) {
            l.units += logUnits[log];
            l.line += logLines[log];
        }
        logUnits[log] += part.counts.units;
        logLines[log] += part.counts.lines;
        for (size_t c = 0; c < configs.size(); ++c)
            mergeOutcome(&run->outcomes[c], part.outcomes[c], counts.units, counts.lines);
        mergeLog(&counts, part.counts, counts.units, counts.lines);
    }
    error->clear();
    run->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (counts.units == 0) {
        *error = NoUnitReason(logs, counts.lines, counts.unread, counts.incomplete);
        return kExitUsage;
    }
    return 0;
}

std::string logNames(const std::vector<LogInput>& logs) {
    std::string names;
    for (const LogInput& l : logs)
        names += (names.empty() ? "" : ", ") + l.path;
    return names;
}

// The sweep's line plot, or the grid's heat map.
std::string sweepFigure(const ReplayRun& run, const std::string& config, const std::string& title) {
    double current = 0;
    const bool known = SweepCurrent(config, run.sweeps[0], &current);
    return run.sweeps.size() == 1 ? SweepSvg(run.sweeps[0], run.values[0], run.outcomes,
                                             known ? &current : nullptr, title)
                                  : SweepGridSvg(run.sweeps, run.values, run.outcomes, title);
}

} // namespace

int ReplaySweep(const ReplayParams& o, const std::string& config, const std::vector<LogInput>& logs,
                FILE* table, std::string* figure, std::string* error) {
    ReplayRun run;
    if (int status = replayAll(o, config, logs, &run, error))
        return status;
    if (table != nullptr) {
        double current = 0;
        bool known = SweepCurrent(config, run.sweeps[0], &current);
        if (run.sweeps.size() == 1)
            PrintSweep(table, run.sweeps[0], run.values[0], run.outcomes,
                       known ? &current : nullptr);
        else
            PrintSweepGrid(table, run.sweeps, run.values, run.outcomes);
    }
    *figure =
        sweepFigure(run, config, "Replay of " + std::to_string(run.counts.units) + " units: yield");
    return 0;
}

int RunReplay(const ReplayParams& o, FILE* out) {
    constexpr int kExitUsage = 2;
    auto stop = [](int status, const std::string& message) {
        std::fprintf(stderr, "vantor-station: %s\n", message.c_str());
        return status;
    };
    std::string config, label, error;
    if (!ReadRunConfig(o.configPath, &config, &label, &error))
        return stop(kExitUsage, error);
    std::vector<LogInput> logs;
    if (!ListLogs(o.logs, &logs, &error, o.prefix))
        return stop(kExitUsage, error);
    // An unwritable plot is found before the replay runs, not after.
    std::ofstream svg;
    if (!o.svgPath.empty()) {
        svg.open(o.svgPath, std::ios::binary | std::ios::trunc);
        if (!svg)
            return stop(kExitUsage, "cannot write the SVG report to " + o.svgPath + ": " +
                                        std::strerror(errno));
    }
    ReplayRun run;
    if (int status = replayAll(o, config, logs, &run, &error))
        return stop(status, error);

    const std::string names = logNames(logs);
    run.counts.path = names;
    std::unique_ptr<ReportWriter> writer = o.json ? MakeJsonWriter(out) : MakeTextWriter(out);
    if (run.sweeps.empty()) {
        ReplayReport report{run.counts, run.outcomes[0]};
        report.outcome.config = label;
        writer->WriteReplay(report);
    } else if (run.sweeps.size() == 1) {
        SweepReport report{run.counts,    label,        run.sweeps[0],
                           run.values[0], run.outcomes, std::nullopt};
        double current = 0;
        if (SweepCurrent(config, run.sweeps[0], &current))
            report.current = current;
        writer->WriteSweep(report);
    } else {
        // A grid is a table (--json takes one key).
        PrintLogSummary(out, run.counts);
        std::fprintf(out, "Config     %s\n", label.c_str());
        PrintSweepGrid(out, run.sweeps, run.values, run.outcomes);
    }
    if (svg.is_open()) {
        svg << sweepFigure(
            run, config, "Replay of " + names + ": " + std::to_string(run.counts.units) + " units");
        svg.close();
        if (!svg)
            return stop(kExitUsage, "cannot write the SVG report to " + o.svgPath + ": " +
                                        std::strerror(errno));
        writer->WriteSvgPath(o.svgPath);
    }
    if (!o.json)
        std::fprintf(out, "Computed   in %.2f s here with %d job%s (%.0f units/s)\n", run.seconds,
                     run.jobs, run.jobs == 1 ? "" : "s", run.counts.units / run.seconds);
    return WarnIncomplete(run.counts.incomplete);
}

} // namespace station
