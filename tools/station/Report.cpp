#include "Report.h"

#include "StationChips.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

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

std::string FormatNumber(const char* format, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

std::string TripleText(const ERROR_TRIPLE& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "(%u, %u, %u)", t.module, t.operation, t.code);
    return buf;
}

UnitReport MakeUnitReport(const RunFacts& run, const UnitResult& r) {
    UnitReport u;
    u.run = run;
    for (const Item& it : r.items) {
        ItemRow row;
        row.item = it;
        row.closing = it.kind == OMRA_KIND_CLOSING && it.name.empty();
        row.judgement = it.kind == OMRA_KIND_INFO ? Judgement::Info
                        : it.pass != 0            ? Judgement::Pass
                                                  : Judgement::Fail;
        u.items.push_back(std::move(row));
    }
    u.lines = r.lines;
    for (long k : r.order)
        u.arrivals.push_back(k >= 0 ? Arrival{true, static_cast<size_t>(k)}
                                    : Arrival{false, static_cast<size_t>(~k)});
    u.passed = r.passed;
    u.doResult = r.doResult;
    u.ignoredFailures = r.ignoredFailures;
    for (int i = 0; i < UnitReport::kFlashFields; ++i)
        if (r.flashed[i])
            u.flash[i] = static_cast<int16_t>(r.flash[i]); // the NV fields are signed
    if (r.hasTriple)
        u.error = r.triple;
    u.threw = r.threw;
    u.message = r.message;
    u.fullText = r.fullText;
    u.stationMs = r.stationMs;
    u.pausesMs = r.pausesMs;
    u.instrumentMs = r.instrumentMs;
    return u;
}

UnitSummary MakeUnitSummary(long index, const UnitResult& r) {
    UnitSummary u;
    u.index = index;
    u.passed = r.passed;
    if (r.hasCdac)
        u.cdac = r.cdac;
    if (r.hasCafc)
        u.cafc = r.cafc;
    if (r.hasSlope)
        u.slope = r.slope;
    u.attempts = r.attempts;
    u.ignoredFailures = r.ignoredFailures;
    u.stationMs = r.stationMs;
    if (r.hasTriple)
        u.error = r.triple;
    if (!r.passed)
        u.message = r.message;
    return u;
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
    const vantor::ChipRow& row = Row(chip);
    init(m_slope, WholeCodeSlope(row) ? "CAFC slope S" : "CAFC slope", "Hz/code", config.slope);
    if (!JudgesCdac(row))
        m_cdac.window.known = false; // the unit keeps its configured CDAC
    if (LaterJudgement(row, vantor::ResultValue::Cafc) != 0)
        m_cafc.note = "The window shown is the headroom at the highest slope; each unit is judged "
                      "by the headroom at its own slope.";
    if (WholeCodeSlope(row))
        m_slope.note = "The slope rounded to a whole number is judged.";
    if (RepeatsSearch(row))
        m_cafc.note = "The window shown is the first attempt's; each further attempt moves it up "
                      "by 1000. Units count by the window that judged them.";
}

namespace {

// A CAFC reported as information and judged afterwards: the unit failed it
// when its run failed with the operation of that judgement after reporting it.
bool failedLaterJudgement(const UnitResult& r, uint32_t operation) {
    return !r.passed && r.hasCafc && r.hasTriple && r.triple.operation == operation;
}

} // namespace

void Retests::Add(int test, bool ok) {
    ++tests;
    if (test == 0)
        ++units;
    if (!ok)
        return;
    ++passed;
    if (test == 0)
        ++firstPassed;
    else
        ++passedOnRetest;
}

void Population::Add(const UnitResult& r) {
    ++m_units;
    if (r.passed) {
        ++m_passed;
        if (r.ignoredFailures > 0)
            ++m_passedIgnoring;
    } else {
        std::string pattern = ReasonPattern(r);
        std::string key = (r.hasTriple ? TripleText(r.triple) : std::string("-")) + pattern;
        Reason& reason = m_reasons[key];
        if (reason.count++ == 0) {
            reason.hasTriple = r.hasTriple;
            reason.triple = r.triple;
            reason.pattern = pattern;
            reason.example = r.message;
        }
    }
    if (RepeatsSearch(Row(m_chip)) && r.attempts > 0)
        ++m_attempts[r.attempts];
    auto add = [](Distribution& d, bool has, double v, bool inside) {
        if (has && std::isfinite(v))
            d.Add(v, inside);
    };
    // A CDAC computed below 0 reaches the host as its unsigned 16-bit code.
    double cdac = r.cdac > 32767 ? r.cdac - 65536 : r.cdac;
    add(m_cdac, r.hasCdac, cdac, r.cdacInside);
    const uint32_t later = LaterJudgement(Row(m_chip), vantor::ResultValue::Cafc);
    bool cafcInside = later != 0 ? !failedLaterJudgement(r, later) : r.cafcInside;
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

std::string PopulationReport::YieldText() const {
    std::string s = std::to_string(passed) + " of " + std::to_string(units) + " passed (" +
                    FormatNumber("%.2f", units > 0 ? 100.0 * static_cast<double>(passed) /
                                                         static_cast<double>(units)
                                                   : 0.0) +
                    " %)";
    if (passedIgnoring > 0)
        s += ", " + std::to_string(passedIgnoring) +
             " of them passed with an ignored command failure";
    return s;
}

PopulationReport Population::Report(const RunFacts& run, const sim::CrystalSpread& spread) const {
    PopulationReport p;
    p.run = run;
    p.spread = spread;
    p.units = m_units;
    p.passed = m_passed;
    p.passedIgnoring = m_passedIgnoring;
    for (const auto& r : m_reasons)
        p.reasons.push_back(r.second);
    p.attempts = m_attempts;
    auto stats = [](const char* key, const Distribution& d, bool calibrated) {
        ValueStats v;
        v.key = key;
        v.name = d.name;
        v.unit = d.unit;
        v.note = d.note;
        v.window = d.window;
        v.count = d.Count();
        v.outside = d.Outside();
        v.mean = d.Mean();
        v.sd = d.Sd();
        v.min = d.Min();
        v.max = d.Max();
        v.calibrated = calibrated;
        v.distribution = &d;
        return v;
    };
    p.values.push_back(stats("cdac", m_cdac, JudgesCdac(Row(m_chip))));
    p.values.push_back(stats("cafc", m_cafc, true));
    p.values.push_back(stats("slope", m_slope, true));
    p.timeMeanMs = m_units > 0 ? m_timeSum / static_cast<double>(m_units) : 0.0;
    p.timeMinMs = m_timeMin;
    p.timeMaxMs = m_timeMax;
    p.wallSeconds = m_wallSeconds;
    return p;
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
                  m_total, FormatNumber(rate < 10 ? "%.1f" : "%.0f", rate).c_str(), left / 60,
                  left % 60);
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
