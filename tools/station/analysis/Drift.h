// Drift of a station's tester: a tabular CUSUM on the reference-point error
// in log order. Workers read parts of a log side by side and hand back each
// unit's value as a series; one pass over a log's series in order runs the
// detector, so its alarms do not depend on where the log was cut.
#pragma once

#include "reports/AnalysisModel.h"
#include "support/RunningStats.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace station {

// Tabular CUSUM on the reference-point error standardised by the station's
// first units, tuned for small shifts: reference k = 0.1 deviation (for a
// shift of 0.2 deviation), decision interval h = 70 deviations (an alarm
// without a shift about once in 10^8 units).
struct Cusum {
    static constexpr long kReferenceUnits = 1000;
    static constexpr double kSlack = 0.1, kLimit = 70;
    Moments reference; // the first kReferenceUnits values
    double target = 0, sd = 0;
    double up = 0, down = 0;
    long upStart = 0, downStart = 0, upStartLine = 0, downStartLine = 0, upN = 0, downN = 0;
    bool ready = false;
    // From the value of the unit-th unit at `line`: an alarm when one is raised.
    bool Add(double v, long unit, long line, DriftAlarm* alarm);
    // One step of a one-sided sum by a standardised value.
    static double Step(double sum, double z) { return std::max(0.0, sum + z - kSlack); }
};

// One part's reference-point errors in log order, with where each unit
// stands in the part. The first values stay in memory; past them the series
// goes to a temporary file, so a part of any length takes the same memory.
class DriftSeries {
public:
    struct Entry {
        double v = 0;
        long long unit = 0, line = 0;
    };
    static constexpr size_t kInMemory = 4096;

    DriftSeries() = default;
    DriftSeries(DriftSeries&&) noexcept = default;
    DriftSeries& operator=(DriftSeries&&) noexcept = default;

    // False with *error set when the temporary file cannot be written.
    bool Add(double v, long unit, long line, std::string* error);
    // Every entry in order; false with *error set on a read error.
    template <typename Each> bool ForEach(Each each, std::string* error) const;
    size_t Size() const { return m_size; }

private:
    struct Close {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::vector<Entry> m_head;
    std::unique_ptr<std::FILE, Close> m_spill;
    size_t m_size = 0;
};

template <typename Each> bool DriftSeries::ForEach(Each each, std::string* error) const {
    for (const Entry& e : m_head)
        each(e);
    if (!m_spill)
        return true;
    std::FILE* f = m_spill.get();
    std::rewind(f);
    Entry buffer[1024];
    size_t left = m_size - m_head.size();
    while (left > 0) {
        const size_t want = std::min(left, sizeof buffer / sizeof buffer[0]);
        if (std::fread(buffer, sizeof(Entry), want, f) != want) {
            *error = "the drift series' temporary file cannot be read back";
            return false;
        }
        for (size_t i = 0; i < want; ++i)
            each(buffer[i]);
        left -= want;
    }
    return true;
}

// Runs the detector over a log's parts in order, each part's units and lines
// counted on from the parts before; the alarms go to the station.
struct PartSeries {
    const DriftSeries* series = nullptr;
    long units = 0, lines = 0; // of the part
};
bool FindDrift(const std::vector<PartSeries>& parts, StationStats* station, std::string* error);

} // namespace station
