#include "analysis/Change.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace station {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The upper tail of the standard normal, and its logarithm's slope.
double UpperTail(double z) {
    return 0.5 * std::erfc(z / std::sqrt(2.0));
}
double Density(double z) {
    return std::exp(-0.5 * z * z) / std::sqrt(2 * kPi);
}

// Student's t with `df` degrees of freedom: P(T > t) for t >= 0, from the
// finite series in cos^2 of atan(t / sqrt(df)) that holds for whole df.
double StudentUpperTail(double t, long df) {
    const double theta = std::atan(t / std::sqrt(static_cast<double>(df)));
    const double c2 = std::cos(theta) * std::cos(theta), s = std::sin(theta);
    double inside = 0; // P(|T| <= t)
    if (df % 2 == 1) {
        double term = 1, sum = 0;
        if (df > 1) {
            sum = 1;
            for (long j = 3; j <= df - 2; j += 2) {
                term *= c2 * static_cast<double>(j - 1) / static_cast<double>(j);
                sum += term;
            }
        }
        inside = 2 / kPi * (theta + s * std::cos(theta) * sum);
    } else {
        double term = 1, sum = 1;
        for (long j = 2; j <= df - 2; j += 2) {
            term *= c2 * static_cast<double>(j - 1) / static_cast<double>(j);
            sum += term;
        }
        inside = s * sum;
    }
    return std::max(0.0, 0.5 * (1 - inside));
}

// Hill's asymptotic normal deviate for t (ACM Algorithm 395), for t >= 0.
double HillDeviate(double t, double df) {
    const double a = df - 0.5, b = 48 * a * a;
    const double y = a * std::log1p(t * t / df);
    return (((((-0.4 * y - 3.3) * y - 24) * y - 85.5) / (0.8 * y * y + 100 + b) + y + 3) / b + 1) *
           std::sqrt(y);
}

// Past this many degrees of freedom Hill's deviate agrees with the exact one
// to better than 1e-9, and costs a fixed few operations.
constexpr long kSeriesDf = 60;
// A deviate this far out is an outlier whatever its size: the sums stay finite.
constexpr double kMaxDeviate = 40;

} // namespace

double StudentToNormal(double t, long df) {
    if (std::isnan(t) || df < 1)
        return 0;
    const double at = std::fabs(t);
    double z = 0;
    if (!std::isfinite(at)) {
        z = kMaxDeviate;
    } else if (df > kSeriesDf) {
        z = HillDeviate(at, static_cast<double>(df));
    } else {
        // The deviate with the same upper tail: Newton on log Q(z), which is
        // concave, so the steps close in from above after the first.
        const double p = StudentUpperTail(at, df);
        if (p <= 0) {
            z = kMaxDeviate;
        } else {
            const double target = std::log(p);
            z = std::max(0.0, HillDeviate(at, static_cast<double>(df)));
            for (int i = 0; i < 60; ++i) {
                const double q = UpperTail(z);
                const double step = (std::log(q) - target) / (Density(z) / q);
                z += step;
                if (std::fabs(step) < 1e-13 * std::max(1.0, z))
                    break;
            }
        }
    }
    z = std::min(z, kMaxDeviate);
    return t < 0 ? -z : z;
}

bool SelfStartingCusum::Add(double v, long long tag, Alarm* alarm) {
    if (!std::isfinite(v))
        return false;
    const long before = m_seen.n;
    const double sd = m_seen.Sd();
    if (before < kWarmUp || sd <= 0) {
        m_seen.Add(v);
        return false;
    }
    // Hawkins: the reading against those before it is Student's t with
    // before - 1 degrees of freedom, mapped to the normal deviate of the same tail.
    const double n = static_cast<double>(before);
    const double z = StudentToNormal((v - m_seen.mean) / sd * std::sqrt(n / (n + 1)), before - 1);
    m_seen.Add(v);
    m_tail[m_tailAt] = {z, tag};
    m_tailAt = (m_tailAt + 1) % kTail;
    m_tailSize = std::min(m_tailSize + 1, kTail);
    if (m_up <= 0) {
        m_upStart = tag;
        m_upN = 0;
    }
    if (m_down <= 0) {
        m_downStart = tag;
        m_downN = 0;
    }
    m_up = std::max(0.0, m_up + z - m_slack);
    m_down = std::max(0.0, m_down - z - m_slack);
    ++m_upN;
    ++m_downN;
    if (m_up <= m_limit && m_down <= m_limit)
        return false;
    const bool rising = m_up > m_limit;
    const double sign = rising ? 1 : -1;
    // The step most likely began where the deviates since give the largest
    // S^2 / n: the whole run since the sum left zero, or a later start among
    // the last readings kept. Readings before a step keep the sum above
    // zero by chance and would pull the shift towards none.
    const long count = rising ? m_upN : m_downN;
    double bestSum = (rising ? m_up : m_down) + m_slack * static_cast<double>(count);
    double bestN = static_cast<double>(count);
    long long start = rising ? m_upStart : m_downStart;
    double tailSum = 0;
    const size_t look = std::min(m_tailSize, static_cast<size_t>(count));
    for (size_t j = 1; j <= look; ++j) {
        const Kept& k = m_tail[(m_tailAt + kTail - j) % kTail];
        tailSum += sign * k.z;
        const double len = static_cast<double>(j);
        if (tailSum > 0 && tailSum * tailSum / len > bestSum * bestSum / bestN) {
            bestSum = tailSum;
            bestN = len;
            start = k.tag;
        }
    }
    alarm->start = start;
    alarm->raised = tag;
    alarm->shift = sign * sd * bestSum / bestN;
    // The level after the step is learnt afresh: one step, one alarm.
    m_seen = Moments();
    m_up = m_down = 0;
    m_tailSize = 0;
    return true;
}

namespace {

// The level of the estimates [from, to) that FindChanges compares the next
// one with, and the spread it allows that one.
struct Level {
    double mean = 0;
    double meanVar = 0;  // of the mean
    double extraVar = 0; // between estimates, beyond their errors (additive)
    double scale = 1;    // their errors' understatement (multiplicative, squared)
    double weight = 0;   // the sum of 1/se^2
};

// Bounds that keep the weighted sums of squares finite.
bool Usable(const Estimate& e) {
    return std::fabs(e.value) < 1e100 && e.se > 1e-100 && e.se < 1e100;
}

Level LevelOf(const std::vector<Estimate>& s, size_t from, size_t to) {
    double sw = 0, swx = 0, swxx = 0, sww = 0;
    long m = 0;
    for (size_t i = from; i < to; ++i) {
        if (!Usable(s[i]))
            continue;
        const double w = 1 / (s[i].se * s[i].se);
        sw += w;
        swx += w * s[i].value;
        swxx += w * s[i].value * s[i].value;
        sww += w * w;
        ++m;
    }
    Level l;
    if (m == 0)
        return l;
    l.weight = sw;
    const double mean = swx / sw;
    const double q = std::max(0.0, swxx - swx * mean); // Cochran's Q
    if (m > 1) {
        // The estimates' scatter beyond what their errors explain, read both
        // as a between-shift variance and as errors understated by a factor.
        // Both lean on the stated errors as if kChangePrior estimates had
        // borne them out: a level of a few estimates, one of which may be
        // past a step not yet alarmed, cannot talk the spread up tenfold.
        const double dof = static_cast<double>(m - 1), trust = dof / (dof + kChangePrior);
        l.extraVar = trust * std::max(0.0, (q - dof) / (sw - sww / sw));
        l.scale = std::max(1.0, (q + kChangePrior) / (dof + kChangePrior));
    }
    double tw = 0, twx = 0;
    for (size_t i = from; i < to; ++i) {
        if (!Usable(s[i]))
            continue;
        const double w = 1 / (s[i].se * s[i].se + l.extraVar);
        tw += w;
        twx += w * s[i].value;
    }
    l.mean = twx / tw;
    l.meanVar = 1 / tw;
    return l;
}

// The spread of a new estimate about the level: the larger of the two readings
// of the scatter, so that neither kind of understated error raises alarms.
double Spread(const Level& l, double se) {
    const double additive = se * se + l.extraVar + l.meanVar;
    const double multiplicative = l.scale * (se * se + 1 / l.weight);
    return std::sqrt(std::max(additive, multiplicative));
}

// Where between `earliest` and `last` the estimates since `from` split best
// into two levels (weighted least squares). The sum leaves zero by chance
// some estimates before a step as often as not; the split finds the step.
size_t SplitAt(const std::vector<Estimate>& s, size_t from, size_t earliest, size_t last) {
    double sw = 0, swx = 0; // over [from, last]
    for (size_t i = from; i <= last; ++i) {
        if (Usable(s[i])) {
            const double w = 1 / (s[i].se * s[i].se);
            sw += w;
            swx += w * s[i].value;
        }
    }
    // The split's gain over one level is W1 W2 / W (m1 - m2)^2, from the sums
    // before the split.
    double bw = 0, bwx = 0, best = -1;
    size_t at = earliest;
    for (size_t i = from; i <= last; ++i) {
        if (i >= earliest && bw > 0 && bw < sw) {
            const double aw = sw - bw, d = bwx / bw - (swx - bwx) / aw;
            const double gain = bw * aw / sw * d * d;
            if (gain > best) {
                best = gain;
                at = i;
            }
        }
        if (Usable(s[i])) {
            const double w = 1 / (s[i].se * s[i].se);
            bw += w;
            bwx += w * s[i].value;
        }
    }
    return at;
}

} // namespace

std::vector<Change> FindChanges(const std::vector<Estimate>& series) {
    std::vector<Change> changes;
    size_t from = 0; // the first estimate of the present level
    long seen = 0;   // usable estimates since `from`
    double up = 0, down = 0;
    size_t upStart = 0, downStart = 0;
    for (size_t i = 0; i < series.size(); ++i) {
        const Estimate& e = series[i];
        if (!Usable(e))
            continue;
        if (seen < kChangeWarmUp) {
            ++seen;
            continue;
        }
        // The level rests on the last kChangeWindow estimates at most, so
        // a long series costs time in proportion to its length.
        const Level l = LevelOf(series, std::max(from, i - std::min(i, kChangeWindow)), i);
        const double z = (e.value - l.mean) / Spread(l, e.se);
        ++seen;
        if (up <= 0)
            upStart = i;
        if (down <= 0)
            downStart = i;
        up = std::max(0.0, up + z - kChangeSlack);
        down = std::max(0.0, down - z - kChangeSlack);
        if (up <= kChangeLimit && down <= kChangeLimit)
            continue;
        Change c;
        c.start = SplitAt(series, from, up > kChangeLimit ? upStart : downStart, i);
        c.raised = i;
        // The new level from the estimates since the start, against the old one.
        const Level after = LevelOf(series, c.start, i + 1);
        const Level before = LevelOf(series, from, c.start);
        c.shift = after.mean - before.mean;
        changes.push_back(c);
        // The estimates since the start already belong to the new level.
        from = c.start;
        seen = static_cast<long>(std::count_if(series.begin() + static_cast<long>(from),
                                               series.begin() + static_cast<long>(i) + 1, Usable));
        up = down = 0;
    }
    return changes;
}

namespace {

// A straight line through the estimates with times from `from` on, weighted
// by their errors, in days from the first of them.
struct LineFit {
    bool known = false;
    long m = 0;
    TimeMs first = kNoTime, last = kNoTime;
    double rate = 0, level = 0, stt = 0, chi2 = 0;
    double Days(TimeMs t) const { return static_cast<double>(t - first) / kMsPerDay; }
};

LineFit FitLine(const std::vector<Estimate>& series, size_t from, size_t to) {
    LineFit f;
    std::vector<Estimate> used;
    for (size_t i = from; i < std::min(to, series.size()); ++i)
        if (Usable(series[i]) && series[i].time != kNoTime)
            used.push_back(series[i]);
    f.m = static_cast<long>(used.size());
    if (f.m < 3)
        return f;
    for (const Estimate& e : used) {
        f.first = f.first == kNoTime ? e.time : std::min(f.first, e.time);
        f.last = std::max(f.last, e.time);
    }
    double sw = 0, swt = 0, swv = 0;
    for (const Estimate& e : used) {
        const double w = 1 / (e.se * e.se);
        sw += w;
        swt += w * f.Days(e.time);
        swv += w * e.value;
    }
    const double tMean = swt / sw, vMean = swv / sw;
    double stv = 0;
    for (const Estimate& e : used) {
        const double w = 1 / (e.se * e.se), dt = f.Days(e.time) - tMean;
        f.stt += w * dt * dt;
        stv += w * dt * (e.value - vMean);
    }
    if (f.stt <= 0)
        return f;
    f.rate = stv / f.stt;
    f.level = vMean - f.rate * tMean;
    for (const Estimate& e : used) {
        const double r = (e.value - f.level - f.rate * f.Days(e.time)) / e.se;
        f.chi2 += r * r;
    }
    f.known = true;
    return f;
}

// The weighted squared deviations of the estimates [from, to) from their
// weighted mean: the misfit of one flat level.
double FlatChi2(const std::vector<Estimate>& series, size_t from, size_t to) {
    double sw = 0, swx = 0, swxx = 0;
    for (size_t i = from; i < std::min(to, series.size()); ++i) {
        if (!Usable(series[i]))
            continue;
        const double w = 1 / (series[i].se * series[i].se);
        sw += w;
        swx += w * series[i].value;
        swxx += w * series[i].value * series[i].value;
    }
    return sw > 0 ? std::max(0.0, swxx - swx * swx / sw) : 0;
}

} // namespace

size_t TrendStart(const std::vector<Estimate>& series, const std::vector<Change>& changes) {
    if (changes.empty())
        return 0;
    std::vector<size_t> starts{0};
    for (const Change& c : changes)
        starts.push_back(std::min(std::max(c.start, starts.back()), series.size()));
    const size_t last = starts.back();
    // Since the last change: a line, or a level where too few estimates for one.
    const LineFit tail = FitLine(series, last, series.size());
    // The steps' misfit from each start on: a level between each two changes,
    // then the tail.
    std::vector<double> steps(starts.size());
    steps.back() = tail.known ? tail.chi2 : FlatChi2(series, last, series.size());
    for (size_t j = starts.size() - 1; j-- > 0;)
        steps[j] = steps[j + 1] + FlatChi2(series, starts[j], starts[j + 1]);
    for (size_t k = 0; k + 1 < starts.size(); ++k) {
        const LineFit ramp = FitLine(series, starts[k], series.size());
        if (!ramp.known)
            continue;
        const double extra = static_cast<double>(starts.size() - 1 - k); // the levels' parameters
        if (ramp.chi2 <= steps[k] + kTrendPenalty * extra)
            return starts[k];
    }
    return last;
}

DriftTrend FitTrend(const std::vector<Estimate>& series, double limitHz) {
    DriftTrend trend;
    const LineFit f = FitLine(series, 0, series.size());
    if (!f.known || f.last - f.first < kMsPerDay)
        return trend;
    const double reduced = f.chi2 / static_cast<double>(f.m - 2);
    const double rate = f.rate, level = f.level;
    trend.known = true;
    trend.hzPerDay = rate;
    trend.seHzPerDay = std::sqrt(1 / f.stt) * std::sqrt(std::max(1.0, reduced));
    trend.levelHz = level;
    trend.from = f.first;
    const double atLast = level + rate * f.Days(f.last);
    if (std::fabs(atLast) >= limitHz) {
        trend.limitDate = f.last;
        return trend;
    }
    // A rate its error cannot tell from none projects no date.
    if (rate == 0 || std::fabs(rate) < kTrendSignificance * trend.seHzPerDay)
        return trend;
    const double crossing = ((rate > 0 ? limitHz : -limitHz) - level) / rate; // days from `first`
    if (crossing - f.Days(f.last) <= kTrendHorizonDays)
        trend.limitDate = f.first + static_cast<TimeMs>(std::llround(crossing * kMsPerDay));
    return trend;
}

} // namespace station
