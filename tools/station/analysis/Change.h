// Change detection on a station's tester over time, with its target and
// deviation learnt from the data as they come (self-starting), so that the
// rate of false alarms holds whatever the first readings happened to be.
#pragma once

#include "reports/AnalysisModel.h"
#include "support/Time.h"

#include <cstddef>
#include <vector>

namespace station {

// One estimate of a station's bias (a shift's, from golden units or pairs)
// and its standard error.
struct Estimate {
    TimeMs time = kNoTime;
    double value = 0, se = 0;
};

// A change found in a series: it began at `start` (an index into the series:
// the best split into two levels after the sum last left zero) and was
// raised at `raised`; the level moved by `shift`.
struct Change {
    size_t start = 0, raised = 0;
    double shift = 0;
};

// The changes in a series of estimates with their standard errors, in order:
// each estimate against the weighted mean of those since the last change,
// with the scatter beyond their errors learnt from them, in a two-sided CUSUM.
// Estimates without a finite value and a positive error are passed over.
constexpr double kChangeSlack = 0.5, kChangeLimit = 10;
constexpr long kChangeWarmUp = 3;      // estimates of a level before the next is judged
constexpr size_t kChangeWindow = 1000; // the most estimates a level is taken from
constexpr double kChangePrior = 10;    // estimates' worth of trust in the stated errors
std::vector<Change> FindChanges(const std::vector<Estimate>& series);

// The normal deviate with the same tail as Student's t with df degrees of
// freedom (exact to rounding for small df; Hill's expansion past them).
double StudentToNormal(double t, long df);

// A self-starting detector on single readings whose deviation is not known
// (a station's reference-point errors of one chip): each reading is
// standardised by the mean and deviation of those before it since the last
// alarm. An alarm's start and shift are the likeliest step's within the run
// since the sum last left zero (its last kTail readings, or all of it).
class SelfStartingCusum {
public:
    // k and h in deviations: a clean stream raises an alarm about once in
    // 1.3e8 readings (Siegmund's approximation); readings learnt before the
    // first is judged.
    static constexpr double kSlack = 0.05, kLimit = 140;
    static constexpr long kWarmUp = 3;
    explicit SelfStartingCusum(double slack = kSlack, double limit = kLimit)
        : m_slack(slack), m_limit(limit) {}

    struct Alarm {
        long long start = 0, raised = 0; // the tags of the readings
        double shift = 0;
    };
    // True with *alarm set when this reading raises an alarm.
    bool Add(double v, long long tag, Alarm* alarm);

private:
    double m_slack, m_limit;
    Moments m_seen;
    double m_up = 0, m_down = 0;
    long long m_upStart = 0, m_downStart = 0;
    long m_upN = 0, m_downN = 0;
    // The last deviates and their tags, where an alarm looks for its start.
    static constexpr size_t kTail = 4096;
    struct Kept {
        double z = 0;
        long long tag = 0;
    };
    std::vector<Kept> m_tail = std::vector<Kept>(kTail);
    size_t m_tailAt = 0, m_tailSize = 0;
};

// A straight line through the estimates (weighted by their errors) in Hz a
// day, and where it crosses +-limitHz after the last estimate: none when the
// rate is within kTrendSignificance errors of zero or the date lies more than
// kTrendHorizonDays ahead.
constexpr double kTrendSignificance = 2, kTrendHorizonDays = 3650;
DriftTrend FitTrend(const std::vector<Estimate>& series, double limitHz);

// Where a series' aging is fitted from, given its changes: the earliest of its
// first estimate and the changes' starts from which one straight line fits
// the estimates about as well as the steps do (an aging tester is read as a
// run of steps), each step's level costing kTrendPenalty of chi-square (as
// Akaike's criterion); else the last change's start.
constexpr double kTrendPenalty = 2;
size_t TrendStart(const std::vector<Estimate>& series, const std::vector<Change>& changes);

} // namespace station
