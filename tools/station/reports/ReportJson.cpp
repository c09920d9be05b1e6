// The report as JSON lines: one object a line, each with its "type".
#include "support/StationChips.h"
#include "reports/ReplayModel.h"
#include "reports/Report.h"

namespace station {

namespace {

std::string orNull(const std::optional<double>& v) {
    return v ? JsonNumber(*v) : std::string("null");
}

// [module,operation,code]
std::string tripleArray(const std::optional<ERROR_TRIPLE>& t) {
    if (!t)
        return "null";
    return JsonArray()
        .Add(std::to_string(t->module))
        .Add(std::to_string(t->operation))
        .Add(std::to_string(t->code))
        .Text();
}

std::string window(const Window& w) {
    return w.known ? JsonArray().Add(JsonNumber(w.low)).Add(JsonNumber(w.high)).Text() : "null";
}

std::string valuesObject(const ValueStats& v) {
    bool any = v.count > 0;
    return JsonObject()
        .Int("count", v.count)
        .Num("mean", any ? v.mean : 0)
        .Num("sd", v.sd)
        .Num("min", any ? v.min : 0)
        .Num("max", any ? v.max : 0)
        .Raw("window", window(v.window))
        .Int("outside", v.outside)
        .Text();
}

const char* verdict(bool passed) {
    return passed ? "PASS" : "FAIL";
}

class JsonWriter : public ReportWriter {
public:
    explicit JsonWriter(FILE* out) : m_out(out) {}

    void WriteLibrary(const LibraryFacts& lib) override {
        JsonArray actions;
        for (const auto& a : lib.actions)
            actions.Add(JsonObject().Int("id", a.first).Str("name", a.second).Text());
        line(JsonLine("library")
                 .Str("path", lib.path)
                 .Str("file_version", lib.versionText)
                 .Str("version", lib.version)
                 .Str("build", lib.build)
                 .Raw("actions", actions.Text()));
    }

    void WriteCheck(const ConfigReport& check, const std::string&) override {
        for (const Finding& f : check.findings)
            line(JsonLine("finding")
                     .Str("level", f.level == Finding::Warning ? "warning" : "note")
                     .Int("line", f.line)
                     .Str("text", f.text));
    }

    void WriteRunHeader(const LibraryFacts& lib, const std::string& config,
                        const ConfigReport& check) override {
        WriteLibrary(lib);
        WriteCheck(check, config);
    }

    void WriteUnit(const UnitReport& u) override {
        for (const Arrival& a : u.arrivals) {
            if (a.isItem)
                writeItem(u.items[a.index]);
            else
                line(JsonLine("line")
                         .Int("level", u.lines[a.index].level)
                         .Str("text", u.lines[a.index].text));
        }
        std::string error = "null";
        if (u.error)
            error = JsonObject()
                        .Int("module", u.error->module)
                        .Int("operation", u.error->operation)
                        .Int("code", u.error->code)
                        .Int("extra", u.error->extra)
                        .Text();
        std::string exception = "null";
        if (u.threw)
            exception = JsonObject().Str("message", u.message).Str("text", u.fullText).Text();
        static const char* const names[UnitReport::kFlashFields] = {"cafc", "cdac", "slope_length"};
        JsonObject flash;
        for (int i = 0; i < UnitReport::kFlashFields; ++i)
            flash.Raw(names[i], u.flash[i] ? std::to_string(*u.flash[i]) : "null");
        line(JsonLine("result")
                 .Str("chip", u.run.chip)
                 .Str("verdict", verdict(u.passed))
                 .Int("return", u.doResult)
                 .Raw("error", error)
                 .Raw("exception", exception)
                 .Raw("flash", flash.Text())
                 .Int("ignored_failures", u.ignoredFailures)
                 .Num("station_ms", u.stationMs)
                 .Num("pauses_ms", u.pausesMs)
                 .Num("instrument_ms", u.instrumentMs)
                 .Raw("seed", std::to_string(static_cast<unsigned long long>(u.run.seed))));
    }

    void WritePopulationUnit(const UnitSummary& u) override {
        line(JsonLine("unit")
                 .Int("unit", u.index)
                 .Str("verdict", verdict(u.passed))
                 .Raw("cdac", orNull(u.cdac))
                 .Raw("cafc", orNull(u.cafc))
                 .Raw("slope", orNull(u.slope))
                 .Int("attempts", u.attempts)
                 .Int("ignored_failures", u.ignoredFailures)
                 .Num("station_ms", u.stationMs)
                 .Raw("error", tripleArray(u.error))
                 .Raw("message", u.passed ? "null" : JsonString(u.message)));
    }

    void WritePopulation(const PopulationReport& p) override {
        JsonArray reasons;
        for (const Reason& r : p.reasons)
            reasons.Add(
                JsonObject()
                    .Int("count", r.count)
                    .Raw("error", tripleArray(r.hasTriple ? std::optional<ERROR_TRIPLE>(r.triple)
                                                          : std::nullopt))
                    .Str("pattern", r.pattern)
                    .Str("example", r.example)
                    .Text());
        JsonObject attempts;
        for (const auto& a : p.attempts)
            attempts.Int(std::to_string(a.first).c_str(), a.second);
        JsonObject o = JsonLine("summary");
        o.Str("chip", p.run.chip)
            .Int("units", p.units)
            .Int("passed", p.passed)
            .Int("passed_with_ignored_failures", p.passedIgnoring)
            .Raw("failures", reasons.Text())
            .Raw("attempts", attempts.Text());
        for (const ValueStats& v : p.values)
            o.Raw(v.key.c_str(), valuesObject(v));
        o.Raw("station_ms", times(p.timeMeanMs, p.timeMinMs, p.timeMaxMs))
            .Raw("seed", std::to_string(static_cast<unsigned long long>(p.run.seed)));
        line(o);
    }

    // The file is named on the command line; the lines stay objects.
    void WriteSvgPath(const std::string&) override {}

    void WriteRetests(const Retests& t) override {
        line(JsonLine("retests")
                 .Int("units", t.units)
                 .Int("first_pass", t.firstPassed)
                 .Int("passed", t.passed)
                 .Int("tests", t.tests)
                 .Int("passed_on_retest", t.passedOnRetest));
    }

    void WriteLineRun(const LineRunSummary& r) override {
        JsonArray on;
        for (long n : r.retestsOn)
            on.Add(std::to_string(n));
        line(JsonLine("line")
                 .Int("stations", r.stations)
                 .Num("takt_s", r.taktSeconds)
                 .Str("start", r.start)
                 .Str("end", r.end)
                 .Int("shifts", r.shifts)
                 .Str("first_shift", r.firstShift)
                 .Str("last_shift", r.lastShift)
                 .Int("golden_units", r.goldenUnits)
                 .Int("golden_runs", r.goldenRuns)
                 .Raw("retests_on", on.Text())
                 .Int("retests_elsewhere", r.retestsElsewhere)
                 .Int("audits", r.audits)
                 .Int("audits_passed", r.auditsPassed));
    }

    void WriteReplay(const ReplayReport& r) override {
        writeLog(r.log);
        const ReplayOutcome& o = r.outcome;
        for (const ChangedUnit& c : o.changedUnits)
            line(JsonLine("changed")
                     .Int("unit", c.unit)
                     .Int("line", c.line)
                     .Str("chip", ChipLabel(c.chip))
                     .Str("log", verdict(c.logPassed))
                     .Str("replay", verdict(c.replayPassed))
                     .Str("reason", c.reason));
        JsonArray failures;
        for (const auto& kv : o.newFailures)
            failures.Add(JsonObject().Int("units", kv.second).Str("reason", kv.first).Text());
        const double replayed = static_cast<double>(o.timed);
        JsonObject summary = JsonLine("replay");
        summary.Str("config", o.config)
            .Int("units", o.units)
            .Int("apart", o.apart)
            .Int("log_passed", o.logPassed)
            .Int("replay_passed", o.replayPassed)
            .Num("log_yield", o.YieldBefore())
            .Num("replay_yield", o.YieldAfter())
            .Int("changed", o.changed)
            .Int("changed_listed", static_cast<long long>(o.changedUnits.size()))
            .Raw("new_failures", failures.Text())
            .Raw("flash_cafc", changes(o.cafc))
            .Raw("flash_cdac", changes(o.cdac));
        if (o.timed > 0)
            summary.Num("log_points_per_unit", static_cast<double>(o.logPoints) / replayed)
                .Num("replay_points_per_unit", static_cast<double>(o.replayPoints) / replayed)
                .Raw("station_ms", times(o.timeSumMs / replayed, o.timeMinMs, o.timeMaxMs));
        line(summary);
    }

    void WriteSweep(const SweepReport& r) override {
        writeLog(r.log);
        for (size_t i = 0; i < r.values.size() && i < r.outcomes.size(); ++i) {
            const ReplayOutcome& o = r.outcomes[i];
            line(JsonLine("sweep")
                     .Str("config", r.config)
                     .Str("section", r.sweep.section)
                     .Str("key", r.sweep.key)
                     .Num("value", r.values[i])
                     .Bool("current", r.IsCurrent(r.values[i]))
                     .Int("units", o.units)
                     .Int("log_passed", o.logPassed)
                     .Int("replay_passed", o.replayPassed)
                     .Num("replay_yield", o.YieldAfter())
                     .Int("changed", o.changed)
                     .Int("cafc_moved", o.cafc.units - o.cafc.unchanged)
                     .Num("station_ms",
                          o.timed > 0 ? o.timeSumMs / static_cast<double>(o.timed) : 0.0));
        }
    }

private:
    void line(const JsonObject& o) { std::fprintf(m_out, "%s\n", o.Text().c_str()); }

    void writeLog(const LogReport& r) {
        JsonArray unread;
        for (const UnreadLine& u : r.unreadExamples)
            unread.Add(JsonObject().Int("line", u.number).Str("text", u.text).Text());
        JsonObject chips;
        for (const auto& c : r.perChip)
            chips.Int(c.first.c_str(), c.second);
        JsonObject stations;
        for (const auto& st : r.perStation)
            stations.Int(st.first.c_str(), st.second);
        JsonArray apart;
        for (const LogReport::Apart& g : r.apart)
            apart.Add(JsonObject()
                          .Str("reason", g.why)
                          .Int("units", g.count)
                          .Int("first_unit", g.firstUnit)
                          .Int("first_line", g.firstLine)
                          .Text());
        JsonObject log = JsonLine("log");
        log.Str("path", r.path)
            .Int("lines", r.lines)
            .Int("library_lines", r.libraryLines)
            .Int("unread", r.unread)
            .Raw("unread_examples", unread.Text())
            .Int("units", r.units)
            .Raw("chips", chips.Text())
            .Raw("stations", stations.Text())
            .Int("fitted", r.fitted)
            .Int("too_few_points", r.tooFewPoints)
            .Int("poor_fits", r.poorFits)
            .Num("largest_residual_hz", r.worstResidualHz)
            .Int("nominal_cdac_step", r.assumedStep)
            .Raw("apart", apart.Text());
        // Only a log that stopped early adds the member: whole logs' lines stay as they were.
        if (!r.incomplete.empty()) {
            JsonArray incomplete;
            for (const IncompleteLog& l : r.incomplete)
                incomplete.Add(IncompleteJson(l));
            log.Raw("incomplete", incomplete.Text());
        }
        line(log);
    }

    // Station time per unit, in ms.
    static std::string times(double mean, double min, double max) {
        return JsonObject().Num("mean", mean).Num("min", min).Num("max", max).Text();
    }

    static std::string changes(const ChangeCounts& c) {
        JsonObject counts;
        for (const auto& kv : c.counts)
            counts.Int(std::to_string(kv.first).c_str(), kv.second);
        return JsonObject()
            .Int("units", c.units)
            .Int("unchanged", c.unchanged)
            .Num("mean", c.Mean())
            .Num("sd", c.Sd())
            .Int("min", c.min)
            .Int("max", c.max)
            .Raw("changes", counts.Text())
            .Text();
    }

    void writeItem(const ItemRow& row) {
        const Item& it = row.item;
        const char* pass = row.judgement == Judgement::Info   ? "null"
                           : row.judgement == Judgement::Pass ? "true"
                                                              : "false";
        JsonObject o = JsonLine("item");
        o.Str("name", it.name);
        if (it.form == OMRA_FORM_TEXT)
            o.Str("text", it.text);
        else
            o.Num("low", it.low).Num("value", it.value).Num("high", it.high);
        line(o.Str("unit", it.unit).Int("kind", it.kind).Int("level", it.level).Raw("pass", pass));
    }

    FILE* m_out;
};

} // namespace

std::string IncompleteJson(const IncompleteLog& l) {
    return JsonObject()
        .Str("log", l.log)
        .Str("why", LogEndName(l.stop.end))
        .Str("reason", l.stop.why)
        .Int("stopped_at_byte", l.stop.byte)
        .Int("stopped_at_line", l.line)
        .Int("units", l.units)
        .Int("cut_units", l.cutUnits)
        .Text();
}

std::unique_ptr<ReportWriter> MakeJsonWriter(FILE* out) {
    return std::make_unique<JsonWriter>(out);
}

} // namespace station
