// A calibrated value's distribution: running moments and fixed bins, and the
// bars a plot draws of them.
#include "reports/Report.h"

#include <algorithm>
#include <cmath>

namespace station {

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

} // namespace station
