// The population report as SVG: one histogram per calibrated value, with the
// configured window drawn over it. A small writer of our own.
#include "reports/Report.h"
#include "reports/SvgWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace station {

std::string EscapeMarkup(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

namespace {

std::string num(double v) {
    char buf[32];
    if (v == std::floor(v) && std::fabs(v) < 1e12)
        std::snprintf(buf, sizeof buf, "%.0f", v);
    else
        std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

// Words into lines of at most `width` characters.
std::vector<std::string> wrap(const std::string& text, size_t width) {
    std::vector<std::string> lines;
    std::string line;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(' ', pos);
        std::string word =
            text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        pos = end == std::string::npos ? text.size() : end + 1;
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

void histogram(SvgWriter& svg, double top, const Distribution& d) {
    const double left = 70, width = 620, height = 160;
    const double plotTop = top + 76; // below the title, three lines of notes and the window labels
    const double base = plotTop + height;
    std::string title = d.name + " (" + d.unit + ")";
    if (d.window.known)
        title += ", window [" + num(d.window.low) + ", " + num(d.window.high) + "]";
    title += ": " + std::to_string(d.Count()) + " units";
    if (d.window.known)
        title += ", " + std::to_string(d.Outside()) + " outside";
    svg.Text(left, top + 16, title, 14, "start", "#222222", "bold");
    if (d.Count() == 0) {
        svg.Text(left + width / 2, plotTop + height / 2, "No unit got this far.", 13, "middle");
        return;
    }
    Distribution::Plot p = d.Bins(40);
    std::string sub = d.note;
    auto sentence = [&](const std::string& s) { sub += (sub.empty() ? "" : " ") + s; };
    if (p.fitted)
        sentence("Nearly all values fill a few bars of the window's range, so the bars "
                 "are fitted to them.");
    if (p.below + p.above > 0)
        sentence(std::to_string(p.below + p.above) +
                 " units lie beyond the plotted range and are drawn in the end bars.");
    std::vector<std::string> noteLines = wrap(sub, 105);
    for (size_t i = 0; i < noteLines.size() && i < 3; ++i)
        svg.Text(left, top + 31 + 13 * static_cast<double>(i), noteLines[i], 11, "start",
                 "#555555");
    bool whole = d.Whole();
    long most = 0;
    for (const Distribution::Bar& b : p.bars)
        most = std::max(most, b.Units());
    double span = p.high - p.low;
    auto xOf = [&](double v) { return left + (v - p.low) / span * width; };
    auto clampX = [&](double x) { return std::max(left, std::min(left + width, x)); };
    double barWidth = width / static_cast<double>(p.bars.size());

    svg.Rect(left, plotTop, width, height, "#fafafa", "#cccccc");
    double windowHigh = d.window.high + (whole ? 1 : 0); // a whole code fills its bar
    if (d.window.known && d.window.low <= d.window.high) {
        double x0 = clampX(xOf(d.window.low)), x1 = clampX(xOf(windowHigh));
        if (x1 > x0)
            svg.Rect(x0, plotTop, x1 - x0, height, "#e3f4e3", "none");
    }
    // Stacked by the units' own verdicts; a bar that holds a unit shows, however small.
    for (size_t i = 0; i < p.bars.size(); ++i) {
        const Distribution::Bar& b = p.bars[i];
        if (b.Units() == 0)
            continue;
        double x = left + barWidth * static_cast<double>(i) + 0.5;
        double w = std::max(1.0, barWidth - 1);
        double hIn =
            b.inside > 0
                ? std::max(1.0, height * static_cast<double>(b.inside) / static_cast<double>(most))
                : 0.0;
        double hOut =
            b.outside > 0
                ? std::max(1.0, height * static_cast<double>(b.outside) / static_cast<double>(most))
                : 0.0;
        if (hIn > 0)
            svg.Rect(x, base - hIn, w, hIn, "#4a7fb5", "none");
        if (hOut > 0)
            svg.Rect(x, base - hIn - hOut, w, hOut, "#c8553d", "none");
    }
    if (d.window.known) {
        const char* dash = " stroke-dasharray=\"6,4\"";
        double xl = xOf(d.window.low), xh = xOf(windowHigh);
        if (xl >= left && xl <= left + width) {
            svg.Line(xl, plotTop - 4, xl, base, "#1d7a1d", 2, dash);
            svg.Text(xl, plotTop - 6, "min " + num(d.window.low), 11, "middle", "#1d7a1d");
        }
        if (xh >= left && xh <= left + width) {
            svg.Line(xh, plotTop - 4, xh, base, "#1d7a1d", 2, dash);
            svg.Text(xh, plotTop - 6, "max " + num(d.window.high), 11, "middle", "#1d7a1d");
        }
        bool lowShown = xl >= left && xl <= left + width;
        bool highShown = xh >= left && xh <= left + width;
        if (!lowShown && !highShown)
            svg.Text(left + width, plotTop - 6,
                     "window [" + num(d.window.low) + ", " + num(d.window.high) +
                         (xh < left           ? "] lies below the plotted range"
                          : xl > left + width ? "] lies above the plotted range"
                                              : "] covers the plotted range"),
                     11, "end", "#1d7a1d");
    }
    // Axis: five ticks across the range, and the tallest bar's count.
    for (int t = 0; t <= 4; ++t) {
        double v = p.low + span * t / 4;
        double x = xOf(v);
        svg.Line(x, base, x, base + 5, "#555555", 1);
        svg.Text(x, base + 18, num(whole ? std::round(v) : v), 11, "middle");
    }
    svg.Text(left - 8, plotTop + 10, std::to_string(most), 11, "end");
    svg.Text(left - 8, base, "0", 11, "end");
}

} // namespace

std::string SvgReport(const PopulationReport& report) {
    std::vector<const Distribution*> panels;
    for (const ValueStats& v : report.values)
        if (v.calibrated)
            panels.push_back(v.distribution);
    const int panelHeight = 275;
    SvgWriter svg(720, 80 + panelHeight * static_cast<int>(panels.size()));
    std::string yield = report.YieldText();
    yield.insert(yield.find(" passed"), " units");
    std::string head =
        report.run.chip + " population: " + yield + ", seed " + std::to_string(report.run.seed);
    svg.Text(20, 30, head,
             head.size() > 64   ? 14
             : head.size() > 54 ? 16
                                : 18,
             "start", "#111111", "bold");
    svg.Text(20, 52,
             "Green band and dashed lines: the configured window. Blue: units judged inside "
             "their window; red: outside it.",
             12, "start", "#555555");
    for (size_t i = 0; i < panels.size(); ++i)
        histogram(svg, 60 + panelHeight * static_cast<double>(i), *panels[i]);
    return svg.Finish();
}

} // namespace station
