// --replay (and --sweep): the logs cut into parts and read by workers, each
// part in batches of units read, fitted once and replayed under every
// configuration, then forgotten; the outcomes merged in log order.
#include "ConfigCheck.h"
#include "Jobs.h"
#include "LogSource.h"
#include "OmraHost.h"
#include "Options.h"
#include "Replay.h"
#include "Report.h"
#include "RunningStats.h"
#include "StationChips.h"
#include "Sweep.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>

namespace station {

bool ReadRunConfig(const Options& o, std::string* text, std::string* label, std::string* error);
std::string NoUnitReason(const std::vector<LogInput>& logs, long lines, long unread);

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

void saveLog(Archive& a, const LogReport& r) {
    for (long v : {r.lines, r.libraryLines, r.unread, r.units, r.fitted, r.tooFewPoints, r.poorFits,
                   r.assumedStep})
        a.Put(v);
    a.Put(r.worstResidualHz);
    a.Put(static_cast<long long>(r.unreadExamples.size()));
    for (const UnreadLine& u : r.unreadExamples) {
        a.Put(u.number);
        a.Put(u.text);
    }
    a.Put(static_cast<long long>(r.perChip.size()));
    for (const auto& kv : r.perChip) {
        a.Put(kv.first);
        a.Put(kv.second);
    }
    a.Put(static_cast<long long>(r.apart.size()));
    for (const LogReport::Apart& g : r.apart) {
        a.Put(g.why);
        a.Put(g.count);
        a.Put(g.firstUnit);
        a.Put(g.firstLine);
    }
}

bool loadLog(Archive& a, LogReport* r) {
    long long n = 0;
    if (!a.Get(&r->lines) || !a.Get(&r->libraryLines) || !a.Get(&r->unread) || !a.Get(&r->units) ||
        !a.Get(&r->fitted) || !a.Get(&r->tooFewPoints) || !a.Get(&r->poorFits) ||
        !a.Get(&r->assumedStep) || !a.Get(&r->worstResidualHz) || !a.Get(&n) || n < 0 || n > 100)
        return false;
    r->unreadExamples.resize(static_cast<size_t>(n));
    for (UnreadLine& u : r->unreadExamples)
        if (!a.Get(&u.number) || !a.Get(&u.text))
            return false;
    if (!a.Get(&n) || n < 0 || n > 64)
        return false;
    r->perChip.resize(static_cast<size_t>(n));
    for (auto& kv : r->perChip)
        if (!a.Get(&kv.first) || !a.Get(&kv.second))
            return false;
    if (!a.Get(&n) || n < 0 || n > 100000)
        return false;
    r->apart.resize(static_cast<size_t>(n));
    for (LogReport::Apart& g : r->apart)
        if (!a.Get(&g.why) || !a.Get(&g.count) || !a.Get(&g.firstUnit) || !a.Get(&g.firstLine))
            return false;
    return a.Ok();
}

void saveChange(Archive& a, const ChangeCounts& c) {
    a.Put(c.units);
    a.Put(c.unchanged);
    a.Put(c.sum);
    a.Put(c.sumSquares);
    a.Put(c.min);
    a.Put(c.max);
    a.Put(static_cast<long long>(c.counts.size()));
    for (const auto& kv : c.counts) {
        a.Put(kv.first);
        a.Put(kv.second);
    }
}

bool loadChange(Archive& a, ChangeCounts* c) {
    long long n = 0;
    if (!a.Get(&c->units) || !a.Get(&c->unchanged) || !a.Get(&c->sum) || !a.Get(&c->sumSquares) ||
        !a.Get(&c->min) || !a.Get(&c->max) || !a.Get(&n) || n < 0)
        return false;
    for (long long i = 0; i < n; ++i) {
        int k = 0;
        long v = 0;
        if (!a.Get(&k) || !a.Get(&v))
            return false;
        c->counts[k] = v;
    }
    return true;
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

void saveOutcome(Archive& a, const ReplayOutcome& o) {
    for (long v : {o.units, o.apart, o.logPassed, o.replayPassed, o.changed, o.timed, o.logPoints,
                   o.replayPoints})
        a.Put(v);
    a.Put(o.timeSumMs);
    a.Put(o.timeMinMs);
    a.Put(o.timeMaxMs);
    a.Put(static_cast<long long>(o.changedUnits.size()));
    for (const ChangedUnit& c : o.changedUnits) {
        a.Put(c.unit);
        a.Put(c.line);
        a.Put(static_cast<int>(c.chip));
        a.Put(c.logPassed);
        a.Put(c.replayPassed);
        a.Put(c.reason);
    }
    a.Put(static_cast<long long>(o.newFailures.size()));
    for (const auto& kv : o.newFailures) {
        a.Put(kv.first);
        a.Put(kv.second);
    }
    saveChange(a, o.cafc);
    saveChange(a, o.cdac);
}

bool loadOutcome(Archive& a, ReplayOutcome* o) {
    long long n = 0;
    if (!a.Get(&o->units) || !a.Get(&o->apart) || !a.Get(&o->logPassed) ||
        !a.Get(&o->replayPassed) || !a.Get(&o->changed) || !a.Get(&o->timed) ||
        !a.Get(&o->logPoints) || !a.Get(&o->replayPoints) || !a.Get(&o->timeSumMs) ||
        !a.Get(&o->timeMinMs) || !a.Get(&o->timeMaxMs) || !a.Get(&n) || n < 0)
        return false;
    o->changedUnits.resize(static_cast<size_t>(n));
    for (ChangedUnit& c : o->changedUnits) {
        int chip = 0;
        if (!a.Get(&c.unit) || !a.Get(&c.line) || !a.Get(&chip) || !a.Get(&c.logPassed) ||
            !a.Get(&c.replayPassed) || !a.Get(&c.reason) || chip < 0 || chip > 2)
            return false;
        c.chip = static_cast<sim::Chip>(chip);
    }
    if (!a.Get(&n) || n < 0)
        return false;
    for (long long i = 0; i < n; ++i) {
        std::string k;
        long v = 0;
        if (!a.Get(&k) || !a.Get(&v))
            return false;
        o->newFailures[k] = v;
    }
    return loadChange(a, &o->cafc) && loadChange(a, &o->cdac);
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
    UnitReader units([&](LoggedUnit& u) {
        batch.units.push_back(u);
        if (batch.units.size() >= kBatchUnits)
            flush();
    });
    std::string_view line;
    long n = 0;
    while (ok && reader.Next(&line))
        units.Line(line, ++n);
    units.Finish();
    flush();
    if (ok && !reader.Error().empty()) {
        *error = reader.Error();
        ok = false;
    }
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
int replayAll(const Options& o, const std::string& config, const std::vector<LogInput>& logs,
              ReplayRun* run, std::string* error) {
    constexpr int kExitUsage = 2, kExitLibrary = 3;
    for (const std::string& s : o.sweeps)
        run->sweeps.push_back(ParseSweep(s));
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

    ReplaySetup setup;
    setup.libraryPath = o.libraryPath.empty() ? host::DefaultLibraryPath() : o.libraryPath;
    setup.chipType = o.chipType;
    setup.band = o.band;
    setup.rfKind = o.rfKind;
    // Each worker needs its own copy of the library: a process of its own.
    run->jobs = ProcessJobs(o.jobs > 0 ? o.jobs : Cores());
    const auto start = std::chrono::steady_clock::now();
    std::vector<LogPart> parts = CutLogs(logs, run->jobs);
    std::vector<std::string> results;
    auto work = [&](size_t i) {
        LogReport counts;
        std::vector<ReplayOutcome> outcomes;
        std::string why;
        bool ok = replayPart(setup, logs[parts[i].log], parts[i], config, configs, &counts,
                             &outcomes, &why);
        Archive a;
        a.Put(ok);
        a.Put(why);
        if (ok) {
            saveLog(a, counts);
            for (const ReplayOutcome& r : outcomes)
                saveOutcome(a, r);
        }
        return a.Text();
    };
    if (!RunJobs(parts.size(), run->jobs, work, &results, error))
        return kExitLibrary;
    LogReport& counts = run->counts;
    run->outcomes.assign(configs.size(), ReplayOutcome());
    for (size_t i = 0; i < parts.size(); ++i) {
        Archive a(results[i]);
        bool ok = false;
        LogReport part;
        *error = "a worker's result cannot be read";
        if (!a.Get(&ok) || !a.Get(error))
            return kExitLibrary;
        if (!ok)
            return kExitLibrary;
        *error = "a worker's result cannot be read";
        if (!loadLog(a, &part))
            return kExitLibrary;
        for (size_t c = 0; c < configs.size(); ++c) {
            ReplayOutcome r;
            if (!loadOutcome(a, &r))
                return kExitLibrary;
            mergeOutcome(&run->outcomes[c], r, counts.units, counts.lines);
        }
        mergeLog(&counts, part, counts.units, counts.lines);
    }
    error->clear();
    run->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (counts.units == 0) {
        *error = NoUnitReason(logs, counts.lines, counts.unread);
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
    return run.sweeps.size() == 1
               ? SweepSvg(run.sweeps[0], run.values[0], run.outcomes, known ? &current : nullptr,
                          title)
               : SweepGridSvg(run.sweeps, run.values, run.outcomes, config, title);
}

} // namespace

int ReplaySweep(const Options& o, const std::string& config, const std::vector<LogInput>& logs,
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
            PrintSweepGrid(table, run.sweeps, run.values, run.outcomes, config);
    }
    *figure =
        sweepFigure(run, config, "Replay of " + std::to_string(run.counts.units) + " units: yield");
    return 0;
}

int RunReplay(const Options& o, FILE* out) {
    constexpr int kExitUsage = 2;
    auto stop = [](int status, const std::string& message) {
        std::fprintf(stderr, "vantor-station: %s\n", message.c_str());
        return status;
    };
    std::string config, label, error;
    if (!ReadRunConfig(o, &config, &label, &error))
        return stop(kExitUsage, error);
    std::vector<LogInput> logs;
    if (!ListLogs(o.logs, &logs, &error))
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
        PrintSweepGrid(out, run.sweeps, run.values, run.outcomes, config);
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
    return 0;
}

} // namespace station
