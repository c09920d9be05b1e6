// The population report as SVG: one histogram per calibrated value, with the
// configured window drawn over it. A small writer of our own.
#include "Report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace station {

namespace {

class SvgWriter {
public:
    SvgWriter(int width, int height) {
        m_out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                std::to_string(width) + "\" height=\"" + std::to_string(height) +
                "\" viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) +
                "\" font-family=\"DejaVu Sans, Arial, sans-serif\">\n";
        Rect(0, 0, width, height, "#ffffff", "none");
    }
    void Rect(double x, double y, double w, double h, const char* fill, const char* stroke,
              const char* extra = "") {
        m_out += "<rect x=\"" + n(x) + "\" y=\"" + n(y) + "\" width=\"" + n(w) + "\" height=\"" +
                 n(h) + "\" fill=\"" + fill + "\" stroke=\"" + stroke + "\"" + extra + "/>\n";
    }
    void Line(double x1, double y1, double x2, double y2, const char* stroke, double width,
              const char* extra = "") {
        m_out += "<line x1=\"" + n(x1) + "\" y1=\"" + n(y1) + "\" x2=\"" + n(x2) + "\" y2=\"" +
                 n(y2) + "\" stroke=\"" + stroke + "\" stroke-width=\"" + n(width) + "\"" + extra +
                 "/>\n";
    }
    void Text(double x, double y, const std::string& text, int size, const char* anchor = "start",
              const char* fill = "#222222", const char* weight = "normal") {
        m_out += "<text x=\"" + n(x) + "\" y=\"" + n(y) + "\" font-size=\"" + std::to_string(size) +
                 "\" text-anchor=\"" + anchor + "\" fill=\"" + fill + "\" font-weight=\"" + weight +
                 "\">" + Escape(text) + "</text>\n";
    }
    std::string Finish() { return m_out + "</svg>\n"; }

    static std::string Escape(const std::string& s) {
        std::string out;
        for (char c : s) {
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

private:
    static std::string n(double v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.1f", v);
        return buf;
    }
    std::string m_out;
};

std::string num(double v) {
    char buf[32];
    if (v == std::floor(v) && std::fabs(v) < 1e12)
        std::snprintf(buf, sizeof buf, "%.0f", v);
    else
        std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

void histogram(SvgWriter& svg, double top, const Distribution& d) {
    const double left = 70, width = 620, height = 170;
    const double base = top + 50 + height;
    std::string title = d.name + " (" + d.unit + ")";
    if (d.window.known)
        title += ", window [" + num(d.window.low) + ", " + num(d.window.high) + "]";
    title += ": " + std::to_string(d.values.size()) + " units";
    if (d.window.known)
        title += ", " + std::to_string(d.outside) + " outside";
    svg.Text(left, top + 16, title, 14, "start", "#222222", "bold");
    if (d.values.empty()) {
        svg.Text(left + width / 2, top + 50 + height / 2, "no unit got this far", 13, "middle");
        return;
    }
    double lo = 0, hi = 0;
    PlotRange(d, &lo, &hi); // the window shows even where no unit came near its bounds
    long beyond =
        std::count_if(d.values.begin(), d.values.end(), [&](double x) { return x < lo || x > hi; });
    std::string sub = d.note.empty() ? std::string() : "window " + d.note;
    if (beyond > 0)
        sub += std::string(sub.empty() ? "" : "; ") + std::to_string(beyond) +
               " beyond the plotted range, drawn in the end bars";
    if (!sub.empty())
        svg.Text(left, top + 31, sub, 11, "start", "#555555");
    bool whole =
        std::all_of(d.values.begin(), d.values.end(), [](double x) { return x == std::floor(x); });
    int bins = 40;
    double binWidth = (hi - lo) / bins;
    if (whole) {
        binWidth = std::max(1.0, std::ceil((hi - lo + 1) / bins));
        lo = std::floor(lo);
        bins = static_cast<int>(std::ceil((hi - lo + 1) / binWidth));
    } else if (binWidth <= 0) {
        binWidth = 1;
        lo -= 0.5;
        bins = 1;
    }
    std::vector<long> counts(static_cast<size_t>(bins), 0);
    for (double x : d.values) {
        long k = static_cast<long>(std::floor((x - lo) / binWidth));
        k = std::max(0L, std::min(k, static_cast<long>(bins - 1)));
        ++counts[static_cast<size_t>(k)];
    }
    long most = *std::max_element(counts.begin(), counts.end());
    double span = binWidth * bins;
    auto xOf = [&](double v) { return left + (v - lo) / span * width; };

    svg.Rect(left, top + 50, width, height, "#fafafa", "#cccccc");
    if (d.window.known && d.window.low <= d.window.high)
        svg.Rect(xOf(d.window.low), top + 50,
                 xOf(d.window.high + (whole ? 1 : 0)) - xOf(d.window.low), height, "#e3f4e3",
                 "none");
    for (int i = 0; i < bins; ++i) {
        if (counts[static_cast<size_t>(i)] == 0)
            continue;
        double h = height * static_cast<double>(counts[static_cast<size_t>(i)]) /
                   static_cast<double>(most);
        double x0 = lo + binWidth * i;
        bool inside = !d.window.known || (x0 >= d.window.low &&
                                          x0 + (whole ? binWidth - 1 : binWidth) <= d.window.high);
        svg.Rect(xOf(x0) + 0.5, base - h, std::max(1.0, width / bins - 1), h,
                 inside ? "#4a7fb5" : "#c8553d", "none");
    }
    if (d.window.known) {
        const char* dash = " stroke-dasharray=\"6,4\"";
        double xl = xOf(d.window.low), xh = xOf(d.window.high + (whole ? 1 : 0));
        svg.Line(xl, top + 46, xl, base, "#1d7a1d", 2, dash);
        svg.Line(xh, top + 46, xh, base, "#1d7a1d", 2, dash);
        svg.Text(xl, top + 44, "min " + num(d.window.low), 11, "middle", "#1d7a1d");
        svg.Text(xh, top + 44, "max " + num(d.window.high), 11, "middle", "#1d7a1d");
    }
    // Axis: five ticks across the range, and the tallest bar's count.
    for (int t = 0; t <= 4; ++t) {
        double v = lo + span * t / 4;
        double x = xOf(v);
        svg.Line(x, base, x, base + 5, "#555555", 1);
        svg.Text(x, base + 18, num(whole ? std::round(v) : v), 11, "middle");
    }
    svg.Text(left - 8, top + 60, std::to_string(most), 11, "end");
    svg.Text(left - 8, base, "0", 11, "end");
}

} // namespace

std::string Population::Svg(const RunFacts& run) const {
    std::vector<const Distribution*> panels;
    if (m_chip != sim::Chip::VT300)
        panels.push_back(&m_cdac);
    panels.push_back(&m_cafc);
    panels.push_back(&m_slope);
    const int panelHeight = 260;
    SvgWriter svg(720, 80 + panelHeight * static_cast<int>(panels.size()));
    char head[200];
    std::snprintf(head, sizeof head, "%s population: %ld of %ld units passed (%.2f %%), seed %llu",
                  run.chip.c_str(), m_passed, m_units,
                  m_units > 0 ? 100.0 * static_cast<double>(m_passed) / static_cast<double>(m_units)
                              : 0.0,
                  static_cast<unsigned long long>(run.seed));
    svg.Text(20, 30, head, 18, "start", "#111111", "bold");
    svg.Text(20, 52, "Green band and dashed lines: the configured window. Red bars: outside it.",
             12, "start", "#555555");
    for (size_t i = 0; i < panels.size(); ++i)
        histogram(svg, 60 + panelHeight * static_cast<double>(i), *panels[i]);
    return svg.Finish();
}

} // namespace station
