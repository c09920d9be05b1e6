// A replay and a sweep as tables, and a sweep as an SVG line plot or heat map.
#include "reports/ReplayModel.h"
#include "reports/SvgWriter.h"
#include "support/StationChips.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace station {

namespace {

std::string FormatYield(double y) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%.1f", y);
    return buf;
}

void printChange(FILE* out, const char* name, const ChangeCounts& c) {
    if (c.units == 0) {
        std::fprintf(out, "%-10s no unit passed in both\n", name);
        return;
    }
    std::fprintf(out,
                 "%-10s %ld units passing in both: %ld unchanged, mean %+.2f, sd %.2f, "
                 "range %+d .. %+d\n",
                 name, c.units, c.unchanged, c.Mean(), c.Sd(), c.min, c.max);
    // The changes in a few classes: far below, each step near zero, far above.
    long below = 0, above = 0;
    std::string row;
    for (const auto& kv : c.counts) {
        if (kv.first < -3)
            below += kv.second;
        else if (kv.first > 3)
            above += kv.second;
    }
    if (below > 0)
        row += "  below -3: " + std::to_string(below);
    for (int d = -3; d <= 3; ++d) {
        auto it = c.counts.find(d);
        if (it != c.counts.end())
            row += "  " + std::string(d > 0 ? "+" : "") + std::to_string(d) + ": " +
                   std::to_string(it->second);
    }
    if (above > 0)
        row += "  above +3: " + std::to_string(above);
    std::fprintf(out, "           change%s\n", row.c_str());
}

} // namespace

void PrintLogSummary(FILE* out, const LogReport& r) {
    std::fprintf(out, "Log        %s: %ld lines, %ld of the library, %ld not readable\n",
                 r.path.c_str(), r.lines, r.libraryLines, r.unread);
    for (const IncompleteLog& l : r.incomplete)
        std::fprintf(out, "Incomplete %s\n", l.Summary().c_str());
    for (const UnreadLine& u : r.unreadExamples)
        std::fprintf(out, "           line %ld not read: %s\n", u.number, u.text.c_str());
    std::string chips;
    for (const auto& c : r.perChip)
        chips += std::string(chips.empty() ? "" : ", ") + c.first + " " + std::to_string(c.second);
    std::fprintf(out, "Units      %ld%s%s%s\n", r.units, chips.empty() ? "" : " (", chips.c_str(),
                 chips.empty() ? "" : ")");
    std::string stations;
    for (const auto& st : r.perStation)
        stations +=
            std::string(stations.empty() ? "" : ", ") + st.first + " " + std::to_string(st.second);
    if (!stations.empty())
        std::fprintf(out, "Stations   %s\n", stations.c_str());
    std::fprintf(out,
                 "Fit        %ld fitted (largest residual %.1f Hz), %ld with too few points, "
                 "%ld poor fits (residual over %.0f Hz)\n",
                 r.fitted, r.worstResidualHz, r.tooFewPoints, r.poorFits, kPoorFitHz);
    if (r.assumedStep > 0)
        std::fprintf(out,
                     "           %ld units never moved their CDAC: the chip's nominal CDAC step "
                     "stands in for theirs\n",
                     r.assumedStep);
    if (!r.apart.empty())
        std::fprintf(out, "Apart      units not replayed: their logged verdicts stand in both "
                          "yields\n");
    for (const LogReport::Apart& g : r.apart)
        std::fprintf(out, "           %ld %s (first: unit %ld, line %ld)\n", g.count, g.why.c_str(),
                     g.firstUnit, g.firstLine);
}

void PrintReplay(FILE* out, const ReplayOutcome& o) {
    std::fprintf(out, "Config     %s\n", o.config.c_str());
    std::fprintf(out, "Yield      log %ld of %ld (%.2f %%), replay %ld of %ld (%.2f %%)\n",
                 o.logPassed, o.units, o.YieldBefore(), o.replayPassed, o.units, o.YieldAfter());
    std::fprintf(out, "Changed    %ld units change verdict\n", o.changed);
    for (const auto& kv : o.newFailures)
        std::fprintf(out, "           %ld pass in the log, fail now: %s\n", kv.second,
                     kv.first.c_str());
    size_t listed = std::min<size_t>(o.changedUnits.size(), 20);
    for (size_t i = 0; i < listed; ++i) {
        const ChangedUnit& c = o.changedUnits[i];
        std::fprintf(out, "           unit %ld (line %ld) %s %s -> %s: %s\n", c.unit, c.line,
                     ChipLabel(c.chip), c.logPassed ? "PASS" : "FAIL",
                     c.replayPassed ? "PASS" : "FAIL", c.reason.c_str());
    }
    if (static_cast<long>(listed) < o.changed)
        std::fprintf(out, "           ... %ld more\n", o.changed - static_cast<long>(listed));
    printChange(out, "Flash CAFC", o.cafc);
    printChange(out, "Flash CDAC", o.cdac);
    long replayed = o.timed;
    if (replayed > 0) {
        std::fprintf(out, "Points     %.2f PFER points per unit in the log, %.2f in the replay\n",
                     static_cast<double>(o.logPoints) / static_cast<double>(replayed),
                     static_cast<double>(o.replayPoints) / static_cast<double>(replayed));
        std::fprintf(out,
                     "Station    %.0f ms per unit in the replay (min %.0f, max %.0f), virtual "
                     "clock\n",
                     o.timeSumMs / static_cast<double>(replayed), o.timeMinMs, o.timeMaxMs);
    }
}

void PrintSweep(FILE* out, const SweepSpec& sweep, const std::vector<double>& values,
                const std::vector<ReplayOutcome>& outcomes, const double* current) {
    std::fprintf(out, "Sweep      [%s] %s from %s to %s step %s, %s\n", sweep.section.c_str(),
                 sweep.key.c_str(), SweepValueText(sweep.from).c_str(),
                 SweepValueText(sweep.to).c_str(), SweepValueText(sweep.step).c_str(),
                 current != nullptr ? ("now " + SweepValueText(*current)).c_str()
                                    : "not set in the configuration (the action's default)");
    for (double v : values) {
        if (v != std::floor(v)) {
            // Every key of the actions is read as a whole number.
            std::fprintf(out, "           the actions read whole numbers: %s is read as %s\n",
                         SweepValueText(v).c_str(), SweepValueText(std::trunc(v)).c_str());
            break;
        }
    }
    if (outcomes.empty())
        return;
    std::fprintf(out, "Yield      log %.2f %% (%ld of %ld)\n", outcomes[0].YieldBefore(),
                 outcomes[0].logPassed, outcomes[0].units);
    std::fprintf(out, "  %12s  %8s  %8s  %8s  %11s  %9s\n", "value", "yield %", "passed", "changed",
                 "CAFC moved", "ms/unit");
    for (size_t i = 0; i < values.size() && i < outcomes.size(); ++i) {
        const ReplayOutcome& o = outcomes[i];
        bool now = current != nullptr && std::fabs(*current - values[i]) < 1e-9;
        std::fprintf(out, "%s %12s  %8.2f  %8ld  %8ld  %11ld  %9.0f\n", now ? "*" : " ",
                     SweepValueText(values[i]).c_str(), o.YieldAfter(), o.replayPassed, o.changed,
                     o.cafc.units - o.cafc.unchanged,
                     o.timed > 0 ? o.timeSumMs / static_cast<double>(o.timed) : 0.0);
    }
    if (current != nullptr)
        std::fprintf(out, "           * the configuration's own value\n");
}

std::string SweepSvg(const SweepSpec& sweep, const std::vector<double>& values,
                     const std::vector<ReplayOutcome>& outcomes, const double* current,
                     const std::string& title) {
    const double left = 80, top = 90, width = 600, height = 300;
    const double base = top + height;
    SvgWriter svg(720, 470);
    svg.Text(20, 30, title, title.size() > 64 ? 14 : 18, "start", "#111111", "bold");
    std::string sub = "Yield against [" + sweep.section + "] " + sweep.key +
                      ", each value a replay of the log; grey: the log's yield";
    svg.Text(20, 52, sub, 12, "start", "#555555");

    double xLow = sweep.from, xHigh = sweep.to;
    if (current != nullptr) {
        xLow = std::min(xLow, *current);
        xHigh = std::max(xHigh, *current);
    }
    if (xHigh <= xLow)
        xHigh = xLow + 1;
    // The yield axis from the lowest yield shown, in round steps.
    double lowest = outcomes.empty() ? 0 : outcomes[0].YieldBefore();
    for (const ReplayOutcome& o : outcomes)
        lowest = std::min(lowest, o.YieldAfter());
    const double span = 100 - lowest;
    const double tick = span > 50 ? 20 : span > 20 ? 10 : span > 8 ? 5 : span > 4 ? 2 : 1;
    const double yLow = std::max(0.0, std::min(100 - tick, std::floor(lowest / tick) * tick));
    const double yHigh = 100;
    auto xAt = [&](double v) { return left + (v - xLow) / (xHigh - xLow) * width; };
    auto yAt = [&](double y) { return base - (y - yLow) / (yHigh - yLow) * height; };

    svg.Rect(left, top, width, height, "#fafafa", "#999999");
    for (double y = yLow; y <= yHigh + 1e-9; y += tick) {
        svg.Line(left, yAt(y), left + width, yAt(y), "#e0e0e0", 1);
        svg.Text(left - 8, yAt(y) + 4, SweepValueText(y) + " %", 11, "end");
    }
    size_t labels = values.size();
    size_t every = labels > 10 ? (labels + 9) / 10 : 1;
    for (size_t i = 0; i < values.size(); i += every) {
        svg.Line(xAt(values[i]), base, xAt(values[i]), base + 5, "#666666", 1);
        svg.Text(xAt(values[i]), base + 18, SweepValueText(values[i]), 11, "middle");
    }
    svg.Text(left + width / 2, base + 42, sweep.key, 13, "middle", "#222222", "bold");
    svg.Text(left - 8, top - 12, "yield", 13, "start", "#222222", "bold");

    if (!outcomes.empty()) {
        double logYield = outcomes[0].YieldBefore();
        svg.Line(left, yAt(logYield), left + width, yAt(logYield), "#888888", 1.5,
                 " stroke-dasharray=\"2,3\"");
    }
    if (current != nullptr) {
        svg.Line(xAt(*current), top, xAt(*current), base, "#d04020", 1.5,
                 " stroke-dasharray=\"6,4\"");
        // The label where the curve is not: low when the yield there is high.
        double there = 0, nearest = 0;
        for (size_t i = 0; i < values.size() && i < outcomes.size(); ++i) {
            double d = std::fabs(values[i] - *current);
            if (i == 0 || d < nearest) {
                nearest = d;
                there = outcomes[i].YieldAfter();
            }
        }
        double labelY = yAt(there) < top + height / 2 ? base - 10 : top + 16;
        svg.Text(xAt(*current) + 5, labelY, "now " + SweepValueText(*current), 12, "start",
                 "#d04020", "bold");
    }
    std::vector<std::pair<double, double>> line;
    for (size_t i = 0; i < values.size() && i < outcomes.size(); ++i)
        line.emplace_back(xAt(values[i]), yAt(outcomes[i].YieldAfter()));
    svg.Polyline(line, "#2060c0", 2);
    for (const auto& p : line)
        svg.Circle(p.first, p.second, 3.5, "#2060c0", "#ffffff");
    return svg.Finish();
}

namespace {

std::string keyText(const SweepSpec& s) {
    std::string text = "[" + s.section + "] " + s.key;
    if (s.current)
        text += " (now " + SweepValueText(*s.current) + ")";
    return text;
}

} // namespace

void PrintSweepGrid(FILE* out, const std::vector<SweepSpec>& sweeps,
                    const std::vector<std::vector<double>>& values,
                    const std::vector<ReplayOutcome>& outcomes) {
    std::fprintf(out, "Grid       yield %% of the replay: rows %s, columns %s\n",
                 keyText(sweeps[0]).c_str(), keyText(sweeps[1]).c_str());
    if (!outcomes.empty())
        std::fprintf(out, "           log %.2f %% (%ld of %ld)\n", outcomes[0].YieldBefore(),
                     outcomes[0].logPassed, outcomes[0].units);
    std::fprintf(out, "  %12s", "");
    for (double b : values[1])
        std::fprintf(out, " %8s", SweepValueText(b).c_str());
    std::fprintf(out, "\n");
    const size_t columns = values[1].size();
    for (size_t i = 0; i < values[0].size(); ++i) {
        std::fprintf(out, "  %12s", SweepValueText(values[0][i]).c_str());
        for (size_t j = 0; j < columns && i * columns + j < outcomes.size(); ++j)
            std::fprintf(out, " %8.2f", outcomes[i * columns + j].YieldAfter());
        std::fprintf(out, "\n");
    }
}

std::string SweepGridSvg(const std::vector<SweepSpec>& sweeps,
                         const std::vector<std::vector<double>>& values,
                         const std::vector<ReplayOutcome>& outcomes, const std::string& title) {
    const size_t rows = values[0].size(), columns = values[1].size();
    const double left = 120, top = 80, width = 560, height = 360;
    const double cw = width / static_cast<double>(columns), ch = height / static_cast<double>(rows);
    SvgWriter svg(760, 540);
    svg.Text(20, 30, title, title.size() > 64 ? 14 : 18, "start", "#111111", "bold");
    svg.Text(20, 52, "Yield of the replay for each pair of values (darker: lower)", 12, "start",
             "#555555");
    double lowest = 100;
    for (const ReplayOutcome& o : outcomes)
        lowest = std::min(lowest, o.YieldAfter());
    for (size_t i = 0; i < rows; ++i) {
        for (size_t j = 0; j < columns && i * columns + j < outcomes.size(); ++j) {
            double y = outcomes[i * columns + j].YieldAfter();
            double t = lowest < 100 ? (y - lowest) / (100 - lowest) : 1.0;
            // From dark red (lowest) to pale green (100 %).
            char fill[16];
            std::snprintf(fill, sizeof fill, "#%02x%02x%02x", static_cast<int>(150 + 80 * t),
                          static_cast<int>(40 + 200 * t), static_cast<int>(40 + 160 * t));
            double x = left + cw * static_cast<double>(j), yy = top + ch * static_cast<double>(i);
            svg.Rect(x, yy, cw, ch, fill, "#ffffff");
            if (cw > 34 && ch > 14)
                svg.Text(x + cw / 2, yy + ch / 2 + 4, FormatYield(y), 10, "middle",
                         t < 0.5 ? "#ffffff" : "#111111");
        }
        svg.Text(left - 8, top + ch * (static_cast<double>(i) + 0.5) + 4,
                 SweepValueText(values[0][i]), 11, "end");
    }
    for (size_t j = 0; j < columns; ++j)
        svg.Text(left + cw * (static_cast<double>(j) + 0.5), top + height + 16,
                 SweepValueText(values[1][j]), 11, "middle");
    svg.Text(left + width / 2, top + height + 40, keyText(sweeps[1]), 13, "middle", "#222222",
             "bold");
    svg.Text(20, top - 12, keyText(sweeps[0]), 13, "start", "#222222", "bold");
    return svg.Finish();
}

} // namespace station
