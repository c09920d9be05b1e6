#include "analysis/Judge.h"

#include "support/StationChips.h"
#include "common/ReportVocabulary.h"

#include <cmath>
#include <cstring>

namespace station {

namespace {

constexpr unsigned kModule = 14; // the library's triples

double trunc16(double v) {
    // The record's 16-bit fields, as the library stores a truncated value.
    long long t = static_cast<long long>(v);
    return static_cast<double>(static_cast<int16_t>(static_cast<uint16_t>(t)));
}

void fail(JudgedUnit* j, unsigned op, unsigned code, const char* text) {
    j->hasTriple = true;
    j->triple[0] = kModule;
    j->triple[1] = op;
    j->triple[2] = code;
    j->failure = text;
}

bool inside(const Window& w, double v) {
    return !w.known || (v >= w.low && v <= w.high);
}

// A VT318 unit from its points: coarse pairs (Default CDAC and 8 below, at
// the attempt's CAFC), then the fine pair (the chosen CDAC, Delta CAFC
// either side of the attempt's CAFC).
void judgeVt318(const LoggedUnit& u, const ConfigReport& w, JudgedUnit* j) {
    const std::vector<PferPoint>& p = u.points;
    size_t coarse = 0;
    while (coarse + 1 < p.size() && p[coarse].cafc == p[coarse + 1].cafc &&
           p[coarse].cdac != p[coarse + 1].cdac)
        coarse += 2;
    const bool fine = coarse >= 2 && coarse + 2 == p.size() && p[coarse].cdac == p[coarse + 1].cdac;
    if (coarse >= 2) {
        const PferPoint& a = p[coarse - 2];
        const PferPoint& b = p[coarse - 1];
        double step = (a.feHz - b.feHz) * 0.125;
        if (step != 0) {
            j->has[0] = true;
            j->value[0] = u.Passed() ? u.result[vantor::NvIndex(vantor::NvField::Cdac)]
                                     : trunc16(a.cdac - a.feHz / step);
        }
    }
    if (fine) {
        const PferPoint& c = p[coarse];
        const PferPoint& d = p[coarse + 1];
        const int attempt = p[coarse - 2].cafc, first = p[0].cafc;
        double slope = (d.feHz - c.feHz) / (d.cafc - c.cafc);
        j->has[2] = slope != 0;
        j->value[2] = slope;
        if (slope != 0) {
            double cafc = u.Passed() ? u.result[vantor::NvIndex(vantor::NvField::Cafc)]
                                     : trunc16(d.cafc - d.feHz / slope);
            j->has[1] = true;
            j->value[1] = cafc - (attempt - first);
        }
    }
    if (u.Passed())
        return;
    const size_t everyAttempt = 2 * static_cast<size_t>(w.attempts);
    if (!fine && coarse == everyAttempt && p.size() == everyAttempt)
        fail(j, 137, 31, "CDAC outside its window in every attempt");
    else if (fine && !inside(w.slope, j->value[2]))
        fail(j, 140, 34, "CAFC slope outside its window");
    else if (fine && !inside(w.cafc, j->value[1]))
        fail(j, 138, 32, "CAFC outside its window");
    else if (fine)
        j->failure = "failed after its last PFER point (a station fault: the flash write)";
    else
        j->failure = "stopped at PFER point " + std::to_string(p.size() + 1) +
                     " (a station fault: an RF tester error or a failed AFC command)";
}

// The other chips: their values as the result lines of a passed unit hold them.
void judgeFromResults(const LoggedUnit& u, JudgedUnit* j) {
    const std::vector<PferPoint>& p = u.points;
    if (u.Passed()) {
        j->has[0] = JudgesCdac(Row(u.chip)); // a chip that does not keeps its configured CDAC
        j->value[0] = u.result[vantor::NvIndex(vantor::NvField::Cdac)];
        j->has[1] = true;
        j->value[1] = u.result[vantor::NvIndex(vantor::NvField::Cafc)];
    }
    for (size_t i = p.size(); i-- > 1;) {
        if (p[i].cdac == p[i - 1].cdac && p[i].cafc != p[i - 1].cafc) {
            j->has[2] = true;
            j->value[2] = (p[i].feHz - p[i - 1].feHz) / (p[i].cafc - p[i - 1].cafc);
            break;
        }
    }
    if (!u.Passed())
        j->failure = std::string(ChipLabel(u.chip)) + " failed after " + std::to_string(p.size()) +
                     " PFER points";
}

} // namespace

JudgedUnit JudgeUnit(const LoggedUnit& u, const ConfigReport& windows) {
    JudgedUnit j;
    j.passed = u.Passed();
    if (!u.points.empty()) {
        j.hasReference = true;
        j.referenceHz = u.points[0].feHz;
    }
    if (u.chip == sim::Chip::VT318)
        judgeVt318(u, windows, &j);
    else
        judgeFromResults(u, &j);
    return j;
}

} // namespace station
