// Stations' tester biases from each kind of reading: groups of readings of
// one unit (pairs, golden rounds) by least squares, golden units against
// their references, and single units against the rest of the line per chip.
#include "analysis/Timeline.h"

#include <algorithm>
#include <cmath>

namespace station {

namespace {

// In place; false when the matrix is singular for its scale.
bool invert(std::vector<double>* matrix, size_t n) {
    std::vector<double>& m = *matrix;
    std::vector<double> inv(n * n, 0.0);
    for (size_t i = 0; i < n; ++i)
        inv[i * n + i] = 1;
    double scale = 0;
    for (size_t i = 0; i < n; ++i)
        scale = std::max(scale, std::fabs(m[i * n + i]));
    if (!(scale > 0))
        return false;
    for (size_t col = 0; col < n; ++col) {
        size_t pivot = col;
        for (size_t r = col + 1; r < n; ++r)
            if (std::fabs(m[r * n + col]) > std::fabs(m[pivot * n + col]))
                pivot = r;
        if (std::fabs(m[pivot * n + col]) < 1e-12 * scale)
            return false;
        if (pivot != col)
            for (size_t k = 0; k < n; ++k) {
                std::swap(m[pivot * n + k], m[col * n + k]);
                std::swap(inv[pivot * n + k], inv[col * n + k]);
            }
        const double p = m[col * n + col];
        for (size_t k = 0; k < n; ++k) {
            m[col * n + k] /= p;
            inv[col * n + k] /= p;
        }
        for (size_t r = 0; r < n; ++r) {
            if (r == col)
                continue;
            const double f = m[r * n + col];
            if (f == 0)
                continue;
            for (size_t k = 0; k < n; ++k) {
                m[r * n + k] -= f * m[col * n + k];
                inv[r * n + k] -= f * inv[col * n + k];
            }
        }
    }
    m.swap(inv);
    return true;
}

} // namespace

GroupFit::GroupFit(size_t stations)
    : m_a(stations * stations, 0.0), m_r(stations, 0.0), m_readings(stations, 0),
      m_parent(stations) {
    for (size_t s = 0; s < stations; ++s)
        m_parent[s] = s;
}

size_t GroupFit::root(size_t s) const {
    while (m_parent[s] != s)
        s = m_parent[s] = m_parent[m_parent[s]];
    return s;
}

void GroupFit::AddGroup(const int* stations, const double* values, size_t n) {
    if (n < 2)
        return;
    const size_t S = m_r.size();
    double mean = 0;
    for (size_t i = 0; i < n; ++i)
        mean += values[i];
    mean /= static_cast<double>(n);
    // The unit's own offset is unknown: only the readings' deviations from
    // the group's mean tell the stations apart.
    for (size_t i = 0; i < n; ++i) {
        const size_t s = static_cast<size_t>(stations[i]);
        const double d = values[i] - mean;
        m_r[s] += d;
        m_ypy += d * d;
        ++m_readings[s];
        m_a[s * S + s] += 1;
        for (size_t j = 0; j < n; ++j)
            m_a[s * S + static_cast<size_t>(stations[j])] -= 1.0 / static_cast<double>(n);
        m_parent[root(s)] = root(static_cast<size_t>(stations[0]));
    }
    m_df += static_cast<long>(n) - 1;
    ++m_groups;
}

GroupFit::Solved GroupFit::solve() const {
    const size_t S = m_r.size();
    Solved out;
    out.b.assign(S, 0.0);
    out.group.assign(S, -1);
    std::vector<int> byRoot(S, -1);
    for (size_t s = 0; s < S; ++s) {
        if (m_readings[s] == 0)
            continue;
        const size_t r = root(s);
        if (byRoot[r] < 0) {
            byRoot[r] = static_cast<int>(out.members.size());
            out.members.emplace_back();
        }
        out.members[static_cast<size_t>(byRoot[r])].push_back(s);
    }
    out.inverse.resize(out.members.size());
    for (size_t g = 0; g < out.members.size(); ++g) {
        const std::vector<size_t>& m = out.members[g];
        const size_t n = m.size();
        if (n < 2)
            continue; // retests on one station alone: their noise only
        // Only differences are known: a multiple of the ones matrix fixes
        // the level (the estimates sum to zero) without moving a difference.
        std::vector<double> b(n * n);
        double trace = 0;
        for (size_t i = 0; i < n; ++i)
            trace += m_a[m[i] * S + m[i]];
        const double alpha = trace / static_cast<double>(n);
        for (size_t i = 0; i < n; ++i)
            for (size_t j = 0; j < n; ++j)
                b[i * n + j] = m_a[m[i] * S + m[j]] + alpha;
        if (!invert(&b, n))
            continue;
        for (size_t i = 0; i < n; ++i) {
            double v = 0;
            for (size_t j = 0; j < n; ++j)
                v += b[i * n + j] * m_r[m[j]];
            out.b[m[i]] = v;
            out.group[m[i]] = static_cast<int>(g);
            out.explained += v * m_r[m[i]];
        }
        out.parameters += static_cast<long>(n) - 1;
        out.inverse[g].swap(b);
    }
    return out;
}

void GroupFit::Residuals(double* rss, long* df) const {
    const Solved s = solve();
    *df = m_df - s.parameters;
    *rss = std::max(0.0, m_ypy - s.explained);
}

double GroupFit::NoiseVariance() const {
    double rss = 0;
    long df = 0;
    Residuals(&rss, &df);
    return df > 0 ? rss / static_cast<double>(df) : -1;
}

std::vector<BiasEstimate> GroupFit::Relative(double noiseVariance) const {
    const Solved s = solve();
    std::vector<BiasEstimate> out(m_r.size());
    if (noiseVariance < 0) {
        const long df = m_df - s.parameters;
        if (df <= 0)
            return out;
        noiseVariance = std::max(0.0, m_ypy - s.explained) / static_cast<double>(df);
    }
    for (size_t st = 0; st < m_r.size(); ++st) {
        if (s.group[st] < 0)
            continue;
        const std::vector<size_t>& m = s.members[static_cast<size_t>(s.group[st])];
        const std::vector<double>& inv = s.inverse[static_cast<size_t>(s.group[st])];
        const size_t n = m.size();
        const double rest = 1.0 / static_cast<double>(n - 1);
        // The station against the mean of the rest: c = e_s - rest * (others).
        std::vector<double> c(n, -rest);
        size_t self = 0;
        for (size_t i = 0; i < n; ++i)
            if (m[i] == st)
                self = i;
        c[self] = 1;
        double est = 0, q = 0;
        for (size_t i = 0; i < n; ++i) {
            est += c[i] * s.b[m[i]];
            for (size_t j = 0; j < n; ++j)
                q += c[i] * inv[i * n + j] * c[j];
        }
        BiasEstimate& e = out[st];
        e.known = true;
        e.hz = est;
        e.seHz = std::sqrt(std::max(0.0, noiseVariance * q));
        e.readings = m_readings[st];
    }
    return out;
}

std::vector<BiasEstimate> GroupFit::Anchored(const std::vector<Moments>& anchors,
                                             double anchorVariance, double noiseVariance) const {
    const size_t S = m_r.size();
    std::vector<BiasEstimate> out(S);
    // Both are one reading's noise on a tester: one stands in for the other.
    if (anchorVariance <= 0)
        anchorVariance = noiseVariance;
    if (noiseVariance <= 0)
        noiseVariance = anchorVariance;
    if (!(anchorVariance > 0))
        return out;
    const bool withGroups = m_groups > 0;
    std::vector<bool> anchored(S, false);
    for (size_t s = 0; s < S; ++s)
        if (s < anchors.size() && anchors[s].n > 0)
            anchored[withGroups ? root(s) : s] = true;
    std::vector<size_t> use;
    for (size_t s = 0; s < S; ++s)
        if ((s < anchors.size() && anchors[s].n > 0) ||
            (withGroups && m_readings[s] > 0 && anchored[root(s)]))
            use.push_back(s);
    const size_t n = use.size();
    if (n == 0)
        return out;
    std::vector<double> m(n * n, 0.0), rhs(n, 0.0);
    for (size_t i = 0; i < n; ++i) {
        const size_t s = use[i];
        for (size_t j = 0; j < n; ++j)
            m[i * n + j] = withGroups ? m_a[s * S + use[j]] / noiseVariance : 0.0;
        rhs[i] = withGroups ? m_r[s] / noiseVariance : 0.0;
        if (s < anchors.size() && anchors[s].n > 0) {
            const double k = static_cast<double>(anchors[s].n);
            m[i * n + i] += k / anchorVariance;
            rhs[i] += k * anchors[s].mean / anchorVariance;
        }
    }
    if (!invert(&m, n))
        return out;
    for (size_t i = 0; i < n; ++i) {
        BiasEstimate& e = out[use[i]];
        double v = 0;
        for (size_t j = 0; j < n; ++j)
            v += m[i * n + j] * rhs[j];
        e.known = true;
        e.hz = v;
        e.seHz = std::sqrt(std::max(0.0, m[i * n + i]));
        e.readings = m_readings[use[i]] + (use[i] < anchors.size() ? anchors[use[i]].n : 0);
    }
    return out;
}

std::vector<BiasEstimate> SinglesBias(const std::vector<StationStats>& stations) {
    std::vector<BiasEstimate> out(stations.size());
    size_t chips = 0;
    for (const StationStats& s : stations)
        chips = std::max(chips, s.referenceByChip.size());
    for (size_t st = 0; st < stations.size(); ++st) {
        double w = 0, wx = 0;
        long n = 0;
        for (size_t c = 0; c < chips && c < stations[st].referenceByChip.size(); ++c) {
            const Moments& own = stations[st].referenceByChip[c];
            Moments rest;
            for (size_t o = 0; o < stations.size(); ++o)
                if (o != st && c < stations[o].referenceByChip.size())
                    rest.Merge(stations[o].referenceByChip[c]);
            if (own.n < 2 || rest.n < 2)
                continue;
            // Crystals reach stations at random: a station's mean differs from
            // the rest's by chance (its standard error) or by its tester.
            const double v = own.Variance() / static_cast<double>(own.n) +
                             rest.Variance() / static_cast<double>(rest.n);
            if (!(v > 0))
                continue;
            w += 1 / v;
            wx += (own.mean - rest.mean) / v;
            n += own.n;
        }
        if (w > 0)
            out[st] = {true, wx / w, std::sqrt(1 / w), n};
    }
    return out;
}

BiasEstimate Combine(const std::vector<BiasEstimate>& parts) {
    BiasEstimate out;
    double w = 0, wx = 0;
    for (const BiasEstimate& p : parts) {
        if (!p.known)
            continue;
        out.readings += p.readings;
        if (!(p.seHz > 0)) {
            // Exact: nothing else adds to it.
            return p;
        }
        w += 1 / (p.seHz * p.seHz);
        wx += p.hz / (p.seHz * p.seHz);
    }
    if (w > 0) {
        out.known = true;
        out.hz = wx / w;
        out.seHz = std::sqrt(1 / w);
    }
    return out;
}

} // namespace station
