// The report as tables for a person at the station.
#include "support/StationChips.h"
#include "reports/Report.h"
#include "reports/ReplayModel.h"

#include <algorithm>
#include <cmath>

namespace station {

namespace {

// Whole numbers without decimals, others with three.
std::string number(double v) {
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v > 0 ? "inf" : "-inf";
    if (v == std::floor(v) && std::fabs(v) < 1e12)
        return FormatNumber("%.0f", v);
    return FormatNumber("%.3f", v);
}

std::string seconds(double ms) {
    return FormatNumber("%.3f s", ms / 1000.0);
}

const char* codeMeaning(uint32_t code) {
    switch (code) {
    case OMRA_ERR_FLASH_OR_AFC:
        return "a handset command failed";
    case OMRA_ERR_RFTESTER:
        return "the RF tester recorded an error";
    case OMRA_ERR_NULL_POINTER:
        return "a required pointer is null";
    case OMRA_ERR_CHIP_TYPE:
        return "invalid chip type";
    case OMRA_ERR_FILE_OPEN:
        return "a file cannot be opened";
    case OMRA_ERR_FILE_EMPTY:
        return "a file is empty";
    case OMRA_ERR_NO_RFTESTER:
        return "no RF tester";
    case OMRA_ERR_PFER_RANGE:
        return "first frequency error beyond its limit";
    case OMRA_ERR_CDAC_RANGE:
        return "calibrated CDAC outside its window";
    case OMRA_ERR_CAFC_RANGE:
        return "calibrated CAFC outside its window";
    case OMRA_ERR_SLOPE:
        return "CAFC slope zero or outside its limits";
    }
    return "";
}

std::string pad(const std::string& s, size_t width) {
    return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

// "FILE:\tVt318.cpp\nLINE:\t0063" out of the full text, on one line.
std::string whereFrom(const std::string& full) {
    size_t f = full.find("FILE:\t");
    if (f == std::string::npos)
        return std::string();
    std::string rest = full.substr(f);
    std::string out;
    for (char c : rest)
        out += (c == '\t') ? ' ' : (c == '\n') ? ' ' : c;
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    size_t l = out.find(" LINE:");
    if (l != std::string::npos)
        out.replace(l, 1, "  ");
    return out;
}

// The verdict, marked when the unit passed only because a failed command was let pass.
std::string verdict(const UnitReport& u) {
    return std::string(u.passed ? "PASS" : "FAIL") +
           (u.passed && u.ignoredFailures > 0 ? " (passed with an ignored command failure)" : "");
}

// A bar's bound with as many decimals as its width needs (two at least).
std::string decimals(double v, double other) {
    double width = std::fabs(v - other);
    int digits = width > 0 ? static_cast<int>(std::ceil(-std::log10(width))) + 1 : 2;
    digits = std::max(2, std::min(digits, 9));
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    return buf;
}

class TextWriter : public ReportWriter {
public:
    explicit TextWriter(FILE* out) : m_out(out) {}

    void WriteLibrary(const LibraryFacts& lib) override {
        std::fprintf(m_out, "Library    %s\n", lib.path.c_str());
        if (lib.versionText.empty())
            std::fprintf(m_out, "Version    (the file carries no version)\n");
        else
            std::fprintf(m_out, "Version    %s, build %s (FileVersion %s)\n", lib.version.c_str(),
                         lib.build.c_str(), lib.versionText.c_str());
        for (size_t i = 0; i < lib.actions.size(); ++i)
            std::fprintf(m_out, "%s%3u (0x%04X)  %s\n", i == 0 ? "Actions    " : "           ",
                         lib.actions[i].first, lib.actions[i].first, lib.actions[i].second.c_str());
    }

    void WriteCheck(const ConfigReport& check, const std::string& title) override {
        if (check.findings.empty()) {
            std::fprintf(m_out, "Check      %s: no warnings\n", title.c_str());
            return;
        }
        std::fprintf(m_out, "Check      %s: %d warning%s\n", title.c_str(), check.Warnings(),
                     check.Warnings() == 1 ? "" : "s");
        for (const Finding& f : check.findings) {
            std::string where = f.line > 0 ? "line " + std::to_string(f.line) + ": " : "";
            std::fprintf(m_out, "  %s  %s%s\n", f.level == Finding::Warning ? "warning" : "note   ",
                         where.c_str(), f.text.c_str());
        }
    }

    void WriteRunHeader(const LibraryFacts& lib, const std::string& config,
                        const ConfigReport& check) override {
        WriteLibrary(lib);
        std::fprintf(m_out, "Config     %s\n", config.c_str());
        WriteCheck(check, "configuration");
        std::fprintf(m_out, "\n");
    }

    void WriteUnit(const UnitReport& u) override {
        const RunFacts& run = u.run;
        std::fprintf(m_out,
                     "Run        %s calibration (action %u), chip type %d, band %d %s, RF tester "
                     "as %s, %s clock\n",
                     run.chip.c_str(), run.actionId, run.chipType, run.band, BandLabel(run.band),
                     run.rfKind.c_str(), run.virtualTime ? "virtual" : "real");
        std::fprintf(m_out, "Handset    %s\n", run.handset.c_str());
        std::fprintf(m_out, "\nResult items\n");
        std::fprintf(m_out, "  %3s  %s %10s %12s %10s  %-8s %s\n", "#", pad("Name", 42).c_str(),
                     "Low", "Value", "High", "Unit", "Result");
        int index = 0;
        for (const ItemRow& row : u.items) {
            ++index;
            const Item& it = row.item;
            if (row.closing) {
                std::fprintf(m_out, "  %3d  %s %10s %12s %10s  %-8s %s\n", index,
                             pad("Verdict (closing item)", 42).c_str(), "", "", "", "",
                             verdict(u).c_str());
                continue;
            }
            bool judged = row.judgement != Judgement::Info;
            std::string value = it.form == OMRA_FORM_TEXT ? it.text : number(it.value);
            std::string low = judged && it.form == OMRA_FORM_NUMERIC ? number(it.low) : "-";
            std::string high = judged && it.form == OMRA_FORM_NUMERIC ? number(it.high) : "-";
            std::string unit = it.unit.empty() || it.unit == "-" ? "" : it.unit;
            std::fprintf(m_out, "  %3d  %s %10s %12s %10s  %-8s %s\n", index,
                         pad(it.name, 42).c_str(), low.c_str(), value.c_str(), high.c_str(),
                         unit.c_str(),
                         row.judgement == Judgement::Info   ? "info"
                         : row.judgement == Judgement::Pass ? "PASS"
                                                            : "FAIL");
        }
        std::fprintf(m_out, "\nLog lines (the CSV the host writes)\n");
        for (const Line& l : u.lines)
            std::fprintf(m_out, "%s\n", l.text.c_str());
        std::fprintf(m_out, "\n");
        static const char* const names[UnitReport::kFlashFields] = {"CAFC", "CDAC", "slope length"};
        std::string flash;
        for (int i = 0; i < UnitReport::kFlashFields; ++i)
            if (u.flash[i])
                flash += std::string(flash.empty() ? "" : ", ") + names[i] + " " +
                         std::to_string(*u.flash[i]);
        std::fprintf(m_out, "Flash      %s\n", flash.empty() ? "nothing written" : flash.c_str());
        if (u.error)
            std::fprintf(m_out, "Error      %s extra %d: %s\n", TripleText(*u.error).c_str(),
                         u.error->extra, codeMeaning(u.error->code));
        if (u.threw) {
            std::fprintf(m_out, "Exception  %s\n", u.message.c_str());
            std::string where = whereFrom(u.fullText);
            if (!where.empty())
                std::fprintf(m_out, "           %s\n", where.c_str());
        } else if (!u.passed && !u.message.empty()) {
            std::fprintf(m_out, "Problem    %s\n", u.message.c_str());
        }
        std::fprintf(m_out, "Time       %s on the station (pauses %s + instruments %s)\n",
                     seconds(u.stationMs).c_str(), seconds(u.pausesMs).c_str(),
                     seconds(u.instrumentMs).c_str());
        std::fprintf(m_out, "Verdict    %s\n", verdict(u).c_str());
    }

    // A population's progress shows on the terminal instead.
    void WritePopulationUnit(const UnitSummary&) override {}

    void WritePopulation(const PopulationReport& p) override {
        const RunFacts& run = p.run;
        std::fprintf(
            m_out, "Population %ld %s units (seed %llu), chip type %d, band %d %s, %s clock\n",
            p.units, run.chip.c_str(), static_cast<unsigned long long>(run.seed), run.chipType,
            run.band, BandLabel(run.band), run.virtualTime ? "virtual" : "real");
        std::fprintf(m_out, "Crystals   %s\n", run.handset.c_str());
        std::fprintf(
            m_out,
            "Spread     offset sd %s Hz, CDAC step sd %s Hz/code, CAFC slope sd %s Hz/code\n",
            number(p.spread.offsetHz).c_str(), number(p.spread.cdacStepHz).c_str(),
            number(p.spread.cafcSlopeHz).c_str());
        std::fprintf(m_out, "\nYield      %s\n", p.YieldText().c_str());
        if (!p.reasons.empty()) {
            // The most frequent first.
            std::vector<const Reason*> reasons;
            for (const Reason& r : p.reasons)
                reasons.push_back(&r);
            std::stable_sort(reasons.begin(), reasons.end(),
                             [](const Reason* a, const Reason* b) { return a->count > b->count; });
            std::fprintf(m_out, "Failures   %ld, by reason:\n", p.units - p.passed);
            for (const Reason* r : reasons)
                std::fprintf(m_out, "  %8ld  %-14s %s\n            e.g. \"%s\"\n", r->count,
                             r->hasTriple ? TripleText(r->triple).c_str() : "(no triple)",
                             r->pattern.c_str(), r->example.c_str());
        }
        if (!p.attempts.empty()) {
            std::fprintf(m_out, "Attempts  ");
            for (const auto& a : p.attempts)
                std::fprintf(m_out, " %d: %ld", a.first, a.second);
            std::fprintf(m_out, "  (coarse CDAC attempts per unit)\n");
        }
        std::fprintf(m_out, "\n");
        for (const ValueStats& v : p.values) {
            if (!v.calibrated)
                continue;
            writeValues(v);
            std::fprintf(m_out, "\n");
        }
        std::fprintf(m_out, "Time       per unit on the station: mean %s, min %s, max %s",
                     seconds(p.timeMeanMs).c_str(), seconds(p.timeMinMs).c_str(),
                     seconds(p.timeMaxMs).c_str());
        if (p.timeMeanMs > 0)
            std::fprintf(m_out, " (%.0f units an hour)", 3600000.0 / p.timeMeanMs);
        std::fprintf(m_out, "\n");
        if (p.wallSeconds > 0)
            std::fprintf(m_out, "Computed   in %.3f s here (%.0f units/s)\n", p.wallSeconds,
                         static_cast<double>(p.units) / p.wallSeconds);
    }

    void WriteSvgPath(const std::string& path) override {
        std::fprintf(m_out, "Report     %s\n", path.c_str());
    }

    void WriteRetests(const Retests& t) override {
        auto percent = [&](long n) { return t.units > 0 ? 100.0 * n / t.units : 0.0; };
        std::fprintf(m_out,
                     "Retests    first-pass yield %.2f %% (%ld of %ld), final yield %.2f %% (%ld), "
                     "%.4f retests a unit, %ld passed only on a retest\n",
                     percent(t.firstPassed), t.firstPassed, t.units, percent(t.passed), t.passed,
                     t.Rate(), t.passedOnRetest);
    }

    void WriteLineRun(const LineRunSummary& r) override {
        std::fprintf(m_out,
                     "Line       %d station%s, takt %s s, %s to %s, %ld shift%s (%s to %s)\n",
                     r.stations, r.stations == 1 ? "" : "s", number(r.taktSeconds).c_str(),
                     r.start.c_str(), r.end.c_str(), r.shifts, r.shifts == 1 ? "" : "s",
                     r.firstShift.c_str(), r.lastShift.c_str());
        if (r.goldenUnits > 0)
            std::fprintf(m_out, "Golden     %d unit%s, %ld runs (%s)\n", r.goldenUnits,
                         r.goldenUnits == 1 ? "" : "s", r.goldenRuns, r.goldenWhen.c_str());
        if (r.retesting) {
            long all = 0;
            std::string on;
            for (size_t i = 0; i < r.retestsOn.size(); ++i) {
                all += r.retestsOn[i];
                char buf[48];
                std::snprintf(buf, sizeof buf, "%sstation-%02zu %ld", on.empty() ? "" : ", ", i + 1,
                              r.retestsOn[i]);
                on += buf;
            }
            std::fprintf(m_out,
                         "Retested   %ld tests (%s), %ld on another station than the failed "
                         "test's\n",
                         all, on.c_str(), r.retestsElsewhere);
        }
        if (r.auditing)
            std::fprintf(m_out,
                         "Audits     %ld passed units measured again on another station, "
                         "%ld passed again\n",
                         r.audits, r.auditsPassed);
    }

    void WriteReplay(const ReplayReport& r) override {
        PrintLogSummary(m_out, r.log);
        PrintReplay(m_out, r.outcome);
    }

    void WriteSweep(const SweepReport& r) override {
        PrintLogSummary(m_out, r.log);
        std::fprintf(m_out, "Config     %s\n", r.config.c_str());
        PrintSweep(m_out, r.sweep, r.values, r.outcomes, r.current ? &*r.current : nullptr);
    }

private:
    // The statistics of one value and its histogram on its side.
    void writeValues(const ValueStats& v) {
        if (v.count == 0) {
            std::fprintf(m_out, "%-11sno unit got this far\n", v.name.c_str());
            return;
        }
        std::string window =
            v.window.known ? "window [" + number(v.window.low) + ", " + number(v.window.high) + "]"
                           : "no fixed window";
        std::fprintf(m_out, "%s (%s), %s: %ld values, mean %s, sd %s, min %s, max %s",
                     v.name.c_str(), v.unit.c_str(), window.c_str(), v.count,
                     FormatNumber("%.2f", v.mean).c_str(), FormatNumber("%.2f", v.sd).c_str(),
                     number(v.min).c_str(), number(v.max).c_str());
        if (v.window.known)
            std::fprintf(m_out, ", %ld outside", v.outside);
        std::fprintf(m_out, "\n");
        if (!v.note.empty())
            std::fprintf(m_out, "  %s\n", v.note.c_str());
        const Distribution& d = *v.distribution;
        Distribution::Plot p = d.Bins(12);
        if (p.fitted)
            std::fprintf(m_out, "  Nearly all values fill one or two rows of the window's range, "
                                "so the rows are fitted to them.\n");
        if (p.below > 0 || p.above > 0)
            std::fprintf(m_out,
                         "  %ld values below %s and %ld above %s are counted in the end rows.\n",
                         p.below, number(p.low).c_str(), p.above,
                         number(d.Whole() ? p.high - 1 : p.high).c_str());
        long most = 0;
        for (const Distribution::Bar& b : p.bars)
            most = std::max(most, b.Units());
        bool whole = d.Whole();
        for (const Distribution::Bar& b : p.bars) {
            std::string range =
                whole ? (b.high - b.low == 1 ? number(b.low)
                                             : number(b.low) + ".." + number(b.high - 1))
                      : decimals(b.low, b.high) + ".." + decimals(b.high, b.low);
            int bar = most > 0
                          ? static_cast<int>(std::lround(40.0 * static_cast<double>(b.Units()) /
                                                         static_cast<double>(most)))
                          : 0;
            if (b.Units() > 0 && bar == 0)
                bar = 1;
            // By the units' own verdicts: all inside, all outside, or both.
            const char* mark = b.outside == 0 ? "|" : b.inside == 0 ? "x" : ":";
            std::fprintf(m_out, "  %17s %7ld %s %s\n", range.c_str(), b.Units(), mark,
                         std::string(static_cast<size_t>(bar), '#').c_str());
        }
    }

    FILE* m_out;
};

} // namespace

std::unique_ptr<ReportWriter> MakeTextWriter(FILE* out) {
    return std::make_unique<TextWriter>(out);
}

} // namespace station
