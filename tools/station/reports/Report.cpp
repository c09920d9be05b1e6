#include "reports/Report.h"

#include "support/StationChips.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

} // namespace station
