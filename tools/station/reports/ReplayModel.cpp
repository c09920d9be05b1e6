#include "reports/ReplayModel.h"

#include <cmath>
#include <cstdio>

namespace station {

void ChangeCounts::Add(int change) {
    if (units == 0 || change < min)
        min = change;
    if (units == 0 || change > max)
        max = change;
    ++units;
    if (change == 0)
        ++unchanged;
    sum += change;
    sumSquares += static_cast<double>(change) * change;
    ++counts[change];
}

double ChangeCounts::Sd() const {
    if (units < 2)
        return 0.0;
    double m = Mean();
    double v = (sumSquares - units * m * m) / static_cast<double>(units - 1);
    return v > 0 ? std::sqrt(v) : 0.0;
}

double ReplayOutcome::YieldBefore() const {
    return units > 0 ? 100.0 * static_cast<double>(logPassed) / static_cast<double>(units) : 0.0;
}

double ReplayOutcome::YieldAfter() const {
    return units > 0 ? 100.0 * static_cast<double>(replayPassed) / static_cast<double>(units) : 0.0;
}

std::string SweepValueText(double value) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.10g", value);
    return buf;
}

bool SweepReport::IsCurrent(double value) const {
    return current && std::fabs(*current - value) < 1e-9;
}

} // namespace station
