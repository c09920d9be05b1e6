#include "reports/Html.h"

#include "reports/Report.h"
#include "support/StationChips.h"
#include "support/Time.h"
#include "reports/SvgWriter.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace station {

namespace {

constexpr double kPi = 3.14159265358979323846;

const char* kStyle = R"(<style>
body{font-family:"DejaVu Sans",Arial,sans-serif;margin:24px auto;max-width:1240px;padding:0 16px;color:#222;font-size:14px}
h1{font-size:22px;margin:0 0 4px}h2{font-size:17px;margin:22px 0 8px;border-bottom:1px solid #ccc}
table{border-collapse:collapse;margin:6px 0}td,th{padding:3px 7px;border-bottom:1px solid #e4e4e4;text-align:right}
td{white-space:nowrap}th{background:#f2f2f2;vertical-align:bottom}td.l,th.l{text-align:left}
.flag{color:#b00020;font-weight:bold}
.capable{background:#d8f0d8}.marginal{background:#fff1c4}.not{background:#f8d0d0}
tr.first td{border-top:2px solid #bbb}
#overview{font-size:12px}#overview td{padding:1px 5px}#overview td.axis,#overview th.axis{padding:0 4px}
#overview svg{display:block;max-width:none}
tr.flagged td{background:#fdecee;font-weight:bold}tr.flagged td:first-child{border-left:5px solid #b00020}
tr.flagged td.flag{outline:2px solid #b00020;outline-offset:-3px}
.box{border:2px solid #b00020;background:#fdecee;padding:6px 10px;margin:10px 0}
.notice{border-color:#a07000;background:#fff6dc}
.figs{display:flex;flex-wrap:wrap;gap:10px}svg{max-width:100%;height:auto}
.grid{display:grid;grid-template-columns:repeat(auto-fill,minmax(290px,1fr));gap:8px}
.grid.small{grid-template-columns:repeat(auto-fill,minmax(200px,1fr))}
.grid svg{width:100%;height:auto;display:block}
.grid>.flagged{outline:3px solid #b00020}
details{margin:4px 0}summary{cursor:pointer}details.station{border-bottom:1px solid #e4e4e4;padding:2px 0}
.note{color:#555;font-size:12px}
@media print{@page{size:A4;margin:12mm}body{margin:0;padding:0;max-width:none;font-size:9pt}
table{font-size:7.5pt}td,th{padding:1px 4px}.figs>div,.grid>div{break-inside:avoid}h2{break-after:avoid}
tr{break-inside:avoid}svg{max-width:100%}#overview{font-size:6.5pt}#overview svg{width:64px;height:auto}
#overview td,#overview th{padding:1px 2px;white-space:normal}#overview .ppm{display:none}
.grid{grid-template-columns:repeat(3,1fr)}.grid.small{grid-template-columns:repeat(4,1fr)}
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

// Where a station stands among the line's: its index in the analysis, the
// bias limit in Hz of its carrier.
int stationIndex(const LineAnalysis& a, const StationRow& r) {
    if (a.stations.empty() || r.stats < a.stations.data() ||
        r.stats >= a.stations.data() + a.stations.size())
        return -1;
    return static_cast<int>(r.stats - a.stations.data());
}

double limitHz(const LineAnalysis& a, const StationStats& s) {
    return a.biasLimitPpm * s.CarrierMhz();
}

// "2026-12-07 14:23": minutes are enough in a cell.
std::string shortTime(TimeMs t) {
    if (t == kNoTime)
        return "-";
    std::string text = FormatTime(t).substr(0, 16);
    text[10] = ' ';
    return text;
}

// "+12.3 ± 4.5": the value signed, its error not.
std::string plusMinus(const char* format, double v, double se) {
    std::string unsigned_ = format;
    unsigned_.erase(std::remove(unsigned_.begin(), unsigned_.end(), '+'), unsigned_.end());
    return FormatNumber(format, v) + " &plusmn; " + FormatNumber(unsigned_.c_str(), se);
}

// The scales every station's small figures share, so that they compare at a glance.
struct Scales {
    double ppm = 1; // the bias axis of the overview: -ppm..+ppm
    long long firstShift = 0, lastShift = 0;
    bool shifts = false;                 // any station's bias in any shift
    double shiftHz = 10;                 // the per-shift bias axis: -shiftHz..+shiftHz
    TimeMs from = 0, to = 0;             // the golden charts' time axis
    bool golden = false;                 // any station's golden points over time
    double goldenHz = 10;                // their bias axis: -goldenHz..+goldenHz
    double controlLo = 0, controlHi = 0; // the control charts' axis
    long controlUnits = 1;               // and their units
    bool control = false;
};

bool hasGoldenChart(const StationRow& r) {
    for (const GoldenPoint& g : r.goldenPoints)
        if (g.time != kNoTime)
            return true;
    return false;
}

// The value of a station's trend at a time.
double trendAt(const DriftTrend& t, TimeMs at) {
    return t.levelHz + t.hzPerDay * static_cast<double>(at - t.from) / kMsPerDay;
}

Scales sharedScales(const LineAnalysis& a) {
    Scales sc;
    double extent = 0, limit = a.biasLimitPpm;
    for (const StationRow& r : a.rows)
        extent = std::max(extent, std::fabs(r.biasPpm) + 2 * r.sePpm);
    // Wide enough for the limit band and every interval, yet one wild tester
    // does not squeeze the rest: beyond four limits it runs off the axis.
    sc.ppm = std::max(limit * 1.5, extent) * 1.08;
    if (limit > 0)
        sc.ppm = std::min(sc.ppm, limit * 4);
    if (!(sc.ppm > 0))
        sc.ppm = 1;
    double maxLimitHz = 0;
    for (const StationStats& s : a.stations)
        maxLimitHz = std::max(maxLimitHz, limitHz(a, s));
    double shiftExtent = maxLimitHz * 1.2;
    for (const ShiftRow& row : a.shifts) {
        if (row.station < 0 || !row.bias.known)
            continue;
        if (!sc.shifts) {
            sc.firstShift = sc.lastShift = row.shift;
            sc.shifts = true;
        }
        sc.firstShift = std::min(sc.firstShift, row.shift);
        sc.lastShift = std::max(sc.lastShift, row.shift);
        shiftExtent = std::max(shiftExtent, std::fabs(row.bias.hz) + row.bias.seHz);
    }
    // As on the overview's axis, a reading beyond four limits stays at the edge.
    const double cap = maxLimitHz > 0 ? 4 * maxLimitHz : HUGE_VAL;
    sc.shiftHz = std::max(std::min(shiftExtent * 1.05, cap), 1.0);
    double goldenExtent = maxLimitHz * 1.2;
    TimeMs limitDates = kNoTime;
    for (const StationRow& r : a.rows) {
        for (const GoldenPoint& g : r.goldenPoints) {
            if (g.time == kNoTime)
                continue;
            if (!sc.golden) {
                sc.from = sc.to = g.time;
                sc.golden = true;
            }
            sc.from = std::min(sc.from, g.time);
            sc.to = std::max(sc.to, g.time);
            goldenExtent = std::max(goldenExtent, std::fabs(g.hz));
        }
        if (r.trend.known && r.trend.limitDate != kNoTime)
            limitDates = std::max(limitDates, r.trend.limitDate);
    }
    // Room to the right for the projections, up to half the span again.
    if (sc.golden && limitDates > sc.to)
        sc.to = std::min(limitDates + (limitDates - sc.from) / 20,
                         sc.to + std::max<TimeMs>((sc.to - sc.from) / 2, kMsPerDay));
    if (sc.to <= sc.from)
        sc.to = sc.from + kMsPerDay;
    sc.goldenHz = std::max(std::min(goldenExtent * 1.05, cap), 1.0);
    for (const StationRow& r : a.rows) {
        const StationStats& s = *r.stats;
        if (hasGoldenChart(r) || s.chart.empty())
            continue;
        const double perPoint =
            static_cast<double>(std::max(1L, s.units)) / static_cast<double>(s.chart.size());
        const double limit3 = 3 * s.reference.Sd() / std::sqrt(std::max(1.0, perPoint));
        double lo = s.reference.mean - limit3, hi = s.reference.mean + limit3;
        for (const ChartPoint& p : s.chart) {
            double m = p.sum / std::max(1L, p.units);
            lo = std::min(lo, m);
            hi = std::max(hi, m);
        }
        if (!sc.control) {
            sc.controlLo = lo;
            sc.controlHi = hi;
            sc.control = true;
        }
        sc.controlLo = std::min(sc.controlLo, lo);
        sc.controlHi = std::max(sc.controlHi, hi);
        sc.controlUnits = std::max(sc.controlUnits, s.units);
    }
    if (sc.controlHi - sc.controlLo < 20) {
        const double mid = (sc.controlHi + sc.controlLo) / 2;
        sc.controlLo = mid - 10;
        sc.controlHi = mid + 10;
    }
    const double pad = (sc.controlHi - sc.controlLo) * 0.05;
    sc.controlLo -= pad;
    sc.controlHi += pad;
    return sc;
}

// The overview's bias cell: the interval of two standard errors about the
// bias on the shared ppm axis, against the limit band.
std::string intervalMark(const LineAnalysis& a, const StationRow& r, const Scales& sc) {
    const double w = 130, h = 18, pad = 8;
    SvgWriter svg(static_cast<int>(w), static_cast<int>(h));
    auto xAt = [&](double ppm) {
        return pad +
               (std::max(-sc.ppm, std::min(sc.ppm, ppm)) + sc.ppm) / (2 * sc.ppm) * (w - 2 * pad);
    };
    if (a.biasLimitPpm > 0)
        svg.Rect(xAt(-a.biasLimitPpm), 2, xAt(a.biasLimitPpm) - xAt(-a.biasLimitPpm), h - 4,
                 "#e3f1e3", "#9cc49c");
    svg.Line(xAt(0), 1, xAt(0), h - 1, "#999999", 1);
    const double lo = r.biasPpm - 2 * r.sePpm, hi = r.biasPpm + 2 * r.sePpm;
    const char* ink = r.flagged ? "#b00020" : "#1f3f7a";
    svg.Line(xAt(lo), h / 2, xAt(hi), h / 2, ink, 2.5);
    for (double end : {lo, hi})
        svg.Line(xAt(end), h / 2 - 4, xAt(end), h / 2 + 4, ink, 1.5);
    // Off the axis: an arrow at its end says so.
    if (hi > sc.ppm)
        svg.Text(w - 1, h / 2 + 4, "\xe2\x96\xb6", 9, "end", ink);
    if (lo < -sc.ppm)
        svg.Text(1, h / 2 + 4, "\xe2\x97\x80", 9, "start", ink);
    svg.Circle(xAt(r.biasPpm), h / 2, r.flagged ? 4 : 3, r.flagged ? "#ffffff" : ink, ink);
    return InlineSvg(svg.Finish());
}

// The axis over the overview's bias column.
std::string intervalAxis(const LineAnalysis& a, const Scales& sc) {
    const double w = 130, h = 16, pad = 8;
    SvgWriter svg(static_cast<int>(w), static_cast<int>(h));
    auto xAt = [&](double ppm) { return pad + (ppm + sc.ppm) / (2 * sc.ppm) * (w - 2 * pad); };
    svg.Text(xAt(0), 11, "0", 10, "middle", "#444444");
    if (a.biasLimitPpm > 0 && a.biasLimitPpm < sc.ppm) {
        svg.Text(xAt(-a.biasLimitPpm), 11, FormatNumber("%g", -a.biasLimitPpm), 10, "middle",
                 "#2a6a2a");
        svg.Text(xAt(a.biasLimitPpm), 11, FormatNumber("%+g", a.biasLimitPpm), 10, "middle",
                 "#2a6a2a");
    }
    for (double v : {-sc.ppm, 0.0, sc.ppm})
        svg.Line(xAt(v), 13, xAt(v), h, "#888888", 1);
    return InlineSvg(svg.Finish());
}

// The station's per-shift bias as a line on the shared axes.
std::string sparkline(const LineAnalysis& a, int station, const Scales& sc) {
    std::vector<const ShiftRow*> rows;
    for (const ShiftRow& row : a.shifts)
        if (row.station == station && row.bias.known)
            rows.push_back(&row);
    if (rows.empty() || !sc.shifts)
        return "-";
    const double w = 110, h = 22;
    SvgWriter svg(static_cast<int>(w), static_cast<int>(h));
    const double span = static_cast<double>(std::max(1LL, sc.lastShift - sc.firstShift));
    auto xAt = [&](long long shift) {
        return 3 + static_cast<double>(shift - sc.firstShift) / span * (w - 6);
    };
    auto yAt = [&](double hz) {
        return h / 2 - std::max(-sc.shiftHz, std::min(sc.shiftHz, hz)) / sc.shiftHz * (h / 2 - 2);
    };
    const double lim = limitHz(a, a.stations[static_cast<size_t>(station)]);
    if (lim > 0)
        svg.Rect(0, yAt(lim), w, yAt(-lim) - yAt(lim), "#e3f1e3", "none");
    svg.Line(0, yAt(0), w, yAt(0), "#bbbbbb", 0.8);
    std::vector<std::pair<double, double>> line;
    for (const ShiftRow* row : rows)
        line.emplace_back(xAt(row->shift), yAt(row->bias.hz));
    svg.Polyline(line, "#1f3f7a", 1.2);
    svg.Circle(line.back().first, line.back().second, 2, "#1f3f7a", "none");
    return InlineSvg(svg.Finish());
}

// A small chart's frame and title; the flagged station's frame is heavy and
// its title says so.
void smallFrame(SvgWriter& svg, double left, double top, double pw, double ph,
                const std::string& title, const std::string& aside, bool flagged) {
    svg.Rect(left, top, pw, ph, "#fafafa", flagged ? "#b00020" : "#bbbbbb",
             flagged ? " stroke-width=\"2.5\"" : "");
    svg.Text(6, 16, flagged ? title + "  \xe2\x96\xb2 BIASED" : title, 13, "start",
             flagged ? "#b00020" : "#111111", "bold");
    svg.Text(left + pw, 16, aside, 11, "end", "#444444");
}

// A station's golden units over time against the limit band, with its
// alarms where the shifts began and its trend, dashed on to the limit.
std::string goldenChart(const LineAnalysis& a, const StationRow& r, const Scales& sc) {
    const double w = 380, h = 190, left = 46, top = 28, pw = 322, ph = 124;
    SvgWriter svg(static_cast<int>(w), static_cast<int>(h));
    const StationStats& s = *r.stats;
    const double span = static_cast<double>(sc.to - sc.from);
    auto xAt = [&](TimeMs t) { return left + static_cast<double>(t - sc.from) / span * pw; };
    auto yAt = [&](double hz) {
        const double v = std::max(-sc.goldenHz, std::min(sc.goldenHz, hz));
        return top + ph / 2 - v / sc.goldenHz * (ph / 2);
    };
    std::string aside = r.trend.known ? FormatNumber("%+.2f", r.trend.hzPerDay) + " \xc2\xb1 " +
                                            FormatNumber("%.2f", r.trend.seHzPerDay) + " Hz/day"
                                      : "golden units";
    smallFrame(svg, left, top, pw, ph, s.name, aside, r.flagged);
    const double lim = limitHz(a, s);
    if (lim > 0) {
        svg.Rect(left, yAt(lim), pw, yAt(-lim) - yAt(lim), "#e8f3e8", "none");
        for (double v : {lim, -lim})
            svg.Line(left, yAt(v), left + pw, yAt(v), "#3a8a3a", 1, " stroke-dasharray=\"5,3\"");
    }
    svg.Line(left, yAt(0), left + pw, yAt(0), "#999999", 0.8);
    for (const GoldenPoint& g : r.goldenPoints)
        if (g.time != kNoTime)
            svg.Circle(xAt(g.time), yAt(g.hz), 1.8, "#2060c0", "none");
    if (r.trend.known && r.trend.from != kNoTime) {
        TimeMs last = r.trend.from;
        for (const GoldenPoint& g : r.goldenPoints)
            last = std::max(last, g.time);
        last = std::min(last, sc.to);
        const TimeMs from = std::max(r.trend.from, sc.from);
        svg.Line(xAt(from), yAt(trendAt(r.trend, from)), xAt(last), yAt(trendAt(r.trend, last)),
                 "#e07000", 2);
        const bool crosses = r.trend.limitDate != kNoTime;
        const TimeMs end = crosses ? std::min(r.trend.limitDate, sc.to) : sc.to;
        if (end > last)
            svg.Line(xAt(last), yAt(trendAt(r.trend, last)), xAt(end), yAt(trendAt(r.trend, end)),
                     "#e07000", 2, " stroke-dasharray=\"6,4\"");
        if (crosses) {
            const bool inside = r.trend.limitDate <= sc.to;
            const double x = xAt(end), y = yAt(trendAt(r.trend, end));
            if (inside)
                svg.Circle(x, y, 3.5, "#ffffff", "#e07000");
            const std::string label =
                "limit " + FormatDate(r.trend.limitDate) + (inside ? "" : " \xe2\x86\x92");
            // Beside the crossing, away from the line that runs into it from the left.
            const bool up = r.trend.hzPerDay > 0;
            svg.Text(std::min(x, left + pw) - 6, up ? y - 6 : y + 14, label, 10, "end", "#a05000",
                     "bold");
        }
    }
    for (const DriftAlarm& d : s.alarms) {
        if (d.time == kNoTime || d.time < sc.from || d.time > sc.to)
            continue;
        const double x = xAt(d.time);
        svg.Line(x, top, x, top + ph, "#d02020", 1.5, " stroke-dasharray=\"3,2\"");
        svg.Text(x, top + 9, "\xe2\x96\xbc", 10, "middle", "#d02020");
        // Across the chart from the rising (or falling) trend's limit label.
        const bool right = x < left + pw * 0.7;
        const bool low = r.trend.known && r.trend.hzPerDay > 0;
        svg.Text(right ? x + 4 : x - 4, low ? top + ph - 5 : top + 20,
                 "alarm " + FormatNumber("%+.0f", d.shiftHz) + " Hz", 10, right ? "start" : "end",
                 "#d02020", "bold");
    }
    svg.Text(left - 4, yAt(sc.goldenHz) + 9, FormatNumber("%+.0f", sc.goldenHz), 10, "end");
    svg.Text(left - 4, yAt(0) + 4, "0", 10, "end");
    svg.Text(left - 4, yAt(-sc.goldenHz), FormatNumber("%+.0f", -sc.goldenHz), 10, "end");
    svg.Text(left, top + ph + 14, FormatDate(sc.from), 10, "start", "#444444");
    svg.Text(left + pw, top + ph + 14, FormatDate(sc.to), 10, "end", "#444444");
    svg.Text(left, top + ph + 30, "Hz; golden readings " + std::to_string(r.golden.readings), 10,
             "start", "#666666");
    return InlineSvg(svg.Finish());
}

// Batch means of the reference-point error in log order on the shared axes,
// limits of three standard errors of a batch mean about the station's mean,
// its alarms marked where their shifts began.
std::string controlChart(const StationRow& r, const Scales& sc) {
    const double w = 380, h = 190, left = 46, top = 28, pw = 322, ph = 124;
    SvgWriter svg(static_cast<int>(w), static_cast<int>(h));
    const StationStats& s = *r.stats;
    smallFrame(svg, left, top, pw, ph, s.name, "reference-point error", r.flagged);
    if (s.chart.empty())
        return InlineSvg(svg.Finish());
    const double units = static_cast<double>(std::max(1L, sc.controlUnits));
    const double perPoint =
        static_cast<double>(std::max(1L, s.units)) / static_cast<double>(s.chart.size());
    const double mean = s.reference.mean;
    const double limit = 3 * s.reference.Sd() / std::sqrt(std::max(1.0, perPoint));
    const double lo = sc.controlLo, hi = sc.controlHi;
    auto xAt = [&](double u) { return left + u / units * pw; };
    auto yAt = [&](double v) { return top + ph - (v - lo) / (hi - lo) * ph; };
    svg.Line(left, yAt(mean), left + pw, yAt(mean), "#888888", 1, " stroke-dasharray=\"3,3\"");
    for (double v : {mean + limit, mean - limit})
        svg.Line(left, yAt(v), left + pw, yAt(v), "#c08080", 1, " stroke-dasharray=\"6,3\"");
    std::vector<std::pair<double, double>> line;
    for (const ChartPoint& p : s.chart)
        line.emplace_back(xAt(p.firstUnit + p.units / 2.0), yAt(p.sum / std::max(1L, p.units)));
    svg.Polyline(line, "#2060c0", 1.3);
    svg.Text(left - 4, yAt(hi) + 9, FormatNumber("%.0f", hi), 10, "end");
    svg.Text(left - 4, yAt(lo), FormatNumber("%.0f", lo), 10, "end");
    svg.Text(left, top + ph + 14, "unit 1", 10, "start", "#444444");
    svg.Text(left + pw, top + ph + 14, "unit " + std::to_string(sc.controlUnits), 10, "end",
             "#444444");
    svg.Text(left, top + ph + 30,
             "Hz; mean " + FormatNumber("%.1f", mean) + ", \xc2\xb1" + "3 se of " +
                 FormatNumber("%.0f", perPoint) + " units",
             10, "start", "#666666");
    for (const DriftAlarm& d : s.alarms) {
        const double x = xAt(static_cast<double>(d.unit));
        svg.Line(x, top, x, top + ph, "#d02020", 1.5, " stroke-dasharray=\"3,2\"");
        svg.Text(x, top + 9, "\xe2\x96\xbc", 10, "middle", "#d02020");
        const bool right = x < left + pw * 0.7;
        svg.Text(right ? x + 4 : x - 4, top + 20,
                 "alarm " + FormatNumber("%+.0f", d.shiftHz) + " Hz", 10, right ? "start" : "end",
                 "#d02020", "bold");
    }
    return InlineSvg(svg.Finish());
}

// Per-shift day ticks: at most about eight labelled dates across the axis.
void dayTicks(SvgWriter& svg, TimeMs from, TimeMs to, double left, double pw, double base) {
    const long long firstDay = (from + kMsPerDay - 1) / kMsPerDay, lastDay = to / kMsPerDay;
    const long long step = std::max(1LL, (lastDay - firstDay + 1) / 8);
    const double span = static_cast<double>(std::max<TimeMs>(1, to - from));
    for (long long day = firstDay; day <= lastDay; day += step) {
        const double x = left + static_cast<double>(day * kMsPerDay - from) / span * pw;
        svg.Line(x, base, x, base + 4, "#666666", 1);
        svg.Text(x, base + 16, FormatDate(day * kMsPerDay).substr(5), 10, "middle", "#444444");
    }
}

// The line's yield and first-pass yield shift by shift.
std::string yieldChart(const LineAnalysis& a) {
    std::vector<const ShiftRow*> rows;
    for (const ShiftRow& row : a.shifts)
        if (row.station < 0 && row.units > 0)
            rows.push_back(&row);
    const double w = 1000, h = 230, left = 56, top = 34, pw = 900, ph = 150;
    SvgWriter svg(static_cast<int>(w), static_cast<int>(h));
    svg.Text(10, 18, "The line's yield and first-pass yield by shift (%)", 13, "start", "#111111",
             "bold");
    if (rows.empty())
        return InlineSvg(svg.Finish());
    double lowest = 100;
    for (const ShiftRow* row : rows) {
        lowest = std::min(lowest, percent(row->passed, row->units));
        if (row->firstTests > 0)
            lowest = std::min(lowest, percent(row->firstPassed, row->firstTests));
    }
    const double lo = std::max(0.0, std::floor((lowest - 0.5) / 5) * 5), hi = 100;
    const TimeMs from = ShiftStart(rows.front()->shift), to = ShiftStart(rows.back()->shift);
    const double span = static_cast<double>(std::max<TimeMs>(1, to - from));
    auto xAt = [&](long long shift) {
        return left + static_cast<double>(ShiftStart(shift) - from) / span * pw;
    };
    auto yAt = [&](double v) { return top + ph - (v - lo) / (hi - lo) * ph; };
    svg.Rect(left, top, pw, ph, "#fafafa", "#bbbbbb");
    // Ticks at whole steps of 1, 2, 5, 10 or 20 %, no more than six.
    double step = 1;
    for (double s : {1.0, 2.0, 5.0, 10.0, 20.0}) {
        step = s;
        if ((hi - lo) / s <= 5)
            break;
    }
    for (double v = hi; v >= lo - 1e-9; v -= step) {
        svg.Line(left, yAt(v), left + pw, yAt(v), "#e4e4e4", 1);
        svg.Text(left - 5, yAt(v) + 4, FormatNumber("%.0f", v), 10, "end");
    }
    dayTicks(svg, from, to, left, pw, top + ph);
    std::vector<std::pair<double, double>> yield, fpy;
    for (const ShiftRow* row : rows) {
        yield.emplace_back(xAt(row->shift), yAt(percent(row->passed, row->units)));
        if (row->firstTests > 0)
            fpy.emplace_back(xAt(row->shift), yAt(percent(row->firstPassed, row->firstTests)));
    }
    svg.Polyline(yield, "#2060c0", 1.6);
    svg.Polyline(fpy, "#c05000", 1.6, " stroke-dasharray=\"5,3\"");
    if (rows.size() <= 200) {
        for (const auto& pt : yield)
            svg.Circle(pt.first, pt.second, 2.2, "#2060c0", "none");
        for (const auto& pt : fpy)
            svg.Rect(pt.first - 2, pt.second - 2, 4, 4, "#c05000", "none");
    }
    // The legend says which line is which by its stroke and mark as well as its colour.
    const double ly = top - 10;
    svg.Line(left + pw - 330, ly, left + pw - 300, ly, "#2060c0", 1.6);
    svg.Circle(left + pw - 315, ly, 2.2, "#2060c0", "none");
    svg.Text(left + pw - 295, ly + 4, "yield (all tests)", 11, "start");
    svg.Line(left + pw - 170, ly, left + pw - 140, ly, "#c05000", 1.6, " stroke-dasharray=\"5,3\"");
    svg.Rect(left + pw - 157, ly - 2, 4, 4, "#c05000", "none");
    svg.Text(left + pw - 135, ly + 4, "first-pass yield", 11, "start");
    return InlineSvg(svg.Finish());
}

// One station's bias shift by shift with its standard errors, on the shared axes.
std::string shiftBiasChart(const LineAnalysis& a, const StationRow& r, int station,
                           const Scales& sc) {
    const double w = 280, h = 130, left = 40, top = 24, pw = 232, ph = 80;
    SvgWriter svg(static_cast<int>(w), static_cast<int>(h));
    const StationStats& s = *r.stats;
    svg.Rect(left, top, pw, ph, "#fafafa", r.flagged ? "#b00020" : "#bbbbbb",
             r.flagged ? " stroke-width=\"2.5\"" : "");
    svg.Text(4, 15, r.flagged ? s.name + "  \xe2\x96\xb2 BIASED" : s.name, 12, "start",
             r.flagged ? "#b00020" : "#111111", "bold");
    const double span = static_cast<double>(std::max(1LL, sc.lastShift - sc.firstShift));
    auto xAt = [&](long long shift) {
        return left + 3 + static_cast<double>(shift - sc.firstShift) / span * (pw - 6);
    };
    auto yAt = [&](double hz) {
        return top + ph / 2 -
               std::max(-sc.shiftHz, std::min(sc.shiftHz, hz)) / sc.shiftHz * (ph / 2);
    };
    const double lim = limitHz(a, s);
    if (lim > 0)
        svg.Rect(left, yAt(lim), pw, yAt(-lim) - yAt(lim), "#e8f3e8", "none");
    svg.Line(left, yAt(0), left + pw, yAt(0), "#999999", 0.8);
    std::vector<std::pair<double, double>> line;
    for (const ShiftRow& row : a.shifts) {
        if (row.station != station || !row.bias.known)
            continue;
        const double x = xAt(row.shift);
        svg.Line(x, yAt(row.bias.hz - row.bias.seHz), x, yAt(row.bias.hz + row.bias.seHz),
                 "#9ab0d8", 1);
        line.emplace_back(x, yAt(row.bias.hz));
    }
    svg.Polyline(line, "#1f3f7a", 1.2);
    svg.Text(left - 3, top + 9, FormatNumber("%+.0f", sc.shiftHz), 9, "end");
    svg.Text(left - 3, yAt(0) + 3, "0", 9, "end");
    svg.Text(left - 3, top + ph, FormatNumber("%+.0f", -sc.shiftHz), 9, "end");
    svg.Text(left, top + ph + 13, FormatDate(ShiftStart(sc.firstShift)).substr(5), 9, "start",
             "#444444");
    svg.Text(left + pw, top + ph + 13, FormatDate(ShiftStart(sc.lastShift)).substr(5), 9, "end",
             "#444444");
    return InlineSvg(svg.Finish());
}

std::string stationName(const LineAnalysis& a, int station) {
    return station >= 0 && static_cast<size_t>(station) < a.stations.size()
               ? EscapeMarkup(a.stations[static_cast<size_t>(station)].name)
               : std::string("line");
}

const char* kCapabilityHead =
    "<table><tr><th class=\"l\">chip</th><th class=\"l\">value</th>"
    "<th class=\"l\">station</th><th>window</th><th>mean</th><th>sd within</th>"
    "<th>sd overall</th><th>Cp</th><th>Cpk</th><th>Ppk</th><th>expected %</th>"
    "<th>counted %</th><th class=\"l\">level</th></tr>\n";

// The capability rows of one station or the line; the line's also gives its histograms.
std::string capabilityRows(const StationStats& s, const std::string* station, std::string* figures,
                           std::string* worst) {
    std::string out;
    bool groupStarts = true; // the first row of a station's
    double lowest = 0;
    bool any = false;
    for (sim::Chip chip : AllChips()) {
        if (ChipIndex(chip) >= s.values.size())
            continue;
        for (int v = 0; v < kValues; ++v) {
            const Capability& c = s.values[ChipIndex(chip)][static_cast<size_t>(v)];
            if (!c.known || c.moments.n == 0)
                continue;
            std::string level = c.Level();
            std::string cls = level == "capable"    ? "capable"
                              : level == "marginal" ? "marginal"
                                                    : "not";
            out += std::string(groupStarts ? "<tr class=\"first\">" : "<tr>") + "<td class=\"l\">" +
                   ChipLabel(chip) + "</td><td class=\"l\">" + ValueName(v) +
                   "</td><td class=\"l\">" + (station ? EscapeMarkup(*station) : "line") +
                   "</td><td>" + FormatNumber("%g", c.low) + ".." + FormatNumber("%g", c.high) +
                   "</td><td>" + f("%.3f", c.moments.mean) + "</td><td>" +
                   f("%.3f", c.ranges.SdWithin()) + "</td><td>" + f("%.3f", c.moments.Sd()) +
                   "</td><td>" + f("%.2f", c.Cp()) + "</td><td>" + f("%.2f", c.Cpk()) +
                   "</td><td>" + f("%.2f", c.Ppk()) + "</td><td>" +
                   f("%.4f", 100 * c.ExpectedOutside()) + "</td><td>" +
                   f("%.4f", percent(c.outside, c.moments.n)) + "</td><td class=\"l " + cls +
                   "\">" + level + "</td></tr>\n";
            groupStarts = false;
            const double cpk = c.Cpk();
            if (!std::isnan(cpk) && (!any || cpk < lowest)) {
                lowest = cpk;
                any = true;
                if (worst)
                    *worst = "lowest Cpk " + FormatNumber("%.2f", cpk) + " (" + ChipLabel(chip) +
                             " " + ValueName(v) + ")";
            }
            if (figures)
                *figures +=
                    "<div>" +
                    histogram(std::string(ChipLabel(chip)) + " " + ValueName(v) + ", window " +
                                  FormatNumber("%g", c.low) + ".." + FormatNumber("%g", c.high),
                              c, v != kSlopeValue) +
                    "</div>\n";
        }
    }
    return out;
}

std::string failureTable(const std::map<std::string, FailureCount>& failures) {
    std::string out = "<table><tr><th>units</th><th class=\"l\">why</th></tr>\n";
    for (const auto& kv : failures)
        out += "<tr><td>" + std::to_string(kv.second.count) + "</td><td class=\"l\">" +
               EscapeMarkup(kv.first) + "</td></tr>\n";
    return out + "</table>\n";
}

} // namespace

std::string InlineSvg(const std::string& svg) {
    size_t at = svg.find("<svg");
    return at == std::string::npos ? svg : svg.substr(at);
}

std::string AnalysisPage(const LineAnalysis& a, const std::string& sweepFigure) {
    const StationStats& l = a.line;
    const Scales sc = sharedScales(a);
    std::string p = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                    "<title>Line analysis</title>";
    p += kStyle;
    p += "</head><body>\n<h1>Line analysis: " + std::to_string(a.stations.size()) + " station" +
         (a.stations.size() == 1 ? "" : "s") + ", " + std::to_string(l.units) + " units</h1>\n";
    p += "<p class=\"note\">Configuration: " + EscapeMarkup(a.config) + ". " +
         std::to_string(l.lines) + " log lines, " + std::to_string(l.unread) + " unread.";
    if (a.hasTimes && !a.shifts.empty())
        p += " From " + shortTime(ShiftStart(a.shifts.front().shift)) + " to the shift of " +
             shortTime(ShiftStart(a.shifts.back().shift)) + ".";
    p += "</p>\n";
    std::string stopped;
    for (const StationStats& s : a.stations)
        if (s.Incomplete())
            stopped += "<li>" + EscapeMarkup(s.incomplete.Summary()) + "</li>\n";
    if (!stopped.empty())
        p += "<div id=\"incomplete\" class=\"box\"><b>Incomplete input:</b> these logs stopped "
             "early; what was read before the stop is analysed.<ul style=\"margin:4px 0\">\n" +
             stopped + "</ul></div>\n";
    if (!a.hasSerials || !a.hasTimes) {
        p += "<div id=\"single-units\" class=\"box notice\"><b>";
        p += !a.hasSerials && !a.hasTimes ? "The logs give no serials and no times."
             : !a.hasSerials              ? "The logs give no serials."
                                          : "The logs give no times.";
        p += "</b> ";
        if (!a.hasSerials)
            p += "No unit is known to have been read on two stations and no golden unit is "
                 "known, so each station's bias rests on single units, each carrying its own "
                 "crystal's offset, against the rest of the line. ";
        if (!a.hasTimes)
            p += "There are no shifts, no aging over time and no alarm times; the charts run "
                 "in log order.";
        p += "</div>\n";
    }

    // --- the overview: a station a row -----------------------------------------
    long alarms = 0, flagged = 0;
    for (const StationRow& r : a.rows) {
        alarms += static_cast<long>(r.stats->alarms.size());
        flagged += r.flagged ? 1 : 0;
    }
    p += "<h2 id=\"stations\">Stations</h2>\n<p>Yield <b id=\"yield\">" +
         FormatNumber("%.2f", percent(l.passed, l.units)) + " %</b> (" + std::to_string(l.passed) +
         " of " + std::to_string(l.units) + " passed). " + std::to_string(flagged) + " station" +
         (flagged == 1 ? "" : "s") + " biased, " + std::to_string(alarms) + " drift alarm" +
         (alarms == 1 ? "" : "s") + ".";
    if (a.absolute)
        p += " Biases are absolute: golden units' reference readings anchor them.";
    p += "</p>\n<table id=\"overview\"><tr><th class=\"l\">station</th><th>units</th>"
         "<th>yield %</th><th>bias Hz &plusmn; se</th><th class=\"ppm\">bias ppm &plusmn; se</th>"
         "<th class=\"axis\">bias &plusmn; 2 se, ppm<br>" +
         intervalAxis(a, sc) +
         "</th><th class=\"l\">method</th><th>drift Hz/day</th><th>limit date</th>"
         "<th class=\"l\">alarms, latest</th><th>bias by shift</th><th class=\"l\">tester</th>"
         "</tr>\n";
    for (const StationRow& r : a.rows) {
        const StationStats& s = *r.stats;
        const int index = stationIndex(a, r);
        std::string alarmCell = std::to_string(s.alarms.size());
        if (!s.alarms.empty()) {
            const DriftAlarm& d = s.alarms.back();
            alarmCell = "<b>" + alarmCell + "</b>: " +
                        (d.time != kNoTime ? shortTime(d.time).substr(5)
                                           : "from unit " + std::to_string(d.unit)) +
                        ", " + FormatNumber("%+.0f", d.shiftHz) + " Hz";
        }
        std::string drift = "-", limitDate = "-";
        if (r.trend.known) {
            drift = plusMinus("%+.2f", r.trend.hzPerDay, r.trend.seHzPerDay);
            limitDate = r.trend.limitDate != kNoTime
                            ? "<b>" + FormatDate(r.trend.limitDate) + "</b>"
                            : std::string("none ahead");
        }
        p += std::string(r.flagged ? "<tr class=\"flagged\">" : "<tr>") + "<td class=\"l\">" +
             EscapeMarkup(s.name) + "</td><td>" + std::to_string(s.units) + "</td><td>" +
             FormatNumber("%.2f", percent(s.passed, s.units)) + "</td><td>" +
             plusMinus("%+.1f", r.biasHz, r.seHz) + "</td><td class=\"ppm\">" +
             plusMinus("%+.4f", r.biasPpm, r.sePpm) + "</td><td class=\"axis\">" +
             intervalMark(a, r, sc) + "</td><td class=\"l\">" +
             (r.method.empty() ? std::string("-") : EscapeMarkup(r.method)) + "</td><td>" + drift +
             "</td><td>" + limitDate + "</td><td class=\"l\">" + alarmCell + "</td><td>" +
             (index >= 0 ? sparkline(a, index, sc) : std::string("-")) + "</td><td class=\"l" +
             (r.flagged ? " flag\">BIASED" : "\">ok") + "</td></tr>\n";
    }
    p += "</table>\n<p class=\"note\">Bias: each station's error at the reference point (the "
         "first PFER point)";
    p += a.absolute ? " against the golden units' reference readings"
                    : " against the rest of the line";
    p += ", named beyond " + FormatNumber("%.3f", a.biasLimitPpm) +
         " ppm by two standard errors. Green band: &plusmn; the limit. Method: the readings the "
         "bias rests on (golden units, pairs of one serial on two stations, single units). "
         "Drift: the bias's slope since its last change; limit date: where it crosses the "
         "limit.";
    if (sc.shifts)
        p += " Bias by shift: the station's bias per shift, all on one scale of &plusmn;" +
             FormatNumber("%.0f", sc.shiftHz) + " Hz.";
    p += "</p>\n";

    // --- the charts: a small one per station, on shared scales -------------------
    p += "<h2 id=\"drift\">Drift</h2>\n<p class=\"note\">";
    if (sc.golden)
        p += "Golden units: each reading's error (Hz) over time, from " + FormatDate(sc.from) +
             " to " + FormatDate(sc.to) + ", on one scale of &plusmn;" +
             FormatNumber("%.0f", sc.goldenHz) +
             " Hz; orange: the aging trend, dashed on to where it crosses the limit (green "
             "dashed). ";
    if (sc.control)
        p += "Without golden units: batch means of the reference-point error in log order "
             "(" +
             FormatNumber("%.0f", sc.controlLo) + " to " + FormatNumber("%.0f", sc.controlHi) +
             " Hz on every chart), dashed: three standard errors. ";
    p += "CUSUM k = " + FormatNumber("%.2f", a.driftSlack) +
         " sd, h = " + FormatNumber("%.0f", a.driftLimit) +
         " sd; \xe2\x96\xbc and red dashes: where an "
         "alarm's shift began.</p>\n<div class=\"grid\">\n";
    for (const StationRow& r : a.rows)
        p += std::string("<div class=\"chart") + (r.flagged ? " flagged" : "") + "\">" +
             (hasGoldenChart(r) ? goldenChart(a, r, sc) : controlChart(r, sc)) + "</div>\n";
    p += "</div>\n";
    std::string alarmList;
    for (const StationStats& s : a.stations)
        for (const DriftAlarm& d : s.alarms) {
            const double mhz = s.CarrierMhz();
            alarmList += "<li><b>" + EscapeMarkup(s.name) + "</b> alarm: from unit " +
                         std::to_string(d.unit) + " (line " + std::to_string(d.line) + ")";
            if (d.time != kNoTime)
                alarmList += ", " + shortTime(d.time);
            if (!d.serial.empty())
                alarmList += ", serial " + EscapeMarkup(d.serial);
            alarmList += ", the tester reads " + FormatNumber("%.1f", d.shiftHz) + " Hz (" +
                         FormatNumber("%.4f", mhz > 0 ? d.shiftHz / mhz : 0.0) +
                         " ppm) further off";
            if (!d.method.empty())
                alarmList += " (" + EscapeMarkup(d.method) + ")";
            alarmList += "; alarmed at unit " + std::to_string(d.raised) + "</li>\n";
        }
    if (alarms == 0)
        p += "<p>No alarm.</p>\n";
    else
        p += std::string(alarms > 8 ? "<details>" : "<details open>") + "<summary>" +
             std::to_string(alarms) + " alarm" + (alarms == 1 ? "" : "s") +
             "</summary><ul id=\"alarms\">\n" + alarmList + "</ul></details>\n";

    // --- shifts --------------------------------------------------------------------
    if (!a.shifts.empty()) {
        p += "<h2 id=\"shifts\">Shifts</h2>\n<div class=\"figs\"><div>" + yieldChart(a) +
             "</div></div>\n";
        if (sc.shifts) {
            p += "<p class=\"note\">Each station's bias by shift (Hz) with &plusmn; one standard "
                 "error, on one scale; green band: &plusmn; the limit.</p>\n"
                 "<div class=\"grid small\">\n";
            for (const StationRow& r : a.rows) {
                const int index = stationIndex(a, r);
                if (index >= 0)
                    p += "<div>" + shiftBiasChart(a, r, index, sc) + "</div>\n";
            }
            p += "</div>\n";
        }
        p += "<details><summary>The shifts in a table (" + std::to_string(a.shifts.size()) +
             " rows)</summary>\n<table id=\"shift-table\"><tr><th class=\"l\">shift start</th>"
             "<th class=\"l\">kind</th><th class=\"l\">station</th><th>units</th><th>yield %</th>"
             "<th>FPY %</th><th>bias Hz &plusmn; se</th><th class=\"l\">method</th></tr>\n";
        for (const ShiftRow& row : a.shifts)
            p +=
                std::string(row.station < 0 ? "<tr class=\"first\">" : "<tr>") +
                "<td class=\"l\">" + shortTime(ShiftStart(row.shift)) + "</td><td class=\"l\">" +
                ShiftName(row.shift) + "</td><td class=\"l\">" + stationName(a, row.station) +
                "</td><td>" + std::to_string(row.units) + "</td><td>" +
                (row.units > 0 ? FormatNumber("%.2f", percent(row.passed, row.units)) : "-") +
                "</td><td>" +
                (row.firstTests > 0 ? FormatNumber("%.2f", percent(row.firstPassed, row.firstTests))
                                    : "-") +
                "</td><td>" +
                (row.bias.known ? plusMinus("%+.1f", row.bias.hz, row.bias.seHz) : "-") +
                "</td><td class=\"l\">" +
                (row.method.empty() ? std::string("-") : EscapeMarkup(row.method)) + "</td></tr>\n";
        p += "</table></details>\n";
    }

    // --- details ---------------------------------------------------------------
    if (!l.failures.empty())
        p += "<h2 id=\"failures\">Failures</h2>\n<p class=\"note\">The line's; each station's "
             "under its name below.</p>\n" +
             failureTable(l.failures);
    std::string figures;
    p += "<h2 id=\"capability\">Capability</h2>\n" + std::string(kCapabilityHead) +
         capabilityRows(l, nullptr, &figures, nullptr) +
         "</table>\n<p class=\"note\">Levels by Cpk: below 1.33 not capable, 1.33 to 1.67 "
         "marginal, 1.67 and above capable. Expected: the fraction outside the window from the "
         "mean and the overall deviation of a normal.</p>\n";
    p += "<h2 id=\"histograms\">Histograms</h2>\n<p class=\"note\">Green band: the window; blue "
         "bars inside it, red outside; orange: the fitted normal.</p>\n<div class=\"figs "
         "hist\">\n" +
         figures + "</div>\n";
    if (a.stations.size() > 1 || !stopped.empty() || l.unread > 0) {
        p += "<h2 id=\"per-station\">Each station</h2>\n<p class=\"note\">Its capability, "
             "failures, unread lines and where its log stopped, under its name.</p>\n";
        for (const StationStats& s : a.stations) {
            std::string worst;
            const std::string rows =
                a.stations.size() > 1 ? capabilityRows(s, &s.name, nullptr, &worst) : std::string();
            long failed = 0;
            for (const auto& kv : s.failures)
                failed += kv.second.count;
            std::string summary = EscapeMarkup(s.name) + ": " + std::to_string(s.units) +
                                  " units, " + std::to_string(failed) + " failed";
            if (!worst.empty())
                summary += ", " + worst;
            if (s.unread > 0)
                summary += ", " + std::to_string(s.unread) + " unread";
            if (s.Incomplete())
                summary += ", <b>stopped early</b>";
            p += "<details class=\"station\"><summary>" + summary + "</summary>\n";
            if (s.Incomplete())
                p += "<p class=\"flag\">" + EscapeMarkup(s.incomplete.Summary()) + "</p>\n";
            if (!s.failures.empty())
                p += failureTable(s.failures);
            if (!rows.empty())
                p += std::string(kCapabilityHead) + rows + "</table>\n";
            if (!s.unreadExamples.empty()) {
                p += "<p>Unread lines, the first " + std::to_string(s.unreadExamples.size()) +
                     " of " + std::to_string(s.unread) + ":</p><ul class=\"unread\">\n";
                for (const UnreadLine& u : s.unreadExamples)
                    p += "<li>line " + std::to_string(u.number) + ": <code>" +
                         EscapeMarkup(u.text) + "</code></li>\n";
                p += "</ul>\n";
            }
            p += "</details>\n";
        }
    }
    if (!sweepFigure.empty())
        p += "<h2 id=\"sweep\">Sweep</h2>\n<p class=\"note\">The logs replayed under every value: "
             "yield against the value, or a heat map of yield over the grid of both keys.</p>\n"
             "<div class=\"figs\"><div>" +
             InlineSvg(sweepFigure) + "</div></div>\n";
    p += "</body></html>\n";
    return p;
}

} // namespace station
