#include "reports/AnalysisModel.h"

#include "support/StationChips.h"

#include <algorithm>
#include <cmath>

namespace station {

namespace {

constexpr size_t kBins = 1200; // fine enough for a spread far inside its window

} // namespace

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

// --- a station ---------------------------------------------------------------

void StationStats::Setup(const std::vector<ConfigReport>& windows) {
    values.resize(windows.size());
    referenceByChip.assign(windows.size(), Moments());
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
    const long unitsBefore = units, linesBefore = lines;
    MergeLog(later, linesBefore, unitsBefore);
    MergeUnits(later, unitsBefore);
}

void AddChartPoint(ChartPoint& into, const ChartPoint& next) {
    into.units += next.units;
    into.sum += next.sum;
}

void StationStats::MergeUnits(const StationStats& later, long unitsBefore) {
    if (band < 0) {
        band = later.band;
        channel = later.channel;
    }
    for (ChartPoint p : later.chart) {
        p.firstUnit += unitsBefore;
        chart.push_back(p);
    }
    // Adjacent points merged until the chart is its usual size again.
    while (chart.size() > kChartPoints)
        HalveChart(&chart, AddChartPoint);
    units += later.units;
    passed += later.passed;
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
    if (referenceByChip.size() < later.referenceByChip.size())
        referenceByChip.resize(later.referenceByChip.size());
    for (size_t c = 0; c < later.referenceByChip.size(); ++c)
        referenceByChip[c].Merge(later.referenceByChip[c]);
}

void StationStats::MergeLog(const StationStats& later, long linesBefore, long unitsBefore) {
    for (UnreadLine u : later.unreadExamples) {
        if (unreadExamples.size() >= kUnreadKept)
            break;
        u.number += linesBefore;
        unreadExamples.push_back(u);
    }
    if (!Incomplete() && later.Incomplete()) {
        incomplete = later.incomplete;
        incomplete.line += linesBefore;
        incomplete.units += unitsBefore;
    }
    lines += later.lines;
    unread += later.unread;
    bytes += later.bytes;
}

} // namespace station
