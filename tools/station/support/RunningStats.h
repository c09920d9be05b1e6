// Statistics that take the same memory for any number of values and merge
// from parts read apart: moments, moving ranges, fixed bins; and the text
// form in which a worker hands them back.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace station {

// Writes and reads numbers and strings as one line of text, exactly.
class Archive {
public:
    Archive() = default;
    explicit Archive(std::string text) : m_text(std::move(text)) {}
    void Put(double v);
    void Put(long long v);
    void Put(long v) { Put(static_cast<long long>(v)); }
    void Put(int v) { Put(static_cast<long long>(v)); }
    void Put(bool v) { Put(static_cast<long long>(v ? 1 : 0)); }
    void Put(const std::string& s);
    // Reading: false once the text runs out or does not fit.
    bool Get(double* v);
    bool Get(long long* v);
    bool Get(long* v);
    bool Get(int* v);
    bool Get(bool* v);
    bool Get(std::string* s);
    const std::string& Text() const { return m_text; }
    bool Ok() const { return m_ok; }

private:
    std::string m_text;
    size_t m_at = 0;
    bool m_ok = true;
};

// Count, mean and sum of squared deviations (Welford), merged by Chan's rule.
struct Moments {
    long n = 0;
    double mean = 0, m2 = 0, min = 0, max = 0;
    void Add(double v);
    void Merge(const Moments& other);
    double Variance() const { return n > 1 ? m2 / static_cast<double>(n - 1) : 0.0; }
    double Sd() const;
};

// Moving ranges of consecutive values: the within deviation is their mean
// over d2 = 1.128. Parts merge in log order, the range across the cut added.
struct MovingRange {
    long n = 0; // ranges
    double sum = 0, first = 0, last = 0;
    bool any = false;
    void Add(double v);
    void Merge(const MovingRange& later);
    double SdWithin() const { return n > 0 ? sum / static_cast<double>(n) / 1.128 : 0.0; }
};

// Counts over a range fixed before the first value, so that parts merge bin by bin.
struct FixedBins {
    double low = 0, high = 1;
    std::vector<long> counts;
    long below = 0, above = 0;
    void Setup(double lo, double hi, size_t bins);
    void Add(double v);
    void Merge(const FixedBins& other);
    double Width() const { return counts.empty() ? 1 : (high - low) / counts.size(); }
};

// The upper tail of the standard normal.
double NormalTail(double z);

} // namespace station
