#include "replay/Sweep.h"

#include "commands/Options.h"
#include "reports/SvgWriter.h"
#include "platform/ini.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace station {

namespace {

constexpr size_t kMostValues = 1000;

std::string FormatYield(double y) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%.1f", y);
    return buf;
}

double sweepNumber(const std::string& what, const std::string& text) {
    return ParseNumber("--sweep " + what, text);
}

} // namespace

std::vector<double> SweepSpec::Values() const {
    std::vector<double> values;
    double n = std::floor((to - from) / step + 1e-9);
    for (long i = 0; i <= static_cast<long>(n); ++i)
        values.push_back(from + step * static_cast<double>(i));
    return values;
}

SweepSpec ParseSweep(const std::string& text) {
    const std::string form = " (write \"SECTION/KEY=FROM:TO:STEP\")";
    size_t slash = text.find('/');
    size_t equals = text.rfind('=');
    if (slash == std::string::npos || equals == std::string::npos || equals < slash)
        throw UsageError("--sweep needs a section, a key and a range, not '" + text + "'" + form);
    SweepSpec s;
    s.section = text.substr(0, slash);
    s.key = text.substr(slash + 1, equals - slash - 1);
    if (s.section.empty() || s.key.empty())
        throw UsageError("--sweep needs a section and a key, not '" + text + "'" + form);
    std::string range = text.substr(equals + 1);
    size_t c1 = range.find(':');
    size_t c2 = c1 == std::string::npos ? c1 : range.find(':', c1 + 1);
    if (c2 == std::string::npos)
        throw UsageError("--sweep needs FROM:TO:STEP after '=', not '" + range + "'");
    s.from = sweepNumber("FROM", range.substr(0, c1));
    s.to = sweepNumber("TO", range.substr(c1 + 1, c2 - c1 - 1));
    s.step = sweepNumber("STEP", range.substr(c2 + 1));
    if (s.step <= 0)
        throw UsageError("--sweep STEP must be above 0, not " + SweepValueText(s.step));
    if (s.to < s.from)
        throw UsageError("--sweep TO must not lie below FROM");
    if ((s.to - s.from) / s.step + 1 > static_cast<double>(kMostValues))
        throw UsageError("--sweep makes more than " + std::to_string(kMostValues) + " values");
    return s;
}

std::string SweepValueText(double value) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.10g", value);
    return buf;
}

std::string SweptConfig(const std::string& config, const SweepSpec& sweep, double value) {
    return ini::WriteKey(config, sweep.section, sweep.key, SweepValueText(value));
}

bool SweepCurrent(const std::string& config, const SweepSpec& sweep, double* value) {
    std::optional<std::string> v = ini::FindValue(config, sweep.section, sweep.key);
    if (!v)
        return false;
    char* end = nullptr;
    double d = std::strtod(v->c_str(), &end);
    if (end == v->c_str())
        return false;
    *value = d;
    return true;
}

bool SweepReport::IsCurrent(double value) const {
    return current && std::fabs(*current - value) < 1e-9;
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

std::string keyText(const SweepSpec& s, const std::string& config) {
    double now = 0;
    std::string text = "[" + s.section + "] " + s.key;
    if (SweepCurrent(config, s, &now))
        text += " (now " + SweepValueText(now) + ")";
    return text;
}

} // namespace

void PrintSweepGrid(FILE* out, const std::vector<SweepSpec>& sweeps,
                    const std::vector<std::vector<double>>& values,
                    const std::vector<ReplayOutcome>& outcomes, const std::string& config) {
    std::fprintf(out, "Grid       yield %% of the replay: rows %s, columns %s\n",
                 keyText(sweeps[0], config).c_str(), keyText(sweeps[1], config).c_str());
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
                         const std::vector<ReplayOutcome>& outcomes, const std::string& config,
                         const std::string& title) {
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
    svg.Text(left + width / 2, top + height + 40, keyText(sweeps[1], config), 13, "middle",
             "#222222", "bold");
    svg.Text(20, top - 12, keyText(sweeps[0], config), 13, "start", "#222222", "bold");
    return svg.Finish();
}

} // namespace station
