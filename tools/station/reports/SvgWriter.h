// A small SVG writer of our own for the station's reports: rectangles,
// lines, circles, polylines and text, coordinates to a tenth of a pixel.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace station {

// Text as HTML and SVG take it inside elements and quoted attributes.
std::string EscapeMarkup(const std::string& text);

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
                 "\">" + EscapeMarkup(text) + "</text>\n";
    }
    void Circle(double x, double y, double r, const char* fill, const char* stroke) {
        m_out += "<circle cx=\"" + n(x) + "\" cy=\"" + n(y) + "\" r=\"" + n(r) + "\" fill=\"" +
                 fill + "\" stroke=\"" + stroke + "\"/>\n";
    }
    // An open line through the points (x, y pairs).
    void Polyline(const std::vector<std::pair<double, double>>& points, const char* stroke,
                  double width, const char* extra = "") {
        m_out += "<polyline fill=\"none\" stroke=\"" + std::string(stroke) + "\" stroke-width=\"" +
                 n(width) + "\" points=\"";
        for (size_t i = 0; i < points.size(); ++i)
            m_out += (i > 0 ? " " : "") + n(points[i].first) + "," + n(points[i].second);
        m_out += "\"" + std::string(extra) + "/>\n";
    }
    std::string Finish() { return m_out + "</svg>\n"; }

private:
    static std::string n(double v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.1f", v);
        return buf;
    }
    std::string m_out;
};

} // namespace station
