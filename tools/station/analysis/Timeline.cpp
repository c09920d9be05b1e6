#include "analysis/Timeline.h"

#include "support/StationChips.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace station {

namespace {

// The readings of golden units against their references: one tester's
// noise, pooled over the stations (each around its own bias).
double pooledVariance(const std::vector<Moments>& m) {
    double ss = 0;
    long df = 0;
    for (const Moments& x : m)
        if (x.n > 1) {
            ss += x.m2;
            df += x.n - 1;
        }
    return df > 0 ? ss / static_cast<double>(df) : -1;
}

std::string joined(const std::vector<const char*>& names) {
    std::string s;
    for (const char* n : names)
        s += (s.empty() ? "" : "+") + std::string(n);
    return s;
}

const char* anchoredMethod(long golden, long pairs) {
    return golden > 0 ? (pairs > 0 ? "golden+pairs" : "golden") : "pairs";
}

// Against the rest of the line, one tester's step moves every other
// station's bias the other way by a share of it: a change that coincides
// with a larger opposite one elsewhere is that one's echo, not a drift.
void dropEchoes(std::vector<StationStats>* stations) {
    std::vector<std::vector<DriftAlarm>> kept(stations->size());
    for (size_t s = 0; s < stations->size(); ++s)
        for (const DriftAlarm& d : (*stations)[s].alarms) {
            bool echo = false;
            for (size_t o = 0; o < stations->size() && !echo && d.method != "singles"; ++o)
                for (const DriftAlarm& e : (*stations)[o].alarms)
                    if (o != s && e.method != "singles" && d.time != kNoTime && e.time != kNoTime &&
                        std::llabs(ShiftOf(d.time) - ShiftOf(e.time)) <= 1 &&
                        d.shiftHz * e.shiftHz < 0 && std::fabs(e.shiftHz) > std::fabs(d.shiftHz))
                        echo = true;
            if (!echo)
                kept[s].push_back(d);
        }
    for (size_t s = 0; s < stations->size(); ++s)
        (*stations)[s].alarms.swap(kept[s]);
}

} // namespace

void Timeline::Thinned::Add(TimeMs t, double hz) {
    if (sums.empty() || sums.back().n >= block) {
        if (sums.size() >= kChartPoints) {
            HalveChart(&sums, [](Sum& into, const Sum& next) {
                into.t += next.t;
                into.hz += next.hz;
                into.n += next.n;
            });
            block *= 2;
        }
        if (sums.empty() || sums.back().n >= block)
            sums.emplace_back();
    }
    Sum& s = sums.back();
    s.t += static_cast<double>(t);
    s.hz += hz;
    ++s.n;
}

std::vector<GoldenPoint> Timeline::Thinned::Points() const {
    std::vector<GoldenPoint> out;
    for (const Sum& s : sums) {
        const double n = static_cast<double>(s.n);
        out.push_back({static_cast<TimeMs>(std::llround(s.t / n)), s.hz / n});
    }
    return out;
}

Timeline::Timeline(size_t stations, const GoldenUnits* golden, const TimelineParams& params)
    : m_stations(stations), m_golden(golden), m_params(params),
      m_singles(stations * AllChips().size()), m_pending(stations), m_pairs(stations),
      m_goldenRounds(stations), m_goldenAbsolute(stations), m_goldenPoints(stations),
      m_series(stations) {}

Timeline::OpenShift& Timeline::openShift(long long shift) {
    auto it = m_shifts.find(shift);
    if (it != m_shifts.end())
        return it->second;
    OpenShift& s = m_shifts[shift];
    s.stations.assign(m_stations, ShiftStation());
    s.pairs = GroupFit(m_stations);
    s.golden = GroupFit(m_stations);
    s.goldenAbsolute.assign(m_stations, Moments());
    return s;
}

void Timeline::Add(const LineReading& r) {
    ++m_seq;
    m_hasTimes = m_hasTimes || r.time != kNoTime;
    m_hasSerials = m_hasSerials || r.serial.Known();
    expire(r.time);
    const double* reference =
        m_golden != nullptr && r.serial.Known() ? m_golden->Find(r.serial) : nullptr;
    const bool golden = reference != nullptr;
    const size_t st = static_cast<size_t>(r.station);
    if (r.hasValue && !golden && r.attempt <= 1) {
        SelfStartingCusum::Alarm alarm;
        const size_t d = st * AllChips().size() + static_cast<size_t>(r.chip);
        if (m_singles[d].Add(r.value, r.tag, &alarm) && m_pending[st].size() < kAlarmsKept)
            m_pending[st].push_back({alarm.start, r.unit, alarm.shift, r.chip});
    }
    long long shift = kAnyShift;
    if (r.time != kNoTime) {
        // A clock set back lands in the first shift still open, not in one
        // already written.
        shift = m_finalizedThrough == INT64_MIN ? ShiftOf(r.time)
                                                : std::max(ShiftOf(r.time), m_finalizedThrough + 1);
        ShiftStation& s = openShift(shift).stations[st];
        if (!s.any) {
            s.any = true;
            s.firstTime = r.time;
            s.firstSerial = r.serial;
            s.firstUnit = r.unit;
            s.firstLine = r.line;
        }
        s.lastUnit = r.unit;
        if (!golden) {
            ++s.units;
            s.passed += r.passed ? 1 : 0;
            if (r.attempt <= 1) {
                ++s.firstTests;
                s.firstPassed += r.passed ? 1 : 0;
            }
        }
    }
    if (!r.serial.Known() || !r.hasValue)
        return;
    const GroupKey key{r.serial, golden ? shift : kAnyShift};
    auto it = m_groups.find(key);
    if (it == m_groups.end()) {
        Group g;
        g.first = r.time;
        g.firstSeq = m_seq;
        g.shift = shift;
        g.golden = golden;
        g.reference = reference;
        g.serial = r.serial;
        it = m_groups.emplace(key, std::move(g)).first;
        m_opened.push_back({key, r.time, m_seq});
    }
    it->second.members.push_back({r.value, r.time, r.station, r.chip});
}

void Timeline::expire(TimeMs now) {
    const TimeMs window = static_cast<TimeMs>(m_params.windowHours * 3600000.0);
    while (!m_opened.empty()) {
        const Opened& o = m_opened.front();
        const bool old = m_seq - o.seq > m_params.windowReadings ||
                         (now != kNoTime && o.first != kNoTime && now - o.first > window);
        if (!old)
            break;
        auto it = m_groups.find(o.key);
        close(it->second);
        m_groups.erase(it);
        m_opened.pop_front();
    }
    if (now == kNoTime)
        return;
    // A shift's groups have all closed a window after its end.
    while (!m_shifts.empty() && ShiftStart(m_shifts.begin()->first + 1) + window < now) {
        finalize(m_shifts.begin()->first, m_shifts.begin()->second);
        m_shifts.erase(m_shifts.begin());
    }
}

void Timeline::close(const Group& g) {
    OpenShift* shift =
        g.shift != kAnyShift && (m_finalizedThrough == INT64_MIN || g.shift > m_finalizedThrough)
            ? &openShift(g.shift)
            : nullptr;
    std::vector<int> stations;
    std::vector<double> values;
    if (g.golden) {
        m_goldenReadings += static_cast<long>(g.members.size());
        if (g.reference != nullptr && !std::isnan(*g.reference)) {
            if (std::find(m_goldenRead.begin(), m_goldenRead.end(), g.serial) == m_goldenRead.end())
                m_goldenRead.push_back(g.serial);
            for (const Member& m : g.members) {
                const double d = m.value - *g.reference;
                m_goldenAbsolute[static_cast<size_t>(m.station)].Add(d);
                if (shift != nullptr)
                    shift->goldenAbsolute[static_cast<size_t>(m.station)].Add(d);
                m_goldenPoints[static_cast<size_t>(m.station)].Add(m.time, d);
            }
            return;
        }
        for (const Member& m : g.members) {
            stations.push_back(m.station);
            values.push_back(m.value);
        }
        m_goldenRounds.AddGroup(stations.data(), values.data(), stations.size());
        if (shift != nullptr)
            shift->golden.AddGroup(stations.data(), values.data(), stations.size());
        // Each reading against the round's readings on the other stations.
        for (const Member& m : g.members) {
            double sum = 0;
            long n = 0;
            for (const Member& o : g.members)
                if (o.station != m.station) {
                    sum += o.value;
                    ++n;
                }
            if (n > 0)
                m_goldenPoints[static_cast<size_t>(m.station)].Add(
                    m.time, m.value - sum / static_cast<double>(n));
        }
        return;
    }
    // A serial is one handset, of one chip; readings of two chips under
    // one serial are not compared.
    std::vector<int> chips;
    for (const Member& m : g.members)
        if (std::find(chips.begin(), chips.end(), m.chip) == chips.end())
            chips.push_back(m.chip);
    for (int chip : chips) {
        stations.clear();
        values.clear();
        for (const Member& m : g.members)
            if (m.chip == chip) {
                stations.push_back(m.station);
                values.push_back(m.value);
            }
        if (stations.size() < 2)
            continue;
        ++m_pairGroups;
        m_pairs.AddGroup(stations.data(), values.data(), stations.size());
        if (shift != nullptr)
            shift->pairs.AddGroup(stations.data(), values.data(), stations.size());
    }
}

void Timeline::estimate(const OpenShift& s, std::vector<BiasEstimate>* bias,
                        std::vector<std::string>* method) const {
    bias->assign(m_stations, BiasEstimate());
    method->assign(m_stations, std::string());
    // A shift's few readings take their noise from the shifts' so far.
    const double noise = pairNoise();
    if (m_golden != nullptr && m_golden->withReferences) {
        const std::vector<BiasEstimate> b =
            s.pairs.Anchored(s.goldenAbsolute, goldenNoise(), noise);
        for (size_t st = 0; st < m_stations; ++st)
            if (b[st].known) {
                (*bias)[st] = b[st];
                (*method)[st] = anchoredMethod(s.goldenAbsolute[st].n, s.pairs.Readings(st));
            }
        return;
    }
    const std::vector<BiasEstimate> g = s.golden.Relative(m_goldenRounds.NoiseVariance());
    const std::vector<BiasEstimate> p = s.pairs.Relative(noise);
    for (size_t st = 0; st < m_stations; ++st) {
        (*bias)[st] = Combine({g[st], p[st]});
        std::vector<const char*> names;
        if (g[st].known)
            names.push_back("golden");
        if (p[st].known)
            names.push_back("pairs");
        (*method)[st] = joined(names);
    }
}

// One reading's noise from the scatter within each shift where the logs give
// times: a tester that steps or ages between shifts does not count as noise.
double Timeline::pairNoise() const {
    return m_shiftDf > 0 ? m_shiftRss / static_cast<double>(m_shiftDf) : m_pairs.NoiseVariance();
}

double Timeline::goldenNoise() const {
    return m_goldenShiftDf > 0 ? m_goldenShiftSs / static_cast<double>(m_goldenShiftDf)
                               : pooledVariance(m_goldenAbsolute);
}

void Timeline::finalize(long long shift, OpenShift& s) {
    if (m_finalizedThrough == INT64_MIN || shift > m_finalizedThrough)
        m_finalizedThrough = shift;
    double rss = 0;
    long df = 0;
    s.pairs.Residuals(&rss, &df);
    if (df > 0) {
        m_shiftRss += rss;
        m_shiftDf += df;
    }
    for (const Moments& g : s.goldenAbsolute)
        if (g.n > 1) {
            m_goldenShiftSs += g.m2;
            m_goldenShiftDf += g.n - 1;
        }
    std::vector<BiasEstimate> bias;
    std::vector<std::string> method;
    estimate(s, &bias, &method);
    ShiftRow line;
    line.shift = shift;
    line.station = -1;
    for (size_t st = 0; st < m_stations; ++st) {
        const ShiftStation& x = s.stations[st];
        if (!x.any && !bias[st].known)
            continue;
        ShiftRow row;
        row.shift = shift;
        row.station = static_cast<int>(st);
        row.units = x.units;
        row.passed = x.passed;
        row.firstTests = x.firstTests;
        row.firstPassed = x.firstPassed;
        row.bias = bias[st];
        row.method = method[st];
        m_rows.push_back(row);
        line.units += x.units;
        line.passed += x.passed;
        line.firstTests += x.firstTests;
        line.firstPassed += x.firstPassed;
        if (bias[st].known)
            m_series[st].push_back(
                {{ShiftStart(shift), bias[st].hz, bias[st].seHz}, method[st], x});
    }
    m_rows.push_back(line);
}

bool Timeline::Finish(LineAnalysis* a, const std::function<bool(long long, LineReading*)>& find,
                      std::string* error) {
    while (!m_opened.empty()) {
        auto it = m_groups.find(m_opened.front().key);
        close(it->second);
        m_groups.erase(it);
        m_opened.pop_front();
    }
    for (auto& kv : m_shifts)
        finalize(kv.first, kv.second);
    m_shifts.clear();

    a->hasTimes = m_hasTimes;
    a->hasSerials = m_hasSerials;
    a->goldenReadings = m_goldenReadings;
    a->pairs = m_pairGroups;
    const bool references = m_golden != nullptr && m_golden->withReferences;
    a->absolute = references && m_goldenReadings > 0;
    a->shifts = m_rows;

    // The line: every station merged.
    a->line = StationStats();
    for (size_t st = 0; st < a->stations.size(); ++st) {
        StationStats copy = a->stations[st];
        copy.alarms.clear();
        copy.chart.clear();
        if (st == 0)
            a->line = copy;
        else
            a->line.Merge(copy);
    }
    a->line.name = "line";
    a->line.incomplete = IncompleteLog(); // named per station

    const std::vector<BiasEstimate> singles = SinglesBias(a->stations);
    const double goldenVariance = goldenNoise();
    const double noise = pairNoise();
    const std::vector<BiasEstimate> pairs = m_pairs.Relative(noise);
    std::vector<BiasEstimate> golden = m_goldenRounds.Relative();
    std::vector<BiasEstimate> anchored(m_stations);
    if (references) {
        anchored = m_pairs.Anchored(m_goldenAbsolute, goldenVariance, noise);
        const double v = goldenVariance > 0 ? goldenVariance : noise;
        // Each reference is one reading on a tester without error: its noise
        // is shared by every reading of its unit, and so moves every station.
        const double level =
            m_goldenRead.empty() || !(v > 0) ? 0.0 : v / static_cast<double>(m_goldenRead.size());
        for (size_t st = 0; st < m_stations; ++st) {
            const Moments& g = m_goldenAbsolute[st];
            golden[st] = BiasEstimate();
            if (g.n > 0 && v > 0)
                golden[st] = {true, g.mean, std::sqrt(v / static_cast<double>(g.n) + level), g.n};
            if (anchored[st].known)
                anchored[st].seHz = std::sqrt(anchored[st].seHz * anchored[st].seHz + level);
        }
    }
    a->rows.clear();
    for (size_t st = 0; st < a->stations.size(); ++st) {
        StationStats& s = a->stations[st];
        StationRow r;
        r.stats = &s;
        r.golden = golden[st];
        r.pairs = pairs[st];
        r.singles = singles[st];
        BiasEstimate reported;
        if (anchored[st].known) {
            reported = anchored[st];
            r.method = anchoredMethod(m_goldenAbsolute[st].n, m_pairs.Readings(st));
        } else {
            reported = Combine({r.golden, r.pairs, r.singles});
            std::vector<const char*> names;
            if (r.golden.known)
                names.push_back("golden");
            if (r.pairs.known)
                names.push_back("pairs");
            if (r.singles.known)
                names.push_back("singles");
            r.method = joined(names);
        }
        r.biasHz = reported.hz;
        r.seHz = reported.seHz;
        const double mhz = s.CarrierMhz();
        if (mhz > 0) {
            r.biasPpm = r.biasHz / mhz;
            r.sePpm = r.seHz / mhz;
        }
        r.flagged =
            mhz > 0 && reported.known && std::fabs(r.biasPpm) - 2 * r.sePpm > a->biasLimitPpm;
        r.goldenPoints = m_goldenPoints[st].Points();

        // Drift: changes in the shifts' biases; singles where none is logged.
        s.alarms.clear();
        const std::vector<ShiftPoint>& series = m_series[st];
        if (series.size() >= 2) {
            std::vector<Estimate> est;
            for (const ShiftPoint& p : series)
                est.push_back(p.estimate);
            const std::vector<Change> changes = FindChanges(est);
            for (const Change& c : changes) {
                if (c.start >= series.size() || s.alarms.size() >= kAlarmsKept)
                    continue;
                const ShiftPoint& at = series[c.start];
                DriftAlarm d;
                d.unit = at.where.firstUnit;
                d.line = at.where.firstLine;
                d.raised = series[std::min(c.raised, series.size() - 1)].where.lastUnit;
                d.shiftHz = c.shift;
                d.time = at.where.firstTime;
                d.serial = serialText(at.where.firstSerial);
                d.method = at.method;
                s.alarms.push_back(d);
            }
            const size_t from = TrendStart(est, changes);
            if (mhz > 0)
                r.trend = FitTrend(
                    std::vector<Estimate>(est.begin() + static_cast<long>(from), est.end()),
                    a->biasLimitPpm * mhz);
        } else {
            for (const PendingAlarm& p : m_pending[st]) {
                LineReading start;
                if (!find(p.startTag, &start)) {
                    *error = "a drift alarm's first reading cannot be read back";
                    return false;
                }
                DriftAlarm d;
                d.unit = start.unit;
                d.line = start.line;
                d.raised = p.raised;
                d.shiftHz = p.shift;
                d.time = start.time;
                d.serial = serialText(start.serial);
                d.method = "singles";
                d.chip = p.chip;
                s.alarms.push_back(d);
            }
        }
        a->rows.push_back(r);
    }
    if (!a->absolute)
        dropEchoes(&a->stations);
    return true;
}

} // namespace station
