#include "Report.h"

#include "Options.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <sstream>

#if defined(_WIN32)
#include <io.h>
#define STATION_ISATTY _isatty
#define STATION_FILENO _fileno
#else
#include <unistd.h>
#define STATION_ISATTY isatty
#define STATION_FILENO fileno
#endif

namespace station {

namespace {

std::string format(const char* f, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, f, v);
    return buf;
}

// Whole numbers without decimals, others with three.
std::string number(double v) {
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v > 0 ? "inf" : "-inf";
    if (v == std::floor(v) && std::fabs(v) < 1e12)
        return format("%.0f", v);
    return format("%.3f", v);
}

std::string seconds(double ms) {
    return format("%.3f s", ms / 1000.0);
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

std::string tripleText(const ERROR_TRIPLE& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "(%u, %u, %u)", t.module, t.operation, t.code);
    return buf;
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

// The mark of a unit that passed only because a failed command was let pass.
std::string ignoredNote(const UnitResult& r) {
    return r.passed && r.ignoredFailures > 0 ? " (passed with an ignored command failure)" : "";
}

} // namespace

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string JsonNumber(double v) {
    if (!std::isfinite(v))
        return "null";
    char buf[40];
    for (int precision = 15; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        if (std::strtod(buf, nullptr) == v)
            break;
    }
    return buf;
}

void PrintLibrary(FILE* out, const LibraryFacts& lib) {
    std::fprintf(out, "Library    %s\n", lib.path.c_str());
    if (lib.versionText.empty())
        std::fprintf(out, "Version    (the file carries no version)\n");
    else
        std::fprintf(out, "Version    %s, build %s (FileVersion %s)\n", lib.version.c_str(),
                     lib.build.c_str(), lib.versionText.c_str());
    for (size_t i = 0; i < lib.actions.size(); ++i)
        std::fprintf(out, "%s%3u (0x%04X)  %s\n", i == 0 ? "Actions    " : "           ",
                     lib.actions[i].first, lib.actions[i].first, lib.actions[i].second.c_str());
}

void PrintLibraryJson(FILE* out, const LibraryFacts& lib) {
    std::string actions;
    for (const auto& a : lib.actions)
        actions += std::string(actions.empty() ? "" : ",") + "{\"id\":" + std::to_string(a.first) +
                   ",\"name\":" + JsonString(a.second) + "}";
    std::fprintf(out,
                 "{\"type\":\"library\",\"path\":%s,\"file_version\":%s,\"version\":%s,"
                 "\"build\":%s,\"actions\":[%s]}\n",
                 JsonString(lib.path).c_str(), JsonString(lib.versionText).c_str(),
                 JsonString(lib.version).c_str(), JsonString(lib.build).c_str(), actions.c_str());
}

void PrintFindings(FILE* out, const ConfigReport& report, const std::string& file) {
    if (report.findings.empty()) {
        std::fprintf(out, "Check      %s: no warnings\n", file.c_str());
        return;
    }
    std::fprintf(out, "Check      %s: %d warning%s\n", file.c_str(), report.Warnings(),
                 report.Warnings() == 1 ? "" : "s");
    for (const Finding& f : report.findings) {
        std::string where = f.line > 0 ? "line " + std::to_string(f.line) + ": " : "";
        std::fprintf(out, "  %s  %s%s\n", f.level == Finding::Warning ? "warning" : "note   ",
                     where.c_str(), f.text.c_str());
    }
}

void PrintFindingsJson(FILE* out, const ConfigReport& report) {
    for (const Finding& f : report.findings)
        std::fprintf(out, "{\"type\":\"finding\",\"level\":\"%s\",\"line\":%d,\"text\":%s}\n",
                     f.level == Finding::Warning ? "warning" : "note", f.line,
                     JsonString(f.text).c_str());
}

void PrintUnit(FILE* out, const RunFacts& run, const UnitResult& r) {
    std::fprintf(out,
                 "Run        %s calibration (action %u), chip type %d, band %d %s, RF tester as "
                 "%s, %s clock\n",
                 run.chip.c_str(), run.actionId, run.chipType, run.band, BandLabel(run.band),
                 run.rfKind.c_str(), run.virtualTime ? "virtual" : "real");
    std::fprintf(out, "Handset    %s\n", run.handset.c_str());
    std::fprintf(out, "\nResult items\n");
    std::fprintf(out, "  %3s  %s %10s %12s %10s  %-8s %s\n", "#", pad("Name", 42).c_str(), "Low",
                 "Value", "High", "Unit", "Result");
    int index = 0;
    for (const Item& it : r.items) {
        ++index;
        if (it.kind == OMRA_KIND_CLOSING && it.name.empty()) {
            std::fprintf(out, "  %3d  %s %10s %12s %10s  %-8s %s%s\n", index,
                         pad("Verdict (closing item)", 42).c_str(), "", "", "", "",
                         r.passed ? "PASS" : "FAIL", ignoredNote(r).c_str());
            continue;
        }
        bool judged = it.kind != OMRA_KIND_INFO;
        std::string value = it.form == OMRA_FORM_TEXT ? it.text : number(it.value);
        std::string low = judged && it.form == OMRA_FORM_NUMERIC ? number(it.low) : "-";
        std::string high = judged && it.form == OMRA_FORM_NUMERIC ? number(it.high) : "-";
        std::string unit = it.unit.empty() || it.unit == "-" ? "" : it.unit;
        std::fprintf(out, "  %3d  %s %10s %12s %10s  %-8s %s\n", index, pad(it.name, 42).c_str(),
                     low.c_str(), value.c_str(), high.c_str(), unit.c_str(),
                     judged ? (it.pass != 0 ? "PASS" : "FAIL") : "info");
    }
    std::fprintf(out, "\nLog lines (the CSV the host writes)\n");
    for (const Line& l : r.lines)
        std::fprintf(out, "%s\n", l.text.c_str());
    std::fprintf(out, "\n");
    if (r.flashed[0] || r.flashed[1] || r.flashed[2]) {
        std::string s;
        static const char* const names[] = {"CAFC", "CDAC", "slope length"};
        for (int i = 0; i < 3; ++i)
            if (r.flashed[i])
                s += std::string(s.empty() ? "" : ", ") + names[i] + " " +
                     std::to_string(static_cast<int16_t>(r.flash[i]));
        std::fprintf(out, "Flash      %s\n", s.c_str());
    } else {
        std::fprintf(out, "Flash      nothing written\n");
    }
    if (r.hasTriple)
        std::fprintf(out, "Error      %s extra %d: %s\n", tripleText(r.triple).c_str(),
                     r.triple.extra, codeMeaning(r.triple.code));
    if (r.threw) {
        std::fprintf(out, "Exception  %s\n", r.message.c_str());
        std::string where = whereFrom(r.fullText);
        if (!where.empty())
            std::fprintf(out, "           %s\n", where.c_str());
    } else if (!r.passed && !r.message.empty()) {
        std::fprintf(out, "Problem    %s\n", r.message.c_str());
    }
    std::fprintf(out, "Time       %s on the station (pauses %s + instruments %s)\n",
                 seconds(r.stationMs).c_str(), seconds(r.pausesMs).c_str(),
                 seconds(r.instrumentMs).c_str());
    std::fprintf(out, "Verdict    %s%s\n", r.passed ? "PASS" : "FAIL", ignoredNote(r).c_str());
}

void PrintUnitJson(FILE* out, const RunFacts& run, const UnitResult& r) {
    for (long k : r.order) {
        if (k >= 0) {
            const Item& it = r.items[static_cast<size_t>(k)];
            std::string pass = it.kind == OMRA_KIND_INFO ? "null" : it.pass ? "true" : "false";
            if (it.form == OMRA_FORM_TEXT)
                std::fprintf(out,
                             "{\"type\":\"item\",\"name\":%s,\"text\":%s,\"unit\":%s,\"kind\":%d,"
                             "\"level\":%d,\"pass\":%s}\n",
                             JsonString(it.name).c_str(), JsonString(it.text).c_str(),
                             JsonString(it.unit).c_str(), it.kind, it.level, pass.c_str());
            else
                std::fprintf(out,
                             "{\"type\":\"item\",\"name\":%s,\"low\":%s,\"value\":%s,\"high\":%s,"
                             "\"unit\":%s,\"kind\":%d,\"level\":%d,\"pass\":%s}\n",
                             JsonString(it.name).c_str(), JsonNumber(it.low).c_str(),
                             JsonNumber(it.value).c_str(), JsonNumber(it.high).c_str(),
                             JsonString(it.unit).c_str(), it.kind, it.level, pass.c_str());
        } else {
            const Line& l = r.lines[static_cast<size_t>(~k)];
            std::fprintf(out, "{\"type\":\"line\",\"level\":%d,\"text\":%s}\n", l.level,
                         JsonString(l.text).c_str());
        }
    }
    std::string error = "null";
    if (r.hasTriple)
        error = "{\"module\":" + std::to_string(r.triple.module) +
                ",\"operation\":" + std::to_string(r.triple.operation) +
                ",\"code\":" + std::to_string(r.triple.code) +
                ",\"extra\":" + std::to_string(r.triple.extra) + "}";
    std::string exception = "null";
    if (r.threw)
        exception =
            "{\"message\":" + JsonString(r.message) + ",\"text\":" + JsonString(r.fullText) + "}";
    std::string flash;
    static const char* const names[] = {"cafc", "cdac", "slope_length"};
    for (int i = 0; i < 3; ++i)
        flash += std::string(i ? "," : "") + "\"" + names[i] +
                 "\":" + (r.flashed[i] ? std::to_string(static_cast<int16_t>(r.flash[i])) : "null");
    std::fprintf(out,
                 "{\"type\":\"result\",\"chip\":%s,\"verdict\":\"%s\",\"return\":%u,\"error\":%s,"
                 "\"exception\":%s,\"flash\":{%s},\"ignored_failures\":%d,\"station_ms\":%s,"
                 "\"pauses_ms\":%s,"
                 "\"instrument_ms\":%s,\"seed\":%llu}\n",
                 JsonString(run.chip).c_str(), r.passed ? "PASS" : "FAIL", r.doResult,
                 error.c_str(), exception.c_str(), flash.c_str(), r.ignoredFailures,
                 JsonNumber(r.stationMs).c_str(), JsonNumber(r.pausesMs).c_str(),
                 JsonNumber(r.instrumentMs).c_str(), static_cast<unsigned long long>(run.seed));
}

std::string ReasonPattern(const UnitResult& r) {
    std::string pattern;
    const std::string& m = r.message;
    for (size_t i = 0; i < m.size();) {
        bool digit = m[i] >= '0' && m[i] <= '9';
        bool signedDigit = m[i] == '-' && i + 1 < m.size() && m[i + 1] >= '0' && m[i + 1] <= '9';
        if (digit || signedDigit) {
            i += signedDigit ? 1 : 0;
            while (i < m.size() && ((m[i] >= '0' && m[i] <= '9') || m[i] == '.'))
                ++i;
            pattern += '#';
        } else {
            pattern += m[i++];
        }
    }
    return pattern;
}

Population::Population(sim::Chip chip, const ConfigReport& config) : m_chip(chip) {
    auto init = [](Distribution& d, const char* name, const char* unit, const Window& w) {
        d.name = name;
        d.unit = unit;
        d.window = w;
    };
    init(m_cdac, "CDAC", "code", config.cdac);
    init(m_cafc, "CAFC", "code", config.cafc);
    init(m_slope, chip == sim::Chip::VT300 ? "CAFC slope S" : "CAFC slope", "Hz/code",
         config.slope);
    if (chip == sim::Chip::VT300) {
        m_cdac.window.known = false; // the VT300 keeps its configured CDAC
        m_cafc.note = "The window shown is the headroom at the highest slope; each unit is judged "
                      "by the headroom at its own slope.";
        m_slope.note = "The slope rounded to a whole number is judged.";
    }
    if (chip == sim::Chip::VT318)
        m_cafc.note = "The window shown is the first attempt's; each further attempt moves it up "
                      "by 1000. Units count by the window that judged them.";
}

namespace {

// The VT300's headroom failures: its CAFC is only information, judged here.
bool headroomFailure(const UnitResult& r) {
    return !r.passed && (r.message.rfind("(afc * slope", 0) == 0 ||
                         r.message.rfind("((8191 - afc) * slope", 0) == 0);
}

} // namespace

void Population::Add(const UnitResult& r) {
    ++m_units;
    if (r.passed) {
        ++m_passed;
        if (r.ignoredFailures > 0)
            ++m_passedIgnoring;
    } else {
        std::string pattern = ReasonPattern(r);
        std::string key = (r.hasTriple ? tripleText(r.triple) : std::string("-")) + pattern;
        Reason& reason = m_reasons[key];
        if (reason.count++ == 0) {
            reason.hasTriple = r.hasTriple;
            reason.triple = r.triple;
            reason.pattern = pattern;
            reason.example = r.message;
        }
    }
    if (m_chip == sim::Chip::VT318 && r.attempts > 0)
        ++m_attempts[r.attempts];
    auto add = [](Distribution& d, bool has, double v, bool inside) {
        if (has && std::isfinite(v))
            d.Add(v, inside);
    };
    // A CDAC computed below 0 reaches the host as its unsigned 16-bit code.
    double cdac = r.cdac > 32767 ? r.cdac - 65536 : r.cdac;
    add(m_cdac, r.hasCdac, cdac, r.cdacInside);
    bool cafcInside = m_chip == sim::Chip::VT300 ? !headroomFailure(r) : r.cafcInside;
    add(m_cafc, r.hasCafc, r.cafc, cafcInside);
    add(m_slope, r.hasSlope, r.slope, r.slopeInside);
    if (m_units == 1 || r.stationMs < m_timeMin)
        m_timeMin = r.stationMs;
    if (m_units == 1 || r.stationMs > m_timeMax)
        m_timeMax = r.stationMs;
    m_timeSum += r.stationMs;
}

void Distribution::Add(double v, bool inside) {
    ++m_count;
    if (!inside)
        ++m_outside;
    m_min = m_count == 1 ? v : std::min(m_min, v);
    m_max = m_count == 1 ? v : std::max(m_max, v);
    double delta = v - m_mean; // Welford's running moments
    m_mean += delta / static_cast<double>(m_count);
    m_m2 += delta * (v - m_mean);
    m_whole = m_whole && v == std::floor(v);
    if (m_fixed) {
        m_window.Count(v, inside);
        m_data.Count(v, inside);
        return;
    }
    m_first.emplace_back(v, inside);
    if (m_first.size() >= kFirstValues)
        fixRange();
}

double Distribution::Sd() const {
    return m_count > 1 ? std::sqrt(m_m2 / static_cast<double>(m_count - 1)) : 0.0;
}

void Distribution::Fine::Setup(double lo, double hi, bool whole) {
    width = (hi - lo) / static_cast<double>(kFineBins);
    if (whole) {
        width = std::max(1.0, std::ceil(width));
        lo = std::floor(lo);
    }
    low = lo;
    inside.assign(kFineBins, 0);
    outside.assign(kFineBins, 0);
}

void Distribution::Fine::Count(double v, bool in) {
    double k = std::floor((v - low) / width);
    if (k < 0)
        ++below[in ? 0 : 1];
    else if (k >= static_cast<double>(kFineBins))
        ++above[in ? 0 : 1];
    else
        ++(in ? inside : outside)[static_cast<size_t>(k)];
}

void Distribution::fixRange() const {
    double lo = m_min, hi = m_max;
    if (window.known && window.low <= window.high) {
        double reach = std::max(1.0, window.high - window.low);
        lo = std::max(std::min(lo, window.low - reach), window.low - 4 * reach);
        hi = std::min(std::max(hi, window.high + reach), window.high + 4 * reach);
    } else {
        double margin = std::max(1.0, hi - lo); // room for the values still to come
        lo -= margin;
        hi += margin;
    }
    m_window.Setup(lo, hi, m_whole);
    // The band of the first values, with room on both sides for the rest.
    double span = m_max - m_min;
    double margin = std::max(span, m_whole ? 1.0 : std::max(1e-9, std::fabs(m_max) * 1e-6));
    m_data.Setup(m_min - margin, m_max + margin, m_whole);
    m_fixed = true;
    for (const auto& v : m_first) {
        m_window.Count(v.first, v.second);
        m_data.Count(v.first, v.second);
    }
    m_first.clear();
    m_first.shrink_to_fit();
}

void PlotRange(const Distribution& d, double* low, double* high) {
    double lo = d.Min(), hi = d.Max();
    if (d.window.known && d.window.low <= d.window.high) {
        double reach = std::max(1.0, d.window.high - d.window.low);
        lo = std::max(std::min(lo, d.window.low), d.window.low - reach);
        hi = std::min(std::max(hi, d.window.high), d.window.high + reach);
    }
    *low = lo;
    *high = hi;
}

Distribution::Plot Distribution::build(const Fine& f, long a, long b, long anchor,
                                       int wanted) const {
    Plot q;
    long per = std::max(1L, (b - a + wanted) / wanted);
    if (anchor > a && anchor <= b) // a bar edge on the window's lower bound
        a = anchor - (anchor - a + per - 1) / per * per;
    a = std::max(0L, a);
    for (long s = a; s <= b; s += per) {
        Bar bar;
        long e = std::min(b, s + per - 1);
        for (long i = s; i <= e; ++i) {
            bar.inside += f.inside[static_cast<size_t>(i)];
            bar.outside += f.outside[static_cast<size_t>(i)];
        }
        bar.low = f.low + static_cast<double>(s) * f.width;
        bar.high = f.low + static_cast<double>(e + 1) * f.width;
        q.bars.push_back(bar);
    }
    // Whatever lies beyond the bars is counted in the end bars.
    Bar& front = q.bars.front();
    Bar& back = q.bars.back();
    front.inside += f.below[0];
    front.outside += f.below[1];
    back.inside += f.above[0];
    back.outside += f.above[1];
    q.below = f.below[0] + f.below[1];
    q.above = f.above[0] + f.above[1];
    const long n = static_cast<long>(kFineBins);
    for (long i = 0; i < n; ++i) {
        if (i >= a && i <= b)
            continue;
        long in = f.inside[static_cast<size_t>(i)], out = f.outside[static_cast<size_t>(i)];
        Bar& end = i < a ? front : back;
        end.inside += in;
        end.outside += out;
        (i < a ? q.below : q.above) += in + out;
    }
    q.low = front.low;
    q.high = back.high;
    return q;
}

Distribution::Plot Distribution::Bins(int wanted) const {
    if (m_count == 0)
        return Plot();
    if (!m_fixed)
        fixRange();
    const long n = static_cast<long>(kFineBins);
    auto fine = [&](const Fine& f, double v) {
        double k = std::floor((v - f.low) / f.width);
        return static_cast<long>(std::max(0.0, std::min(k, static_cast<double>(n - 1))));
    };
    // The fine bins that hold all but `share` of the values at each end
    // (those beyond the fine range count as lying at its ends).
    auto band = [&](const Fine& f, double share, long* first, long* last) {
        long total = f.Beyond();
        for (long i = 0; i < n; ++i)
            total += f.inside[static_cast<size_t>(i)] + f.outside[static_cast<size_t>(i)];
        double cut = share * static_cast<double>(total);
        long below = f.below[0] + f.below[1], above = f.above[0] + f.above[1];
        *first = 0;
        *last = n - 1;
        for (long i = 0; i < n; ++i) {
            below += f.inside[static_cast<size_t>(i)] + f.outside[static_cast<size_t>(i)];
            if (static_cast<double>(below) > cut) {
                *first = i;
                break;
            }
        }
        for (long i = n - 1; i >= 0; --i) {
            above += f.inside[static_cast<size_t>(i)] + f.outside[static_cast<size_t>(i)];
            if (static_cast<double>(above) > cut) {
                *last = i;
                break;
            }
        }
    };
    double lo = 0, hi = 0;
    PlotRange(*this, &lo, &hi);
    long a = fine(m_window, lo), b = fine(m_window, hi);
    Plot p = build(m_window, a, b, window.known ? fine(m_window, window.low) : -1, wanted);
    // How many bars hold 99 % of the units: one or two (or a few of many), and
    // the plot says little.
    std::vector<long> sizes;
    for (const Bar& x : p.bars)
        sizes.push_back(x.Units());
    std::sort(sizes.rbegin(), sizes.rend());
    long used = 0, held = 0;
    while (used < static_cast<long>(sizes.size()) &&
           static_cast<double>(held) < 0.99 * static_cast<double>(m_count))
        held += sizes[static_cast<size_t>(used++)];
    if (used > 2 && used * 8 > static_cast<long>(p.bars.size()))
        return p;
    // Fit the bars to the middle 99 % of the values, from the finer
    // histogram when every value fell into its band.
    const Fine& f = m_data.Beyond() == 0 ? m_data : m_window;
    long first = 0, last = 0;
    band(f, 0.005, &first, &last);
    if (last < first)
        return p;
    Plot fitted = build(f, first, last, -1, wanted);
    long fittedUsed = std::count_if(fitted.bars.begin(), fitted.bars.end(),
                                    [](const Bar& x) { return x.Units() > 0; });
    double width = p.bars.front().high - p.bars.front().low;
    double fittedWidth = fitted.bars.front().high - fitted.bars.front().low;
    if (fittedUsed <= used && fittedWidth >= width)
        return p; // the bars are as fine as they can be already
    fitted.fitted = true;
    return fitted;
}

namespace {

// A bar's bound with as many decimals as its width needs (two at least).
std::string decimals(double v, double other) {
    double width = std::fabs(v - other);
    int digits = width > 0 ? static_cast<int>(std::ceil(-std::log10(width))) + 1 : 2;
    digits = std::max(2, std::min(digits, 9));
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    return buf;
}

void printDistribution(FILE* out, const Distribution& d) {
    if (d.Count() == 0) {
        std::fprintf(out, "%-11sno unit got this far\n", d.name.c_str());
        return;
    }
    std::string window =
        d.window.known ? "window [" + number(d.window.low) + ", " + number(d.window.high) + "]"
                       : "no fixed window";
    std::fprintf(out, "%s (%s), %s: %ld values, mean %s, sd %s, min %s, max %s", d.name.c_str(),
                 d.unit.c_str(), window.c_str(), d.Count(), format("%.2f", d.Mean()).c_str(),
                 format("%.2f", d.Sd()).c_str(), number(d.Min()).c_str(), number(d.Max()).c_str());
    if (d.window.known)
        std::fprintf(out, ", %ld outside", d.Outside());
    std::fprintf(out, "\n");
    if (!d.note.empty())
        std::fprintf(out, "  %s\n", d.note.c_str());
    Distribution::Plot p = d.Bins(12);
    if (p.fitted)
        std::fprintf(out, "  Nearly all values fill one or two rows of the window's range, so the "
                          "rows are fitted to them.\n");
    if (p.below > 0 || p.above > 0)
        std::fprintf(out, "  %ld values below %s and %ld above %s are counted in the end rows.\n",
                     p.below, number(p.low).c_str(), p.above,
                     number(d.Whole() ? p.high - 1 : p.high).c_str());
    long most = 0;
    for (const Distribution::Bar& b : p.bars)
        most = std::max(most, b.Units());
    bool whole = d.Whole();
    for (const Distribution::Bar& b : p.bars) {
        std::string range =
            whole
                ? (b.high - b.low == 1 ? number(b.low) : number(b.low) + ".." + number(b.high - 1))
                : decimals(b.low, b.high) + ".." + decimals(b.high, b.low);
        int bar = most > 0 ? static_cast<int>(std::lround(40.0 * static_cast<double>(b.Units()) /
                                                          static_cast<double>(most)))
                           : 0;
        if (b.Units() > 0 && bar == 0)
            bar = 1;
        // By the units' own verdicts: all inside, all outside, or both.
        const char* mark = b.outside == 0 ? "|" : b.inside == 0 ? "x" : ":";
        std::fprintf(out, "  %17s %7ld %s %s\n", range.c_str(), b.Units(), mark,
                     std::string(static_cast<size_t>(bar), '#').c_str());
    }
}

std::string yieldText(long passed, long units, long ignoring) {
    std::string s =
        std::to_string(passed) + " of " + std::to_string(units) + " passed (" +
        format("%.2f",
               units > 0 ? 100.0 * static_cast<double>(passed) / static_cast<double>(units) : 0.0) +
        " %)";
    if (ignoring > 0)
        s += ", " + std::to_string(ignoring) + " of them passed with an ignored command failure";
    return s;
}

} // namespace

std::string Population::YieldText() const {
    return yieldText(m_passed, m_units, m_passedIgnoring);
}

void Population::Print(FILE* out, const RunFacts& run, const sim::CrystalSpread& spread) const {
    std::fprintf(out, "Population %ld %s units (seed %llu), chip type %d, band %d %s, %s clock\n",
                 m_units, run.chip.c_str(), static_cast<unsigned long long>(run.seed), run.chipType,
                 run.band, BandLabel(run.band), run.virtualTime ? "virtual" : "real");
    std::fprintf(out, "Crystals   %s\n", run.handset.c_str());
    std::fprintf(out,
                 "Spread     offset sd %s Hz, CDAC step sd %s Hz/code, CAFC slope sd %s Hz/code\n",
                 number(spread.offsetHz).c_str(), number(spread.cdacStepHz).c_str(),
                 number(spread.cafcSlopeHz).c_str());
    std::fprintf(out, "\nYield      %s\n", YieldText().c_str());
    if (!m_reasons.empty()) {
        std::vector<const Reason*> reasons;
        for (const auto& r : m_reasons)
            reasons.push_back(&r.second);
        std::stable_sort(reasons.begin(), reasons.end(),
                         [](const Reason* a, const Reason* b) { return a->count > b->count; });
        std::fprintf(out, "Failures   %ld, by reason:\n", m_units - m_passed);
        for (const Reason* r : reasons)
            std::fprintf(out, "  %8ld  %-14s %s\n            e.g. \"%s\"\n", r->count,
                         r->hasTriple ? tripleText(r->triple).c_str() : "(no triple)",
                         r->pattern.c_str(), r->example.c_str());
    }
    if (!m_attempts.empty()) {
        std::fprintf(out, "Attempts  ");
        for (const auto& a : m_attempts)
            std::fprintf(out, " %d: %ld", a.first, a.second);
        std::fprintf(out, "  (coarse CDAC attempts per unit)\n");
    }
    std::fprintf(out, "\n");
    if (m_chip != sim::Chip::VT300) {
        printDistribution(out, m_cdac);
        std::fprintf(out, "\n");
    }
    printDistribution(out, m_cafc);
    std::fprintf(out, "\n");
    printDistribution(out, m_slope);
    std::fprintf(out, "\n");
    double mean = m_units > 0 ? m_timeSum / static_cast<double>(m_units) : 0.0;
    std::fprintf(out, "Time       per unit on the station: mean %s, min %s, max %s",
                 seconds(mean).c_str(), seconds(m_timeMin).c_str(), seconds(m_timeMax).c_str());
    if (mean > 0)
        std::fprintf(out, " (%.0f units an hour)", 3600000.0 / mean);
    std::fprintf(out, "\n");
    if (m_wallSeconds > 0)
        std::fprintf(out, "Computed   in %.3f s here (%.0f units/s)\n", m_wallSeconds,
                     static_cast<double>(m_units) / m_wallSeconds);
}

void Population::PrintUnitJson(FILE* out, long index, const UnitResult& r) const {
    auto value = [](bool has, double v) { return has ? JsonNumber(v) : std::string("null"); };
    std::string error = r.hasTriple ? "[" + std::to_string(r.triple.module) + "," +
                                          std::to_string(r.triple.operation) + "," +
                                          std::to_string(r.triple.code) + "]"
                                    : "null";
    std::fprintf(
        out,
        "{\"type\":\"unit\",\"unit\":%ld,\"verdict\":\"%s\",\"cdac\":%s,\"cafc\":%s,"
        "\"slope\":%s,\"attempts\":%d,\"ignored_failures\":%d,\"station_ms\":%s,\"error\":%s,"
        "\"message\":%s}\n",
        index, r.passed ? "PASS" : "FAIL", value(r.hasCdac, r.cdac).c_str(),
        value(r.hasCafc, r.cafc).c_str(), value(r.hasSlope, r.slope).c_str(), r.attempts,
        r.ignoredFailures, JsonNumber(r.stationMs).c_str(), error.c_str(),
        r.passed ? "null" : JsonString(r.message).c_str());
}

void Population::PrintJson(FILE* out, const RunFacts& run, const sim::CrystalSpread&) const {
    std::string reasons;
    for (const auto& r : m_reasons)
        reasons += std::string(reasons.empty() ? "" : ",") +
                   "{\"count\":" + std::to_string(r.second.count) + ",\"error\":" +
                   (r.second.hasTriple ? "[" + std::to_string(r.second.triple.module) + "," +
                                             std::to_string(r.second.triple.operation) + "," +
                                             std::to_string(r.second.triple.code) + "]"
                                       : std::string("null")) +
                   ",\"pattern\":" + JsonString(r.second.pattern) +
                   ",\"example\":" + JsonString(r.second.example) + "}";
    std::string attempts;
    for (const auto& a : m_attempts)
        attempts += std::string(attempts.empty() ? "" : ",") + "\"" + std::to_string(a.first) +
                    "\":" + std::to_string(a.second);
    auto dist = [](const Distribution& d) {
        bool any = d.Count() > 0;
        std::string w = d.window.known
                            ? "[" + JsonNumber(d.window.low) + "," + JsonNumber(d.window.high) + "]"
                            : "null";
        return "{\"count\":" + std::to_string(d.Count()) +
               ",\"mean\":" + JsonNumber(any ? d.Mean() : 0) + ",\"sd\":" + JsonNumber(d.Sd()) +
               ",\"min\":" + JsonNumber(any ? d.Min() : 0) +
               ",\"max\":" + JsonNumber(any ? d.Max() : 0) + ",\"window\":" + w +
               ",\"outside\":" + std::to_string(d.Outside()) + "}";
    };
    double mean = m_units > 0 ? m_timeSum / static_cast<double>(m_units) : 0.0;
    std::fprintf(
        out,
        "{\"type\":\"summary\",\"chip\":%s,\"units\":%ld,\"passed\":%ld,"
        "\"passed_with_ignored_failures\":%ld,\"failures\":[%s],"
        "\"attempts\":{%s},\"cdac\":%s,\"cafc\":%s,\"slope\":%s,\"station_ms\":{\"mean\":%s,"
        "\"min\":%s,\"max\":%s},\"seed\":%llu}\n",
        JsonString(run.chip).c_str(), m_units, m_passed, m_passedIgnoring, reasons.c_str(),
        attempts.c_str(), dist(m_cdac).c_str(), dist(m_cafc).c_str(), dist(m_slope).c_str(),
        JsonNumber(mean).c_str(), JsonNumber(m_timeMin).c_str(), JsonNumber(m_timeMax).c_str(),
        static_cast<unsigned long long>(run.seed));
}

ProgressBar::ProgressBar(long total, bool wanted)
    : m_total(total), m_active(wanted && STATION_ISATTY(STATION_FILENO(stdout)) &&
                               STATION_ISATTY(STATION_FILENO(stderr))) {
    m_start = m_last = std::chrono::steady_clock::now();
}

ProgressBar::~ProgressBar() {
    Finish();
}

void ProgressBar::Update(long done) {
    if (!m_active)
        return;
    auto now = std::chrono::steady_clock::now();
    // A few redraws a second; the first unit and the last always show.
    if (m_shown && done < m_total && now - m_last < std::chrono::milliseconds(200))
        return;
    m_last = now;
    double seconds = std::chrono::duration<double>(now - m_start).count();
    double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    long left = rate > 0 ? std::lround(static_cast<double>(m_total - done) / rate) : 0;
    int percent = static_cast<int>(100 * done / m_total);
    int filled = percent * 30 / 100;
    char line[160];
    std::snprintf(line, sizeof line, "[%s%s] %3d%%  %ld of %ld units, %s units/s, %ld:%02ld left",
                  std::string(static_cast<size_t>(filled), '#').c_str(),
                  std::string(static_cast<size_t>(30 - filled), '.').c_str(), percent, done,
                  m_total, format(rate < 10 ? "%.1f" : "%.0f", rate).c_str(), left / 60, left % 60);
    std::string text = line;
    size_t width = text.size();
    if (width < m_width)
        text += std::string(m_width - width, ' ');
    m_width = std::max(m_width, width);
    std::fprintf(stderr, "\r%s", text.c_str());
    std::fflush(stderr);
    m_shown = true;
}

void ProgressBar::Finish() {
    if (!m_shown)
        return;
    std::fprintf(stderr, "\r%s\r", std::string(m_width, ' ').c_str());
    std::fflush(stderr);
    m_shown = false;
}

} // namespace station
