#include "reports/Html.h"

#include "support/StationChips.h"
#include "reports/Report.h"
#include "support/StationChips.h"
#include "reports/SvgWriter.h"

#include <algorithm>
#include <cmath>

namespace station {

namespace {

constexpr double kPi = 3.14159265358979323846;

const char* kStyle = R"(<style>
body{font-family:"DejaVu Sans",Arial,sans-serif;margin:24px auto;max-width:1180px;padding:0 16px;color:#222;font-size:14px}
h1{font-size:22px;margin:0 0 4px}h2{font-size:17px;margin:22px 0 8px;border-bottom:1px solid #ccc}
table{border-collapse:collapse;margin:6px 0}td,th{padding:3px 7px;border-bottom:1px solid #e4e4e4;text-align:right}
td{white-space:nowrap}th{background:#f2f2f2;vertical-align:bottom}td.l,th.l{text-align:left}
.flag{color:#b00020;font-weight:bold}
.capable{background:#d8f0d8}.marginal{background:#fff1c4}.not{background:#f8d0d0}
tr.first td{border-top:2px solid #bbb}
.figs{display:flex;flex-wrap:wrap;gap:10px}svg{max-width:100%;height:auto}
.note{color:#555;font-size:12px}
@media print{@page{size:A4;margin:12mm}body{margin:0;padding:0;max-width:none;font-size:9pt}
table{font-size:7.5pt}td,th{padding:1px 4px}.figs>div{break-inside:avoid}h2{break-after:avoid}
tr{break-inside:avoid}svg{max-width:100%}
.hist>div{flex:0 0 48%}.hist svg{width:100%;height:auto}#sweep{break-before:page}}
</style>)";

std::string f(const char* format, double v) {
    return std::isnan(v) ? std::string("-") : FormatNumber(format, v);
}

double percent(long n, long of) {
    return of > 0 ? 100.0 * static_cast<double>(n) / static_cast<double>(of) : 0.0;
}

// A histogram of one value with its window and the normal of its mean and
// overall deviation, over the window and the values' own spread. The fine
// bins are gathered into bars of at least one code where the value is a
// whole code.
std::string histogram(const std::string& title, const Capability& c, bool wholeCodes) {
    const double w = 560, h = 230, left = 50, top = 40, pw = 490, ph = 140;
    SvgWriter svg(static_cast<int>(w), static_cast<int>(h));
    svg.Text(10, 20, title, 13, "start", "#111111", "bold");
    const FixedBins& b = c.bins;
    const double sd = c.moments.Sd();
    const double n = static_cast<double>(c.moments.n);
    const double mean = c.moments.mean;
    // The plot: the window and four deviations either side of the mean.
    double lo = std::min(c.low, mean - 4 * sd), hi = std::max(c.high, mean + 4 * sd);
    lo = std::max(lo, b.low);
    hi = std::min(hi, b.high);
    if (hi <= lo)
        hi = lo + 1;
    const double pad = (hi - lo) * 0.04;
    lo = std::max(b.low, lo - pad);
    hi = std::min(b.high, hi + pad);
    double barWidth = (hi - lo) / 100;
    if (wholeCodes)
        barWidth = std::max(1.0, std::round(barWidth));
    const double first = wholeCodes ? std::floor(lo) - 0.5 : lo;
    const size_t bars = static_cast<size_t>(std::ceil((hi - first) / barWidth));
    std::vector<long> counts(std::max<size_t>(bars, 1), 0);
    const double fine = b.Width();
    for (size_t i = 0; i < b.counts.size(); ++i) {
        double mid = b.low + fine * (static_cast<double>(i) + 0.5);
        if (mid < first || mid >= first + barWidth * static_cast<double>(counts.size()))
            continue;
        counts[static_cast<size_t>((mid - first) / barWidth)] += b.counts[i];
    }
    long most = 1, beyond = b.below + b.above;
    for (long k : counts)
        most = std::max(most, k);
    auto xAt = [&](double v) { return left + (v - lo) / (hi - lo) * pw; };
    const double base = top + ph;
    // The normal's peak sets the scale when it stands above the bars.
    double peak = sd > 0 ? n * barWidth / (sd * std::sqrt(2 * kPi)) : 0;
    const double scale = std::max(static_cast<double>(most), peak) * 1.05;
    svg.Rect(left, top, pw, ph, "#fafafa", "#bbbbbb");
    const double wl = std::max(lo, c.low), wh = std::min(hi, c.high);
    if (wh > wl)
        svg.Rect(xAt(wl), top, xAt(wh) - xAt(wl), ph, "#e8f1e8", "none");
    for (size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] == 0)
            continue;
        double from = std::max(lo, first + barWidth * static_cast<double>(i));
        double to = std::min(hi, from + barWidth);
        double bh = ph * static_cast<double>(counts[i]) / scale;
        double mid = (from + to) / 2;
        bool in = mid >= c.low && mid <= c.high;
        svg.Rect(xAt(from), base - bh, std::max(xAt(to) - xAt(from) - 0.5, 0.8), bh,
                 in ? "#4a78c0" : "#c04a4a", "none");
    }
    if (sd > 0) {
        std::vector<std::pair<double, double>> curve;
        for (int i = 0; i <= 240; ++i) {
            double v = lo + (hi - lo) * i / 240.0;
            double z = (v - mean) / sd;
            double y = n * barWidth * std::exp(-0.5 * z * z) / (sd * std::sqrt(2 * kPi));
            curve.emplace_back(xAt(v), base - ph * std::min(y / scale, 1.0));
        }
        svg.Polyline(curve, "#e08020", 1.8);
    }
    for (double v : {c.low, c.high}) {
        if (v < lo || v > hi)
            continue;
        svg.Line(xAt(v), top - 4, xAt(v), base, "#208040", 1.5, " stroke-dasharray=\"5,3\"");
        svg.Text(xAt(v), base + 15, FormatNumber("%g", v), 11, "middle", "#208040");
    }
    svg.Text(left, top - 8, FormatNumber("%.4g", lo), 10, "start", "#666666");
    svg.Text(left + pw, top - 8, FormatNumber("%.4g", hi), 10, "end", "#666666");
    svg.Text(left, base + 34,
             "n " + std::to_string(c.moments.n) + ", mean " + f("%.3f", mean) + ", sd " +
                 f("%.3f", sd) + ", Cpk " + f("%.2f", c.Cpk()) + ", outside " +
                 std::to_string(c.outside) +
                 (beyond > 0 ? " (" + std::to_string(beyond) + " beyond the bins)" : ""),
             11, "start", "#444444");
    return InlineSvg(svg.Finish());
}

// Batch means of the reference-point error in log order about the station's
// mean with limits of three standard errors of a batch mean, the station's
// alarms marked where their shifts began.
std::string controlChart(const StationStats& s) {
    const double w = 1000, h = 200, left = 60, top = 30, pw = 870, ph = 130;
    SvgWriter svg(static_cast<int>(w), static_cast<int>(h));
    svg.Text(10, 18, s.name + ": batch means of the reference-point error (Hz)", 13, "start",
             "#111111", "bold");
    if (s.chart.empty())
        return InlineSvg(svg.Finish());
    const double units = static_cast<double>(std::max(1L, s.units));
    const double perPoint = units / static_cast<double>(s.chart.size());
    const double mean = s.reference.mean;
    const double limit = 3 * s.reference.Sd() / std::sqrt(std::max(1.0, perPoint));
    double lo = mean - limit, hi = mean + limit;
    for (const ChartPoint& p : s.chart) {
        double m = p.sum / std::max(1L, p.units);
        lo = std::min(lo, m);
        hi = std::max(hi, m);
    }
    if (hi - lo < 20) {
        lo = mean - 10;
        hi = mean + 10;
    }
    const double pad = (hi - lo) * 0.05;
    lo -= pad;
    hi += pad;
    auto xAt = [&](double u) { return left + u / units * pw; };
    auto yAt = [&](double v) { return top + ph - (v - lo) / (hi - lo) * ph; };
    svg.Rect(left, top, pw, ph, "#fafafa", "#bbbbbb");
    svg.Line(left, yAt(mean), left + pw, yAt(mean), "#888888", 1, " stroke-dasharray=\"3,3\"");
    svg.Text(left + pw + 4, yAt(mean) + 4, "mean", 10, "start", "#666666");
    for (double v : {mean + limit, mean - limit}) {
        svg.Line(left, yAt(v), left + pw, yAt(v), "#c08080", 1, " stroke-dasharray=\"6,3\"");
        svg.Text(left + pw + 4, yAt(v) + 4, v > mean ? "+3 se" : "-3 se", 10, "start", "#a06060");
    }
    std::vector<std::pair<double, double>> line;
    for (const ChartPoint& p : s.chart)
        line.emplace_back(xAt(p.firstUnit + p.units / 2.0), yAt(p.sum / std::max(1L, p.units)));
    svg.Polyline(line, "#2060c0", 1.5);
    svg.Text(left - 6, yAt(hi) + 10, FormatNumber("%.0f", hi), 10, "end");
    svg.Text(left - 6, yAt(mean) + 4, FormatNumber("%.0f", mean), 10, "end");
    svg.Text(left - 6, yAt(lo), FormatNumber("%.0f", lo), 10, "end");
    svg.Text(left, top + ph + 16, "unit 1", 10, "start");
    svg.Text(left + pw, top + ph + 16,
             "unit " + std::to_string(s.units) + " (" + FormatNumber("%.0f", perPoint) +
                 " units a point)",
             10, "end");
    for (const DriftAlarm& d : s.alarms) {
        const double x = xAt(static_cast<double>(d.unit));
        svg.Line(x, top, x, top + ph, "#d02020", 2);
        const bool right = x < left + pw * 0.7;
        svg.Text(right ? x + 4 : x - 4, top + 12,
                 "alarm: from unit " + std::to_string(d.unit) + ", " +
                     FormatNumber("%+.0f", d.shiftHz) + " Hz",
                 11, right ? "start" : "end", "#d02020", "bold");
    }
    return InlineSvg(svg.Finish());
}

} // namespace

std::string InlineSvg(const std::string& svg) {
    size_t at = svg.find("<svg");
    return at == std::string::npos ? svg : svg.substr(at);
}

std::string AnalysisPage(const LineAnalysis& a, const std::string& sweepFigure) {
    const StationStats& l = a.line;
    std::string p = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                    "<title>Line analysis</title>";
    p += kStyle;
    p += "</head><body>\n<h1>Line analysis: " + std::to_string(a.stations.size()) + " station" +
         (a.stations.size() == 1 ? "" : "s") + ", " + std::to_string(l.units) + " units</h1>\n";
    p += "<p class=\"note\">Configuration: " + EscapeMarkup(a.config) + ". " +
         std::to_string(l.lines) + " log lines, " + std::to_string(l.unread) + " unread.</p>\n";
    p += "<h2 id=\"stations\">Yield and stations</h2>\n<p>Yield <b id=\"yield\">" +
         FormatNumber("%.2f", percent(l.passed, l.units)) + " %</b> (" + std::to_string(l.passed) +
         " of " + std::to_string(l.units) + " passed).</p>\n";
    p += "<table><tr><th class=\"l\">station</th><th>units</th><th>passed</th><th>yield %</th>"
         "<th>bias Hz</th><th>&plusmn; Hz</th><th>bias ppm</th><th>&plusmn; ppm</th>"
         "<th class=\"l\">tester</th></tr>\n";
    for (const StationRow& r : a.rows) {
        const StationStats& s = *r.stats;
        p += "<tr><td class=\"l\">" + EscapeMarkup(s.name) + "</td><td>" + std::to_string(s.units) +
             "</td><td>" + std::to_string(s.passed) + "</td><td>" +
             FormatNumber("%.2f", percent(s.passed, s.units)) + "</td><td>" +
             FormatNumber("%.1f", r.biasHz) + "</td><td>" + FormatNumber("%.1f", r.seHz) +
             "</td><td>" + FormatNumber("%.4f", r.biasPpm) + "</td><td>" +
             FormatNumber("%.4f", r.sePpm) + "</td><td class=\"l" +
             (r.flagged ? " flag\">BIASED" : "\">ok") + "</td></tr>\n";
    }
    p += "</table>\n<p class=\"note\">Bias: each station's mean error at the reference point "
         "(the first PFER point) against the rest of the line; named beyond " +
         FormatNumber("%.3f", a.biasLimitPpm) + " ppm by two standard errors.</p>\n";
    if (!l.failures.empty()) {
        p += "<h2 id=\"failures\">Failures</h2>\n<table><tr><th "
             "class=\"l\">station</th><th>units</th>"
             "<th class=\"l\">why</th></tr>\n";
        for (const StationStats& s : a.stations)
            for (const auto& kv : s.failures)
                p += "<tr><td class=\"l\">" + EscapeMarkup(s.name) + "</td><td>" +
                     std::to_string(kv.second.count) + "</td><td class=\"l\">" +
                     EscapeMarkup(kv.first) + "</td></tr>\n";
        p += "</table>\n";
    }
    p += "<h2 id=\"capability\">Capability</h2>\n<table><tr><th class=\"l\">chip</th><th "
         "class=\"l\">value</th>"
         "<th class=\"l\">station</th><th>window</th><th>mean</th><th>sd within</th>"
         "<th>sd overall</th><th>Cp</th><th>Cpk</th><th>Ppk</th><th>expected %</th>"
         "<th>counted %</th><th class=\"l\">level</th></tr>\n";
    std::string figures;
    bool groupStarts = false; // the first row of a station's
    auto row = [&](const std::string* station, sim::Chip chip, int v, const Capability& c) {
        std::string level = c.Level();
        std::string cls = level == "capable" ? "capable" : level == "marginal" ? "marginal" : "not";
        p += std::string(groupStarts ? "<tr class=\"first\">" : "<tr>") + "<td class=\"l\">" +
             ChipLabel(chip) + "</td><td class=\"l\">" + ValueName(v) + "</td><td class=\"l\">" +
             (station ? EscapeMarkup(*station) : "line") + "</td><td>" + FormatNumber("%g", c.low) +
             ".." + FormatNumber("%g", c.high) + "</td><td>" + f("%.3f", c.moments.mean) +
             "</td><td>" + f("%.3f", c.ranges.SdWithin()) + "</td><td>" +
             f("%.3f", c.moments.Sd()) + "</td><td>" + f("%.2f", c.Cp()) + "</td><td>" +
             f("%.2f", c.Cpk()) + "</td><td>" + f("%.2f", c.Ppk()) + "</td><td>" +
             f("%.4f", 100 * c.ExpectedOutside()) + "</td><td>" +
             f("%.4f", percent(c.outside, c.moments.n)) + "</td><td class=\"l " + cls + "\">" +
             level + "</td></tr>\n";
        if (station == nullptr)
            figures += "<div>" +
                       histogram(std::string(ChipLabel(chip)) + " " + ValueName(v) + ", window " +
                                     FormatNumber("%g", c.low) + ".." + FormatNumber("%g", c.high),
                                 c, v != kSlopeValue) +
                       "</div>\n";
    };
    auto one = [&](const StationStats& s, const std::string* station) {
        groupStarts = true;
        for (sim::Chip chip : AllChips())
            for (int v = 0; v < kValues; ++v) {
                const Capability& c = s.values.at(ChipIndex(chip))[v];
                if (c.known && c.moments.n > 0) {
                    row(station, chip, v, c);
                    groupStarts = false;
                }
            }
    };
    one(a.line, nullptr);
    if (a.stations.size() > 1)
        for (const StationStats& s : a.stations)
            one(s, &s.name);
    p += "</table>\n<p class=\"note\">Levels by Cpk: below 1.33 not capable, 1.33 to 1.67 "
         "marginal, 1.67 and above capable. Expected: the fraction outside the window from the "
         "mean and the overall deviation of a normal.</p>\n";
    p += "<h2 id=\"histograms\">Histograms</h2>\n<p class=\"note\">Green band: the window; blue "
         "bars inside it, red "
         "outside; orange: the fitted normal.</p>\n<div class=\"figs hist\">\n" +
         figures + "</div>\n";
    p += "<h2 id=\"drift\">Drift</h2>\n<p class=\"note\">CUSUM on the reference-point error, k = " +
         FormatNumber("%.2f", a.driftSlack) + " sd, h = " + FormatNumber("%.0f", a.driftLimit) +
         " sd; red lines: where an alarm's shift began.</p>\n";
    long alarms = 0;
    for (const StationStats& s : a.stations) {
        p += "<div class=\"figs\"><div>" + controlChart(s) + "</div></div>\n";
        for (const DriftAlarm& d : s.alarms) {
            ++alarms;
            double mhz = s.CarrierMhz();
            p += "<p class=\"flag\">" + EscapeMarkup(s.name) + ": from unit " +
                 std::to_string(d.unit) + " (line " + std::to_string(d.line) +
                 ") the tester reads " + FormatNumber("%.1f", d.shiftHz) + " Hz (" +
                 FormatNumber("%.4f", mhz > 0 ? d.shiftHz / mhz : 0.0) +
                 " ppm) further off; alarmed at unit " + std::to_string(d.raised) + "</p>\n";
        }
    }
    if (alarms == 0)
        p += "<p>No alarm.</p>\n";
    if (!sweepFigure.empty())
        p += "<h2 id=\"sweep\">Sweep</h2>\n<p class=\"note\">The logs replayed under every value: "
             "yield "
             "against the value, or a heat map of yield over the grid of both keys.</p>\n"
             "<div class=\"figs\"><div>" +
             InlineSvg(sweepFigure) + "</div></div>\n";
    p += "</body></html>\n";
    return p;
}

} // namespace station
