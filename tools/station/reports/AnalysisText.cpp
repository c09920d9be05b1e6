// The analysis as tables and as JSON lines.
#include "reports/AnalysisModel.h"
#include "reports/Report.h"
#include "support/Json.h"
#include "support/StationChips.h"

#include <cmath>

namespace station {

namespace {

double percent(long n, long of) {
    return of > 0 ? 100.0 * static_cast<double>(n) / static_cast<double>(of) : 0.0;
}

std::string num(const char* format, double v) {
    if (std::isnan(v))
        return "-";
    return FormatNumber(format, v);
}

template <typename Each> void eachCapability(const LineAnalysis& a, Each each) {
    auto one = [&](const StationStats& s, const std::string* station) {
        for (sim::Chip chip : AllChips())
            for (int v = 0; v < kValues; ++v) {
                const Capability& c = s.values.at(ChipIndex(chip))[v];
                if (c.known && c.moments.n > 0)
                    each(station, chip, v, c);
            }
    };
    one(a.line, nullptr);
    if (a.stations.size() > 1)
        for (const StationStats& s : a.stations)
            one(s, &s.name);
}

// "-12.3 +- 1.4" or "-" when unknown.
std::string estimate(const BiasEstimate& e) {
    if (!e.known)
        return "-";
    // Many pairs know a bias to hundredths of a hertz: shown, not rounded to zero.
    const char* f = e.seHz < 0.5 ? "%.2f" : "%.1f";
    return FormatNumber(f, e.hz) + " +- " + FormatNumber(f, e.seHz);
}

void estimateJson(JsonObject* o, const std::string& kind, const BiasEstimate& e) {
    const std::string hz = kind + "_hz", se = kind + "_se_hz";
    if (e.known)
        o->Num(hz.c_str(), e.hz).Num(se.c_str(), e.seHz);
    else
        o->Null(hz.c_str()).Null(se.c_str());
}

// A tester's reading of one unit repeats within about this much (the
// noise); the crystals' spread is what a single unit's reading carries.
constexpr double kTypicalNoiseHz = 3;

// The singles' spread of one unit's reading about its chip's mean, pooled.
double crystalSpreadHz(const LineAnalysis& a) {
    double ss = 0;
    long df = 0;
    for (const StationStats& s : a.stations)
        for (const Moments& m : s.referenceByChip)
            if (m.n > 1) {
                ss += m.m2;
                df += m.n - 1;
            }
    return df > 0 ? std::sqrt(ss / static_cast<double>(df)) : NAN;
}

// The shifts written to the text: the last week's; all of them in JSON.
constexpr size_t kShiftsShown = 21;

void printBiases(FILE* out, const LineAnalysis& a) {
    std::fprintf(out, "Biases     %-14s %-20s %16s %16s %16s %18s  %s\n", "name", "method",
                 "golden Hz", "pairs Hz", "singles Hz", "drift Hz/day", "limit");
    for (const StationRow& r : a.rows) {
        std::string drift = r.trend.known ? FormatNumber("%.2f", r.trend.hzPerDay) + " +- " +
                                                FormatNumber("%.2f", r.trend.seHzPerDay)
                                          : "-";
        std::string limit =
            r.trend.known && r.trend.limitDate != kNoTime ? FormatDate(r.trend.limitDate) : "-";
        std::fprintf(out, "           %-14s %-20s %16s %16s %16s %18s  %s\n", r.stats->name.c_str(),
                     r.method.empty() ? "-" : r.method.c_str(), estimate(r.golden).c_str(),
                     estimate(r.pairs).c_str(), estimate(r.singles).c_str(), drift.c_str(),
                     limit.c_str());
    }
    if (a.absolute)
        std::fprintf(out,
                     "           absolute: %ld golden readings against their references, "
                     "tied to the other stations by %ld serials read more than once\n",
                     a.goldenReadings, a.pairs);
    else
        std::fprintf(out,
                     "           relative: a station's error against the mean of the rest of "
                     "the line (%ld golden readings, %ld serials read more than once)\n",
                     a.goldenReadings, a.pairs);
    const double spread = crystalSpreadHz(a);
    if (!a.hasSerials && !std::isnan(spread)) {
        // A pair differs by two readings' noise; a single unit by the crystals' spread.
        const double units = spread * spread / (2 * kTypicalNoiseHz * kTypicalNoiseHz);
        std::fprintf(out,
                     "Serials    the logs give no serials: the biases rest on single units, "
                     "whose readings spread %.0f Hz with their crystals;\n"
                     "           with serials, each unit read on two stations (a retest, an "
                     "audit) tells the bias as well as\n"
                     "           about %.0f single units (its readings differ by the testers' "
                     "noise alone, about %.0f Hz each)\n",
                     spread, units, kTypicalNoiseHz);
    }
    if (!a.hasTimes)
        std::fprintf(out, "Times      the logs give no times: no shifts, no aging by date; "
                          "drift from single units in log order\n");
}

void printShifts(FILE* out, const LineAnalysis& a) {
    if (a.shifts.empty())
        return;
    size_t from = 0, seen = 0;
    for (size_t i = a.shifts.size(); i-- > 0;)
        if (a.shifts[i].station < 0 && ++seen > kShiftsShown) {
            from = i + 1;
            break;
        }
    std::fprintf(out, "Shifts     %-16s %-5s %-14s %7s %8s %7s %8s %16s  %s\n", "start", "kind",
                 "station", "units", "yield %", "first", "FPY %", "bias Hz", "method");
    if (from > 0)
        std::fprintf(out, "           (the last %zu shifts; --json gives every one)\n",
                     kShiftsShown);
    for (size_t i = from; i < a.shifts.size(); ++i) {
        const ShiftRow& r = a.shifts[i];
        const std::string start = FormatTime(ShiftStart(r.shift)).substr(0, 16);
        const char* name =
            r.station < 0 ? "line" : a.stations[static_cast<size_t>(r.station)].name.c_str();
        std::fprintf(out, "           %-16s %-5s %-14s %7ld %8.2f %7ld %8.2f %16s  %s\n",
                     start.c_str(), ShiftName(r.shift), name, r.units, percent(r.passed, r.units),
                     r.firstTests, percent(r.firstPassed, r.firstTests), estimate(r.bias).c_str(),
                     r.method.empty() ? "-" : r.method.c_str());
    }
}

} // namespace

void PrintAnalysis(FILE* out, const LineAnalysis& a) {
    const StationStats& l = a.line;
    std::fprintf(out, "Config     %s\n", a.config.c_str());
    std::fprintf(out, "Logs       %zu station%s, %ld lines, %ld units, %ld unread lines\n",
                 a.stations.size(), a.stations.size() == 1 ? "" : "s", l.lines, l.units, l.unread);
    for (const StationStats& s : a.stations)
        for (const UnreadLine& u : s.unreadExamples)
            std::fprintf(out, "           %s line %ld: %s\n", s.name.c_str(), u.number,
                         u.text.c_str());
    for (const StationStats& s : a.stations)
        if (s.Incomplete())
            std::fprintf(out, "Incomplete %s\n", s.incomplete.Summary().c_str());
    std::fprintf(out, "Yield      %ld of %ld passed (%.2f %%)\n", l.passed, l.units,
                 percent(l.passed, l.units));
    std::fprintf(out, "Stations   %-14s %9s %9s %8s %10s %8s %10s %8s\n", "name", "units", "passed",
                 "yield %", "bias Hz", "+-", "bias ppm", "+-");
    for (const StationRow& r : a.rows) {
        const StationStats& s = *r.stats;
        std::fprintf(out, "           %-14s %9ld %9ld %8.2f %10.1f %8.1f %10.4f %8.4f%s\n",
                     s.name.c_str(), s.units, s.passed, percent(s.passed, s.units), r.biasHz,
                     r.seHz, r.biasPpm, r.sePpm, r.flagged ? "  TESTER BIAS" : "");
    }
    std::fprintf(out,
                 "           bias: each station's error at the reference point (the first\n"
                 "           PFER point), %s; the flashed CAFC cannot\n"
                 "           show it (the CDAC is chosen on the biased reading); named beyond\n"
                 "           %.3f ppm by two standard errors\n",
                 a.absolute ? "from golden units against their references"
                            : "against the rest of the line's",
                 a.biasLimitPpm);
    printBiases(out, a);
    printShifts(out, a);
    for (const StationRow& r : a.rows)
        if (r.flagged)
            std::fprintf(out, "Flagged    %s: tester reads %.1f Hz (%.4f ppm of %.1f MHz) off\n",
                         r.stats->name.c_str(), r.biasHz, r.biasPpm, r.stats->CarrierMhz());
    if (!l.failures.empty()) {
        std::fprintf(out, "Failures   units  station\n");
        for (const StationStats& s : a.stations)
            for (const auto& kv : s.failures)
                std::fprintf(out, "           %5ld  %-14s %s\n", kv.second.count, s.name.c_str(),
                             kv.first.c_str());
    }
    std::fprintf(out, "Capability %-8s %-11s %-14s %9s %9s %9s %6s %6s %6s %9s %9s  %s\n", "chip",
                 "value", "station", "window", "mean", "sd within", "Cp", "Cpk", "Ppk", "expected%",
                 "counted%", "level");
    eachCapability(a, [&](const std::string* station, sim::Chip chip, int v, const Capability& c) {
        std::string window = FormatNumber("%g", c.low) + ".." + FormatNumber("%g", c.high);
        std::fprintf(
            out, "           %-8s %-11s %-14s %9s %9.3f %9.3f %6s %6s %6s %9.4f %9.4f  %s\n",
            ChipLabel(chip), ValueName(v), station != nullptr ? station->c_str() : "line",
            window.c_str(), c.moments.mean, c.ranges.SdWithin(), num("%.2f", c.Cp()).c_str(),
            num("%.2f", c.Cpk()).c_str(), num("%.2f", c.Ppk()).c_str(), 100 * c.ExpectedOutside(),
            percent(c.outside, c.moments.n), c.Level());
    });
    std::fprintf(out,
                 "Drift      changes in each station's bias shift by shift (golden units, "
                 "pairs); where none is logged, a self-starting\n"
                 "           CUSUM on single units per chip, k = %.2f sd, h = %.0f sd\n",
                 a.driftSlack, a.driftLimit);
    long alarms = 0;
    for (const StationStats& s : a.stations)
        for (const DriftAlarm& d : s.alarms) {
            ++alarms;
            double mhz = s.CarrierMhz();
            std::string where =
                "unit " + std::to_string(d.unit) + ", line " + std::to_string(d.line);
            if (d.time != kNoTime)
                where += ", " + FormatTime(d.time);
            if (!d.serial.empty())
                where += ", serial " + d.serial;
            std::string on = d.method;
            if (d.chip >= 0 && static_cast<size_t>(d.chip) < AllChips().size())
                on += std::string(" of ") + ChipLabel(AllChips()[static_cast<size_t>(d.chip)]);
            std::fprintf(out,
                         "           %s: from %s the tester reads %.1f Hz (%.4f ppm) further "
                         "off (%s); alarmed at unit %ld\n",
                         s.name.c_str(), where.c_str(), d.shiftHz, mhz > 0 ? d.shiftHz / mhz : 0.0,
                         on.empty() ? "-" : on.c_str(), d.raised);
        }
    if (alarms == 0)
        std::fprintf(out, "           no alarm\n");
    if (a.seconds > 0)
        std::fprintf(out, "Computed   in %.2f s here with %d job%s (%.0f units/s, %.0f MB/s)\n",
                     a.seconds, a.jobs, a.jobs == 1 ? "" : "s", l.units / a.seconds,
                     static_cast<double>(a.bytes) / 1e6 / a.seconds);
}

void PrintAnalysisJson(FILE* out, const LineAnalysis& a) {
    auto line = [&](const JsonObject& o) { std::fprintf(out, "%s\n", o.Text().c_str()); };
    for (const StationRow& r : a.rows) {
        const StationStats& s = *r.stats;
        JsonObject o = JsonLine("station");
        o.Str("name", s.name)
            .Int("units", s.units)
            .Int("passed", s.passed)
            .Num("yield", percent(s.passed, s.units))
            .Num("bias_hz", r.biasHz)
            .Num("bias_se_hz", r.seHz)
            .Num("bias_ppm", r.biasPpm)
            .Num("bias_se_ppm", r.sePpm)
            .Num("carrier_mhz", s.CarrierMhz())
            .Bool("flagged", r.flagged)
            .Int("unread", s.unread)
            .Str("bias_method", r.method);
        estimateJson(&o, "golden", r.golden);
        estimateJson(&o, "pairs", r.pairs);
        estimateJson(&o, "singles", r.singles);
        if (r.trend.known)
            o.Num("drift_hz_per_day", r.trend.hzPerDay)
                .Num("drift_se_hz_per_day", r.trend.seHzPerDay);
        else
            o.Null("drift_hz_per_day").Null("drift_se_hz_per_day");
        if (r.trend.known && r.trend.limitDate != kNoTime)
            o.Str("limit_date", FormatDate(r.trend.limitDate));
        else
            o.Null("limit_date");
        line(o);
    }
    eachCapability(a, [&](const std::string* station, sim::Chip chip, int v, const Capability& c) {
        JsonObject o = JsonLine("capability");
        if (station != nullptr)
            o.Str("station", *station);
        else
            o.Null("station");
        line(o.Str("chip", ChipLabel(chip))
                 .Str("value", ValueName(v))
                 .Num("low", c.low)
                 .Num("high", c.high)
                 .Int("units", c.moments.n)
                 .Num("mean", c.moments.mean)
                 .Num("sd_within", c.ranges.SdWithin())
                 .Num("sd_overall", c.moments.Sd())
                 .Num("cp", c.Cp())
                 .Num("cpk", c.Cpk())
                 .Num("ppk", c.Ppk())
                 .Num("expected_outside", c.ExpectedOutside())
                 .Int("outside", c.outside)
                 .Str("level", c.Level()));
    });
    for (const StationStats& s : a.stations)
        for (const DriftAlarm& d : s.alarms) {
            double mhz = s.CarrierMhz();
            JsonObject o = JsonLine("drift");
            o.Str("station", s.name)
                .Int("unit", d.unit)
                .Int("alarm_unit", d.raised)
                .Int("line", d.line)
                .Num("shift_hz", d.shiftHz)
                .Num("shift_ppm", mhz > 0 ? d.shiftHz / mhz : NAN);
            if (d.time != kNoTime)
                o.Str("time", FormatTime(d.time));
            else
                o.Null("time");
            if (!d.serial.empty())
                o.Str("serial", d.serial);
            else
                o.Null("serial");
            o.Str("method", d.method);
            if (d.chip >= 0 && static_cast<size_t>(d.chip) < AllChips().size())
                o.Str("chip", ChipLabel(AllChips()[static_cast<size_t>(d.chip)]));
            line(o);
        }
    for (const ShiftRow& r : a.shifts) {
        JsonObject o = JsonLine("shift");
        o.Str("start", FormatTime(ShiftStart(r.shift))).Str("kind", ShiftName(r.shift));
        if (r.station >= 0)
            o.Str("station", a.stations[static_cast<size_t>(r.station)].name);
        else
            o.Null("station");
        o.Int("units", r.units)
            .Int("passed", r.passed)
            .Int("first_tests", r.firstTests)
            .Int("first_passed", r.firstPassed);
        if (r.bias.known)
            o.Num("bias_hz", r.bias.hz).Num("bias_se_hz", r.bias.seHz).Str("method", r.method);
        else
            o.Null("bias_hz").Null("bias_se_hz").Null("method");
        line(o);
    }
    JsonArray failures;
    for (const auto& kv : a.line.failures) {
        const FailureCount& f = kv.second;
        JsonObject o;
        o.Int("count", f.count);
        if (f.hasTriple)
            o.Raw("error", JsonArray()
                               .Add(std::to_string(f.triple[0]))
                               .Add(std::to_string(f.triple[1]))
                               .Add(std::to_string(f.triple[2]))
                               .Text());
        else
            o.Null("error");
        failures.Add(o.Str("text", f.text).Text());
    }
    const StationStats& l = a.line;
    JsonObject summary = JsonLine("summary");
    summary.Int("stations", static_cast<long long>(a.stations.size()))
        .Int("units", l.units)
        .Int("passed", l.passed)
        .Num("yield", percent(l.passed, l.units))
        .Int("lines", l.lines)
        .Int("unread", l.unread)
        .Raw("failures", failures.Text())
        .Num("bias_limit_ppm", a.biasLimitPpm)
        .Bool("has_times", a.hasTimes)
        .Bool("has_serials", a.hasSerials)
        .Bool("absolute", a.absolute)
        .Int("golden_readings", a.goldenReadings)
        .Int("pairs", a.pairs)
        .Int("flagged", std::count_if(a.rows.begin(), a.rows.end(),
                                      [](const StationRow& r) { return r.flagged; }));
    // Only a log that stopped early adds the member: whole logs' lines stay as they were.
    JsonArray incomplete;
    bool any = false;
    for (const StationStats& s : a.stations)
        if (s.Incomplete()) {
            incomplete.Add(IncompleteJson(s.incomplete));
            any = true;
        }
    if (any)
        summary.Raw("incomplete", incomplete.Text());
    line(summary);
}

} // namespace station
