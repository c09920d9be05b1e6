#include "analysis/Analysis.h"

#include "support/Jobs.h"
#include "support/Json.h"
#include "logs/LogSource.h"
#include "commands/Options.h"
#include "reports/Report.h"
#include "support/StationChips.h"
#include "common/ReportVocabulary.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace station {

namespace {

constexpr unsigned kModule = 14; // the library's triples
constexpr size_t kAlarmsKept = 50, kChartPoints = 240, kUnreadKept = 5;
constexpr size_t kBins = 1200; // fine enough for a spread far inside its window

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

double CarrierMhz(int band, int ch) {
    switch (band) {
    case 0:
        return ch >= 128 && ch <= 251 ? 824.2 + 0.2 * (ch - 128) : 0;
    case 1:
        if (ch >= 0 && ch <= 124)
            return 890.0 + 0.2 * ch;
        return ch >= 975 && ch <= 1023 ? 890.0 + 0.2 * (ch - 1024) : 0;
    case 2:
        return ch >= 512 && ch <= 885 ? 1710.2 + 0.2 * (ch - 512) : 0;
    case 3:
        return ch >= 512 && ch <= 810 ? 1850.2 + 0.2 * (ch - 512) : 0;
    }
    return 0;
}

const char* ValueName(int value) {
    static const char* const names[kValues] = {vantor::kItemCdac, vantor::kItemCafc,
                                               vantor::kItemCafcSlope};
    return value >= 0 && value < kValues ? names[value] : "?";
}

// --- capability --------------------------------------------------------------

void Capability::Setup(const Window& w) {
    known = w.known;
    low = w.low;
    high = w.high;
    double span = std::max(high - low, 1.0);
    bins.Setup(low - span / 2, high + span / 2, kBins);
}

void Capability::Add(double v) {
    moments.Add(v);
    ranges.Add(v);
    bins.Add(v);
    if (known && (v < low || v > high))
        ++outside;
}

void Capability::Merge(const Capability& later) {
    moments.Merge(later.moments);
    ranges.Merge(later.ranges);
    bins.Merge(later.bins);
    outside += later.outside;
}

double Capability::Cp() const {
    double s = ranges.SdWithin();
    return s > 0 ? (high - low) / (6 * s) : NAN;
}

double Capability::Cpk() const {
    double s = ranges.SdWithin();
    return s > 0 ? std::min(high - moments.mean, moments.mean - low) / (3 * s) : NAN;
}

double Capability::Ppk() const {
    double s = moments.Sd();
    return s > 0 ? std::min(high - moments.mean, moments.mean - low) / (3 * s) : NAN;
}

double Capability::ExpectedOutside() const {
    double s = moments.Sd();
    if (!(s > 0))
        return moments.mean < low || moments.mean > high ? 1.0 : 0.0;
    return NormalTail((high - moments.mean) / s) + NormalTail((moments.mean - low) / s);
}

const char* Capability::Level() const {
    double c = Cpk();
    if (std::isnan(c))
        return "-";
    return c >= 1.67 ? "capable" : c >= 1.33 ? "marginal" : "not capable";
}

void Capability::Save(Archive& a) const {
    a.Put(known);
    a.Put(low);
    a.Put(high);
    a.Put(outside);
    moments.Save(a);
    ranges.Save(a);
    bins.Save(a);
}

bool Capability::Load(Archive& a) {
    return a.Get(&known) && a.Get(&low) && a.Get(&high) && a.Get(&outside) && moments.Load(a) &&
           ranges.Load(a) && bins.Load(a);
}

// --- drift -------------------------------------------------------------------

bool Cusum::Add(double v, long unit, long line, DriftAlarm* alarm) {
    if (!ready) {
        reference.Add(v);
        if (reference.n < kReferenceUnits)
            return false;
        target = reference.mean;
        sd = reference.Sd();
        ready = sd > 0;
        return false;
    }
    double z = (v - target) / sd;
    if (up <= 0) {
        upStart = unit;
        upStartLine = line;
        upN = 0;
    }
    if (down <= 0) {
        downStart = unit;
        downStartLine = line;
        downN = 0;
    }
    up = Step(up, z);
    down = Step(down, -z);
    ++upN;
    ++downN;
    if (up <= kLimit && down <= kLimit)
        return false;
    const bool rising = up > kLimit;
    const double n = static_cast<double>(rising ? upN : downN);
    const double shift = (rising ? 1 : -1) * sd * (kSlack + (rising ? up : down) / n);
    alarm->unit = rising ? upStart : downStart;
    alarm->raised = unit;
    alarm->line = rising ? upStartLine : downStartLine;
    alarm->shiftHz = shift;
    // The level after the shift is learnt afresh, as at the start: one step
    // raises one alarm.
    reference = Moments();
    ready = false;
    up = down = 0;
    return true;
}

void Cusum::Shift(long units, long lines) {
    upStart += units;
    downStart += units;
    upStartLine += lines;
    downStartLine += lines;
}

void Cusum::Save(Archive& a) const {
    reference.Save(a);
    for (double v : {target, sd, up, down})
        a.Put(v);
    for (long v : {upStart, downStart, upStartLine, downStartLine, upN, downN})
        a.Put(v);
    a.Put(ready);
}

bool Cusum::Load(Archive& a) {
    return reference.Load(a) && a.Get(&target) && a.Get(&sd) && a.Get(&up) && a.Get(&down) &&
           a.Get(&upStart) && a.Get(&downStart) && a.Get(&upStartLine) && a.Get(&downStartLine) &&
           a.Get(&upN) && a.Get(&downN) && a.Get(&ready);
}

void DriftJoin::Save(Archive& a) const {
    a.Put(tail);
    a.Put(met);
    start.Save(a);
    end.Save(a);
    a.Put(metUp);
    a.Put(metDown);
    a.Put(static_cast<long long>(prefix.size()));
    for (const DriftInput& d : prefix) {
        a.Put(d.v);
        a.Put(d.unit);
        a.Put(d.line);
    }
}

bool DriftJoin::Load(Archive& a) {
    long long n = 0;
    if (!a.Get(&tail) || !a.Get(&met) || !start.Load(a) || !end.Load(a) || !a.Get(&metUp) ||
        !a.Get(&metDown) || !a.Get(&n) || n < 0 || n > static_cast<long long>(kPrefixKept))
        return false;
    prefix.resize(static_cast<size_t>(n));
    for (DriftInput& d : prefix)
        if (!a.Get(&d.v) || !a.Get(&d.unit) || !a.Get(&d.line))
            return false;
    return true;
}

bool DriftJoins(const Cusum& before, const DriftJoin& join) {
    if (!join.met || !before.ready || !join.start.ready || before.target != join.start.target ||
        before.sd != join.start.sd)
        return false;
    Cusum c = before;
    DriftAlarm unused;
    for (const DriftInput& d : join.prefix)
        if (c.Add(d.v, d.unit, d.line, &unused))
            return false;
    return c.up == join.metUp && c.down == join.metDown;
}

// --- a station ---------------------------------------------------------------

void StationStats::Setup(const std::vector<ConfigReport>& windows) {
    values.resize(windows.size());
    for (size_t c = 0; c < windows.size(); ++c) {
        const Window w[kValues] = {windows[c].cdac, windows[c].cafc, windows[c].slope};
        for (int v = 0; v < kValues; ++v)
            values[c][v].Setup(w[v]);
    }
}

double StationStats::CarrierMhz() const {
    return station::CarrierMhz(band, channel);
}

void StationStats::Merge(const StationStats& later) {
    if (band < 0) {
        band = later.band;
        channel = later.channel;
    }
    for (DriftAlarm a : later.alarms) {
        if (alarms.size() >= kAlarmsKept)
            break;
        a.unit += units;
        a.raised += units;
        a.line += lines;
        alarms.push_back(a);
    }
    for (ChartPoint p : later.chart) {
        p.firstUnit += units;
        chart.push_back(p);
    }
    join.end = later.join.end;
    join.end.Shift(units, lines);
    // Adjacent points merged until the chart is its usual size again.
    while (chart.size() > kChartPoints) {
        std::vector<ChartPoint> half;
        for (size_t i = 0; i < chart.size(); i += 2) {
            ChartPoint p = chart[i];
            if (i + 1 < chart.size()) {
                p.units += chart[i + 1].units;
                p.sum += chart[i + 1].sum;
            }
            half.push_back(p);
        }
        chart.swap(half);
    }
    for (UnreadLine u : later.unreadExamples) {
        if (unreadExamples.size() >= kUnreadKept)
            break;
        u.number += lines;
        unreadExamples.push_back(u);
    }
    if (!Incomplete() && later.Incomplete()) {
        incomplete = later.incomplete;
        incomplete.line += lines;
        incomplete.units += units;
    }
    lines += later.lines;
    units += later.units;
    passed += later.passed;
    unread += later.unread;
    bytes += later.bytes;
    for (const auto& kv : later.failures) {
        FailureCount& f = failures[kv.first];
        long n = f.count;
        f = kv.second;
        f.count += n;
    }
    if (values.empty())
        values = later.values;
    else
        for (size_t c = 0; c < values.size() && c < later.values.size(); ++c)
            for (int v = 0; v < kValues; ++v)
                values[c][v].Merge(later.values[c][v]);
    reference.Merge(later.reference);
}

void StationStats::Save(Archive& a) const {
    a.Put(name);
    a.Put(lines);
    a.Put(units);
    a.Put(passed);
    a.Put(unread);
    a.Put(static_cast<long long>(bytes));
    a.Put(band);
    a.Put(channel);
    a.Put(static_cast<long long>(unreadExamples.size()));
    for (const UnreadLine& u : unreadExamples) {
        a.Put(u.number);
        a.Put(u.text);
    }
    a.Put(static_cast<long long>(failures.size()));
    for (const auto& kv : failures) {
        a.Put(kv.first);
        a.Put(kv.second.count);
        a.Put(kv.second.hasTriple);
        for (unsigned t : kv.second.triple)
            a.Put(static_cast<long long>(t));
        a.Put(kv.second.text);
    }
    a.Put(static_cast<long long>(values.size()));
    for (const auto& chip : values)
        for (const Capability& c : chip)
            c.Save(a);
    reference.Save(a);
    a.Put(static_cast<long long>(alarms.size()));
    for (const DriftAlarm& d : alarms) {
        a.Put(d.unit);
        a.Put(d.raised);
        a.Put(d.line);
        a.Put(d.shiftHz);
    }
    join.Save(a);
    incomplete.Save(a);
    a.Put(static_cast<long long>(chart.size()));
    for (const ChartPoint& p : chart) {
        a.Put(p.firstUnit);
        a.Put(p.units);
        a.Put(p.sum);
    }
}

bool StationStats::Load(Archive& a) {
    long long n = 0, b = 0;
    if (!a.Get(&name) || !a.Get(&lines) || !a.Get(&units) || !a.Get(&passed) || !a.Get(&unread) ||
        !a.Get(&b) || !a.Get(&band) || !a.Get(&channel) || !a.Get(&n))
        return false;
    bytes = b;
    unreadExamples.resize(static_cast<size_t>(std::max(0LL, std::min(n, 100LL))));
    for (UnreadLine& u : unreadExamples)
        if (!a.Get(&u.number) || !a.Get(&u.text))
            return false;
    if (!a.Get(&n))
        return false;
    for (long long i = 0; i < n; ++i) {
        std::string key;
        FailureCount f;
        if (!a.Get(&key) || !a.Get(&f.count) || !a.Get(&f.hasTriple))
            return false;
        for (unsigned& t : f.triple) {
            long long x = 0;
            if (!a.Get(&x))
                return false;
            t = static_cast<unsigned>(x);
        }
        if (!a.Get(&f.text))
            return false;
        failures[key] = f;
    }
    if (!a.Get(&n) || n < 0 || n > 64)
        return false;
    values.resize(static_cast<size_t>(n));
    for (auto& chip : values)
        for (Capability& c : chip)
            if (!c.Load(a))
                return false;
    if (!reference.Load(a) || !a.Get(&n))
        return false;
    alarms.resize(static_cast<size_t>(std::max(0LL, std::min(n, 1000LL))));
    for (DriftAlarm& d : alarms)
        if (!a.Get(&d.unit) || !a.Get(&d.raised) || !a.Get(&d.line) || !a.Get(&d.shiftHz))
            return false;
    if (!join.Load(a) || !incomplete.Load(a) || !a.Get(&n))
        return false;
    chart.resize(static_cast<size_t>(std::max(0LL, std::min(n, 100000LL))));
    for (ChartPoint& p : chart)
        if (!a.Get(&p.firstUnit) || !a.Get(&p.units) || !a.Get(&p.sum))
            return false;
    return a.Ok();
}

namespace {

// Folds units into a station's statistics as they come.
class Folder {
public:
    Folder(StationStats* s, const std::vector<ConfigReport>* windows)
        : m_s(s), m_windows(windows) {}

    void Unit(const LoggedUnit& u) {
        StationStats& s = *m_s;
        ++s.units;
        if (s.band < 0) {
            s.band = u.band;
            s.channel = u.channel;
        }
        JudgedUnit j = JudgeUnit(u, (*m_windows)[ChipIndex(u.chip)]);
        if (j.passed) {
            ++s.passed;
        } else {
            std::string key = j.hasTriple ? "(" + std::to_string(j.triple[0]) + ", " +
                                                std::to_string(j.triple[1]) + ", " +
                                                std::to_string(j.triple[2]) + ") " + j.failure
                                          : j.failure;
            FailureCount& f = s.failures[key];
            ++f.count;
            f.hasTriple = j.hasTriple;
            std::memcpy(f.triple, j.triple, sizeof f.triple);
            f.text = j.failure;
        }
        for (int v = 0; v < kValues; ++v)
            if (j.has[v])
                s.values[ChipIndex(u.chip)][v].Add(j.value[v]);
        if (!j.hasReference)
            return;
        s.reference.Add(j.referenceHz);
        chart(j.referenceHz);
        if (m_following)
            follow(j.referenceHz, s.units, u.firstLine);
        DriftAlarm alarm;
        const bool alarmed = m_cusum.Add(j.referenceHz, s.units, u.firstLine, &alarm);
        if (alarmed && s.alarms.size() < kAlarmsKept)
            s.alarms.push_back(alarm);
        if (m_following)
            met(alarmed);
    }

    // The part starts further into its log: at rest on the head's reference,
    // its first units kept until the highest start's sums meet its own.
    void StartAtRest() {
        DriftJoin& j = m_s->join;
        j.tail = true;
        j.start = m_cusum;
        m_following = m_cusum.ready;
        m_highUp = m_highDown = Cusum::kLimit;
    }
    // The detector as the units before the part left it.
    void StartFrom(const Cusum& c) {
        m_cusum = c;
        m_s->join.start = c;
    }
    void Finish() { m_s->join.end = m_cusum; }

    // The reference of a part that starts further into its log.
    void Reference(double v) {
        DriftAlarm unused;
        m_cusum.Add(v, 0, 0, &unused);
    }
    bool ReferenceReady() const {
        return m_cusum.ready || m_cusum.reference.n >= Cusum::kReferenceUnits;
    }

private:
    void follow(double v, long unit, long line) {
        DriftJoin& j = m_s->join;
        if (j.prefix.size() >= DriftJoin::kPrefixKept) {
            m_following = false; // never met: the merge reads the part again
            return;
        }
        j.prefix.push_back({v, unit, line});
        const double z = (v - m_cusum.target) / m_cusum.sd;
        m_highUp = Cusum::Step(m_highUp, z);
        m_highDown = Cusum::Step(m_highDown, -z);
    }
    void met(bool alarmed) {
        DriftJoin& j = m_s->join;
        if (alarmed) {
            m_following = false; // an alarm before the sums met: the merge reads the part again
        } else if (m_highUp == m_cusum.up && m_highDown == m_cusum.down) {
            j.met = true;
            j.metUp = m_cusum.up;
            j.metDown = m_cusum.down;
            m_following = false;
        }
    }

    // Batch means of the reference-point error, in blocks that double to keep the chart's size.
    void chart(double v) {
        std::vector<ChartPoint>& c = m_s->chart;
        if (c.empty() || c.back().units >= m_block) {
            if (c.size() >= kChartPoints) {
                std::vector<ChartPoint> half;
                for (size_t i = 0; i + 1 < c.size(); i += 2)
                    half.push_back(
                        {c[i].firstUnit, c[i].units + c[i + 1].units, c[i].sum + c[i + 1].sum});
                if (c.size() % 2 == 1)
                    half.push_back(c.back());
                c.swap(half);
                m_block *= 2;
            }
            if (c.empty() || c.back().units >= m_block)
                c.push_back({m_s->units, 0, 0});
        }
        ++c.back().units;
        c.back().sum += v;
    }

    StationStats* m_s;
    const std::vector<ConfigReport>* m_windows;
    Cusum m_cusum;
    bool m_following = false;
    double m_highUp = 0, m_highDown = 0;
    long m_block = 1;
};

} // namespace

bool AnalysePart(const PartInput& in, const std::vector<ConfigReport>& windows, StationStats* stats,
                 std::string* error, const Cusum* start) {
    StationStats& s = *stats;
    s = StationStats();
    s.name = in.log->station;
    s.Setup(windows);
    Folder folder(&s, &windows);
    if (start != nullptr) {
        folder.StartFrom(*start);
    } else if (in.part->begin > 0) {
        // The drift reference is the log's first units, wherever the part starts.
        LogPart head = *in.part;
        head.begin = 0;
        head.end = -1;
        PartReader reader(*in.log, head);
        if (!reader.Open()) {
            *error = reader.Error();
            return false;
        }
        UnitReader units([&](LoggedUnit& u) {
            JudgedUnit j = JudgeUnit(u, windows[ChipIndex(u.chip)]);
            if (j.hasReference)
                folder.Reference(j.referenceHz);
        });
        std::string_view line;
        long n = 0;
        while (!folder.ReferenceReady() && reader.Next(&line))
            units.Line(line, ++n);
        folder.StartAtRest();
    }
    PartReader reader(*in.log, *in.part);
    if (!reader.Open()) {
        *error = reader.Error();
        return false;
    }
    UnitReader units([&](LoggedUnit& u) { folder.Unit(u); });
    std::string_view line;
    long n = 0;
    while (reader.Next(&line))
        units.Line(line, ++n);
    if (reader.Stop().Early()) {
        // What was read before the stop is kept; the units it cut are not judged.
        s.incomplete.log = in.log->path;
        s.incomplete.stop = reader.Stop();
        s.incomplete.line = n + 1;
        s.incomplete.cutUnits = units.Cut();
        s.incomplete.units = s.units;
    } else {
        units.Finish();
    }
    folder.Finish();
    const HostLog& counts = units.Counts();
    s.lines = n;
    s.unread = counts.unread;
    s.unreadExamples = counts.unreadExamples;
    s.bytes = reader.BytesRead();
    return true;
}

// --- stations compared -------------------------------------------------------

void CompareStations(LineAnalysis* a) {
    a->line = StationStats();
    a->line.name = "line";
    bool first = true;
    for (const StationStats& s : a->stations) {
        if (first) {
            a->line = s;
            a->line.name = "line";
            a->line.alarms.clear();
            a->line.chart.clear();
            first = false;
        } else {
            StationStats copy = s;
            copy.alarms.clear();
            copy.chart.clear();
            a->line.Merge(copy);
        }
    }
    a->line.incomplete = IncompleteLog(); // named per station
    a->rows.clear();
    for (const StationStats& s : a->stations) {
        StationRow r;
        r.stats = &s;
        // The rest of the line: every other station's units.
        Moments rest;
        for (const StationStats& o : a->stations)
            if (&o != &s)
                rest.Merge(o.reference);
        if (s.reference.n > 1 && rest.n > 1) {
            // Crystals reach stations at random: a station's mean differs from
            // the rest's by chance (its standard error) or by its tester.
            r.biasHz = s.reference.mean - rest.mean;
            r.seHz = std::sqrt(s.reference.Variance() / static_cast<double>(s.reference.n) +
                               rest.Variance() / static_cast<double>(rest.n));
        }
        double mhz = s.CarrierMhz();
        if (mhz > 0) {
            r.biasPpm = r.biasHz / mhz;
            r.sePpm = r.seHz / mhz;
        }
        r.flagged = mhz > 0 && rest.n > 1 && std::fabs(r.biasPpm) - 2 * r.sePpm > a->biasLimitPpm;
        a->rows.push_back(r);
    }
}

// --- the report --------------------------------------------------------------

namespace {

double percent(long n, long of) {
    return of > 0 ? 100.0 * static_cast<double>(n) / static_cast<double>(of) : 0.0;
}

std::string num(const char* format, double v) {
    if (std::isnan(v))
        return "-";
    return FormatNumber(format, v);
}

template <typename Each> void eachCapability(const LineAnalysis& a, Each each) {
    auto one = [&](const StationStats& s, const std::string* station) {
        for (sim::Chip chip : AllChips())
            for (int v = 0; v < kValues; ++v) {
                const Capability& c = s.values.at(ChipIndex(chip))[v];
                if (c.known && c.moments.n > 0)
                    each(station, chip, v, c);
            }
    };
    one(a.line, nullptr);
    if (a.stations.size() > 1)
        for (const StationStats& s : a.stations)
            one(s, &s.name);
}

} // namespace

void PrintAnalysis(FILE* out, const LineAnalysis& a) {
    const StationStats& l = a.line;
    std::fprintf(out, "Config     %s\n", a.config.c_str());
    std::fprintf(out, "Logs       %zu station%s, %ld lines, %ld units, %ld unread lines\n",
                 a.stations.size(), a.stations.size() == 1 ? "" : "s", l.lines, l.units, l.unread);
    for (const StationStats& s : a.stations)
        for (const UnreadLine& u : s.unreadExamples)
            std::fprintf(out, "           %s line %ld: %s\n", s.name.c_str(), u.number,
                         u.text.c_str());
    for (const StationStats& s : a.stations)
        if (s.Incomplete())
            std::fprintf(out, "Incomplete %s\n", s.incomplete.Summary().c_str());
    std::fprintf(out, "Yield      %ld of %ld passed (%.2f %%)\n", l.passed, l.units,
                 percent(l.passed, l.units));
    std::fprintf(out, "Stations   %-14s %9s %9s %8s %10s %8s %10s %8s\n", "name", "units", "passed",
                 "yield %", "bias Hz", "+-", "bias ppm", "+-");
    for (const StationRow& r : a.rows) {
        const StationStats& s = *r.stats;
        std::fprintf(out, "           %-14s %9ld %9ld %8.2f %10.1f %8.1f %10.4f %8.4f%s\n",
                     s.name.c_str(), s.units, s.passed, percent(s.passed, s.units), r.biasHz,
                     r.seHz, r.biasPpm, r.sePpm, r.flagged ? "  TESTER BIAS" : "");
    }
    std::fprintf(out,
                 "           bias: each station's mean error at the reference point (the first\n"
                 "           PFER point) against the rest of the line's; the flashed CAFC cannot\n"
                 "           show it (the CDAC is chosen on the biased reading); named beyond\n"
                 "           %.3f ppm by two standard errors\n",
                 a.biasLimitPpm);
    for (const StationRow& r : a.rows)
        if (r.flagged)
            std::fprintf(out, "Flagged    %s: tester reads %.1f Hz (%.4f ppm of %.1f MHz) off\n",
                         r.stats->name.c_str(), r.biasHz, r.biasPpm, r.stats->CarrierMhz());
    if (!l.failures.empty()) {
        std::fprintf(out, "Failures   units  station\n");
        for (const StationStats& s : a.stations)
            for (const auto& kv : s.failures)
                std::fprintf(out, "           %5ld  %-14s %s\n", kv.second.count, s.name.c_str(),
                             kv.first.c_str());
    }
    std::fprintf(out, "Capability %-8s %-11s %-14s %9s %9s %9s %6s %6s %6s %9s %9s  %s\n", "chip",
                 "value", "station", "window", "mean", "sd within", "Cp", "Cpk", "Ppk", "expected%",
                 "counted%", "level");
    eachCapability(a, [&](const std::string* station, sim::Chip chip, int v, const Capability& c) {
        std::string window = FormatNumber("%g", c.low) + ".." + FormatNumber("%g", c.high);
        std::fprintf(
            out, "           %-8s %-11s %-14s %9s %9.3f %9.3f %6s %6s %6s %9.4f %9.4f  %s\n",
            ChipLabel(chip), ValueName(v), station != nullptr ? station->c_str() : "line",
            window.c_str(), c.moments.mean, c.ranges.SdWithin(), num("%.2f", c.Cp()).c_str(),
            num("%.2f", c.Cpk()).c_str(), num("%.2f", c.Ppk()).c_str(), 100 * c.ExpectedOutside(),
            percent(c.outside, c.moments.n), c.Level());
    });
    std::fprintf(out,
                 "Drift      CUSUM on the reference-point error, k = %.2f sd, h = %.0f sd, "
                 "reference the station's first %ld units\n",
                 Cusum::kSlack, Cusum::kLimit, Cusum::kReferenceUnits);
    long alarms = 0;
    for (const StationStats& s : a.stations)
        for (const DriftAlarm& d : s.alarms) {
            ++alarms;
            double mhz = s.CarrierMhz();
            std::fprintf(out,
                         "           %s: from unit %ld (line %ld) the tester reads %.1f Hz "
                         "(%.4f ppm) further off; alarmed at unit %ld\n",
                         s.name.c_str(), d.unit, d.line, d.shiftHz, mhz > 0 ? d.shiftHz / mhz : 0.0,
                         d.raised);
        }
    if (alarms == 0)
        std::fprintf(out, "           no alarm\n");
    if (a.seconds > 0)
        std::fprintf(out, "Computed   in %.2f s here with %d job%s (%.0f units/s, %.0f MB/s)%s\n",
                     a.seconds, a.jobs, a.jobs == 1 ? "" : "s", l.units / a.seconds,
                     static_cast<double>(a.bytes) / 1e6 / a.seconds,
                     a.partsReadAgain > 0 ? (", " + std::to_string(a.partsReadAgain) +
                                             " part(s) read again for the drift across a cut")
                                                .c_str()
                                          : "");
}

void PrintAnalysisJson(FILE* out, const LineAnalysis& a) {
    auto line = [&](const JsonObject& o) { std::fprintf(out, "%s\n", o.Text().c_str()); };
    for (const StationRow& r : a.rows) {
        const StationStats& s = *r.stats;
        line(JsonObject()
                 .Str("kind", "station")
                 .Str("name", s.name)
                 .Int("units", s.units)
                 .Int("passed", s.passed)
                 .Num("yield", percent(s.passed, s.units))
                 .Num("bias_hz", r.biasHz)
                 .Num("bias_se_hz", r.seHz)
                 .Num("bias_ppm", r.biasPpm)
                 .Num("bias_se_ppm", r.sePpm)
                 .Num("carrier_mhz", s.CarrierMhz())
                 .Bool("flagged", r.flagged)
                 .Int("unread", s.unread));
    }
    eachCapability(a, [&](const std::string* station, sim::Chip chip, int v, const Capability& c) {
        JsonObject o;
        o.Str("kind", "capability");
        if (station != nullptr)
            o.Str("station", *station);
        else
            o.Null("station");
        line(o.Str("chip", ChipLabel(chip))
                 .Str("value", ValueName(v))
                 .Num("low", c.low)
                 .Num("high", c.high)
                 .Int("units", c.moments.n)
                 .Num("mean", c.moments.mean)
                 .Num("sd_within", c.ranges.SdWithin())
                 .Num("sd_overall", c.moments.Sd())
                 .Num("cp", c.Cp())
                 .Num("cpk", c.Cpk())
                 .Num("ppk", c.Ppk())
                 .Num("expected_outside", c.ExpectedOutside())
                 .Int("outside", c.outside)
                 .Str("level", c.Level()));
    });
    for (const StationStats& s : a.stations)
        for (const DriftAlarm& d : s.alarms) {
            double mhz = s.CarrierMhz();
            line(JsonObject()
                     .Str("kind", "drift")
                     .Str("station", s.name)
                     .Int("unit", d.unit)
                     .Int("alarm_unit", d.raised)
                     .Int("line", d.line)
                     .Num("shift_hz", d.shiftHz)
                     .Num("shift_ppm", mhz > 0 ? d.shiftHz / mhz : NAN));
        }
    JsonArray failures;
    for (const auto& kv : a.line.failures) {
        const FailureCount& f = kv.second;
        JsonObject o;
        o.Int("count", f.count);
        if (f.hasTriple)
            o.Raw("error", JsonArray()
                               .Add(std::to_string(f.triple[0]))
                               .Add(std::to_string(f.triple[1]))
                               .Add(std::to_string(f.triple[2]))
                               .Text());
        else
            o.Null("error");
        failures.Add(o.Str("text", f.text).Text());
    }
    const StationStats& l = a.line;
    JsonObject summary;
    summary.Str("kind", "summary")
        .Int("stations", static_cast<long long>(a.stations.size()))
        .Int("units", l.units)
        .Int("passed", l.passed)
        .Num("yield", percent(l.passed, l.units))
        .Int("lines", l.lines)
        .Int("unread", l.unread)
        .Raw("failures", failures.Text())
        .Num("bias_limit_ppm", a.biasLimitPpm)
        .Int("flagged", std::count_if(a.rows.begin(), a.rows.end(),
                                      [](const StationRow& r) { return r.flagged; }));
    // Only a log that stopped early adds the member: whole logs' lines stay as they were.
    JsonArray incomplete;
    bool any = false;
    for (const StationStats& s : a.stations)
        if (s.Incomplete()) {
            incomplete.Add(IncompleteJson(s.incomplete));
            any = true;
        }
    if (any)
        summary.Raw("incomplete", incomplete.Text());
    line(summary);
}

} // namespace station
