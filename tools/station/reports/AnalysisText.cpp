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
                 "           bias: each station's mean error at the reference point (the first\n"
                 "           PFER point) against the rest of the line's; the flashed CAFC cannot\n"
                 "           show it (the CDAC is chosen on the biased reading); named beyond\n"
                 "           %.3f ppm by two standard errors\n",
                 a.biasLimitPpm);
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
                 "Drift      CUSUM on the reference-point error, k = %.2f sd, h = %.0f sd, "
                 "reference the station's first %ld units\n",
                 a.driftSlack, a.driftLimit, a.driftReferenceUnits);
    long alarms = 0;
    for (const StationStats& s : a.stations)
        for (const DriftAlarm& d : s.alarms) {
            ++alarms;
            double mhz = s.CarrierMhz();
            std::fprintf(out,
                         "           %s: from unit %ld (line %ld) the tester reads %.1f Hz "
                         "(%.4f ppm) further off; alarmed at unit %ld\n",
                         s.name.c_str(), d.unit, d.line, d.shiftHz, mhz > 0 ? d.shiftHz / mhz : 0.0,
                         d.raised);
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
        line(JsonLine("station")
                 .Str("name", s.name)
                 .Int("units", s.units)
                 .Int("passed", s.passed)
                 .Num("yield", percent(s.passed, s.units))
                 .Num("bias_hz", r.biasHz)
                 .Num("bias_se_hz", r.seHz)
                 .Num("bias_ppm", r.biasPpm)
                 .Num("bias_se_ppm", r.sePpm)
                 .Num("carrier_mhz", s.CarrierMhz())
                 .Bool("flagged", r.flagged)
                 .Int("unread", s.unread));
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
            line(JsonLine("drift")
                     .Str("station", s.name)
                     .Int("unit", d.unit)
                     .Int("alarm_unit", d.raised)
                     .Int("line", d.line)
                     .Num("shift_hz", d.shiftHz)
                     .Num("shift_ppm", mhz > 0 ? d.shiftHz / mhz : NAN));
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
    line(JsonLine("summary")
             .Int("stations", static_cast<long long>(a.stations.size()))
             .Int("units", l.units)
             .Int("passed", l.passed)
             .Num("yield", percent(l.passed, l.units))
             .Int("lines", l.lines)
             .Int("unread", l.unread)
             .Raw("failures", failures.Text())
             .Num("bias_limit_ppm", a.biasLimitPpm)
             .Int("flagged", std::count_if(a.rows.begin(), a.rows.end(),
                                           [](const StationRow& r) { return r.flagged; })));
}

} // namespace station
