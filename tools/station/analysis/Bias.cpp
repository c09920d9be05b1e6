// Stations compared: each one's mean reference-point error against the
// rest of the line's.
#include "analysis/Analysis.h"

#include <cmath>

namespace station {

void CompareStations(LineAnalysis* a) {
    a->line = StationStats();
    a->line.name = "line";
    bool first = true;
    for (const StationStats& s : a->stations) {
        if (first) {
            a->line = s;
            a->line.name = "line";
            a->line.alarms.clear();
            a->line.chart.clear();
            first = false;
        } else {
            StationStats copy = s;
            copy.alarms.clear();
            copy.chart.clear();
            a->line.Merge(copy);
        }
    }
    a->rows.clear();
    for (const StationStats& s : a->stations) {
        StationRow r;
        r.stats = &s;
        // The rest of the line: every other station's units.
        Moments rest;
        for (const StationStats& o : a->stations)
            if (&o != &s)
                rest.Merge(o.reference);
        if (s.reference.n > 1 && rest.n > 1) {
            // Crystals reach stations at random: a station's mean differs from
            // the rest's by chance (its standard error) or by its tester.
            r.biasHz = s.reference.mean - rest.mean;
            r.seHz = std::sqrt(s.reference.Variance() / static_cast<double>(s.reference.n) +
                               rest.Variance() / static_cast<double>(rest.n));
        }
        double mhz = s.CarrierMhz();
        if (mhz > 0) {
            r.biasPpm = r.biasHz / mhz;
            r.sePpm = r.seHz / mhz;
        }
        r.flagged = mhz > 0 && rest.n > 1 && std::fabs(r.biasPpm) - 2 * r.sePpm > a->biasLimitPpm;
        a->rows.push_back(r);
    }
}

} // namespace station
