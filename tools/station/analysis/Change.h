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

// A change found in a series: it began at `start` (an index into the series)
// and was raised at `raised`; the level moved by `shift`.
struct Change {
    size_t start = 0, raised = 0;
    double shift = 0;
};

// The changes in a series of estimates with their standard errors, in order.
std::vector<Change> FindChanges(const std::vector<Estimate>& series);

// A self-starting detector on single readings whose deviation is not known
// (a station's reference-point errors of one chip): each reading is
// standardised by the mean and deviation of those before it since the last
// alarm.
class SelfStartingCusum {
public:
    struct Alarm {
        long long start = 0, raised = 0; // the tags of the readings
        double shift = 0;
    };
    // True with *alarm set when this reading raises an alarm.
    bool Add(double v, long long tag, Alarm* alarm);

private:
    Moments m_seen;
    double m_up = 0, m_down = 0;
    long long m_upStart = 0, m_downStart = 0;
    long m_upN = 0, m_downN = 0;
};

// A straight line through the estimates (weighted by their errors) in Hz a
// day, and where it crosses +-limitHz after the last estimate.
DriftTrend FitTrend(const std::vector<Estimate>& series, double limitHz);

} // namespace station
