#include "support/RunningStats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace station {

void Archive::Put(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g ", v);
    m_text += buf;
}

void Archive::Put(long long v) {
    m_text += std::to_string(v);
    m_text += ' ';
}

void Archive::Put(const std::string& s) {
    Put(static_cast<long long>(s.size()));
    m_text += s;
    m_text += ' ';
}

bool Archive::Get(double* v) {
    if (!m_ok || m_at >= m_text.size())
        return m_ok = false;
    char* end = nullptr;
    *v = std::strtod(m_text.c_str() + m_at, &end);
    if (end == m_text.c_str() + m_at)
        return m_ok = false;
    m_at = static_cast<size_t>(end - m_text.c_str()) + 1;
    return true;
}

bool Archive::Get(long long* v) {
    if (!m_ok || m_at >= m_text.size())
        return m_ok = false;
    char* end = nullptr;
    *v = std::strtoll(m_text.c_str() + m_at, &end, 10);
    if (end == m_text.c_str() + m_at)
        return m_ok = false;
    m_at = static_cast<size_t>(end - m_text.c_str()) + 1;
    return true;
}

bool Archive::Get(long* v) {
    long long x = 0;
    if (!Get(&x))
        return false;
    *v = static_cast<long>(x);
    return true;
}

bool Archive::Get(int* v) {
    long long x = 0;
    if (!Get(&x))
        return false;
    *v = static_cast<int>(x);
    return true;
}

bool Archive::Get(bool* v) {
    long long x = 0;
    if (!Get(&x))
        return false;
    *v = x != 0;
    return true;
}

bool Archive::Get(std::string* s) {
    long long n = 0;
    if (!Get(&n) || n < 0 || m_at + static_cast<size_t>(n) > m_text.size())
        return m_ok = false;
    *s = m_text.substr(m_at, static_cast<size_t>(n));
    m_at += static_cast<size_t>(n) + 1;
    return true;
}

void Moments::Add(double v) {
    if (n == 0 || v < min)
        min = v;
    if (n == 0 || v > max)
        max = v;
    ++n;
    double d = v - mean;
    mean += d / static_cast<double>(n);
    m2 += d * (v - mean);
}

void Moments::Merge(const Moments& o) {
    if (o.n == 0)
        return;
    if (n == 0) {
        *this = o;
        return;
    }
    double total = static_cast<double>(n + o.n);
    double d = o.mean - mean;
    mean += d * static_cast<double>(o.n) / total;
    m2 += o.m2 + d * d * static_cast<double>(n) * static_cast<double>(o.n) / total;
    min = std::min(min, o.min);
    max = std::max(max, o.max);
    n += o.n;
}

double Moments::Sd() const {
    double v = Variance();
    return v > 0 ? std::sqrt(v) : 0.0;
}

void MovingRange::Add(double v) {
    if (any) {
        sum += std::fabs(v - last);
        ++n;
    } else {
        first = v;
        any = true;
    }
    last = v;
}

void MovingRange::Merge(const MovingRange& later) {
    if (!later.any)
        return;
    if (!any) {
        *this = later;
        return;
    }
    sum += later.sum + std::fabs(later.first - last);
    n += later.n + 1;
    last = later.last;
}

void FixedBins::Setup(double lo, double hi, size_t bins) {
    low = lo;
    high = hi > lo ? hi : lo + 1;
    counts.assign(std::max<size_t>(bins, 1), 0);
    below = above = 0;
}

void FixedBins::Add(double v) {
    if (v < low) {
        ++below;
        return;
    }
    double at = (v - low) / Width();
    if (!(at < static_cast<double>(counts.size()))) {
        ++above;
        return;
    }
    ++counts[static_cast<size_t>(at)];
}

void FixedBins::Merge(const FixedBins& o) {
    if (counts.size() != o.counts.size())
        return; // set up alike by construction
    for (size_t i = 0; i < counts.size(); ++i)
        counts[i] += o.counts[i];
    below += o.below;
    above += o.above;
}

double NormalTail(double z) {
    return 0.5 * std::erfc(z / std::sqrt(2.0));
}

} // namespace station
