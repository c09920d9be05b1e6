#include "analysis/Drift.h"

#include "support/TempFile.h"

namespace station {

bool Cusum::Add(double v, long unit, long line, DriftAlarm* alarm) {
    if (!ready) {
        reference.Add(v);
        if (reference.n < kReferenceUnits)
            return false;
        target = reference.mean;
        sd = reference.Sd();
        ready = sd > 0;
        return false;
    }
    double z = (v - target) / sd;
    if (up <= 0) {
        upStart = unit;
        upStartLine = line;
        upN = 0;
    }
    if (down <= 0) {
        downStart = unit;
        downStartLine = line;
        downN = 0;
    }
    up = Step(up, z);
    down = Step(down, -z);
    ++upN;
    ++downN;
    if (up <= kLimit && down <= kLimit)
        return false;
    const bool rising = up > kLimit;
    const double n = static_cast<double>(rising ? upN : downN);
    const double shift = (rising ? 1 : -1) * sd * (kSlack + (rising ? up : down) / n);
    alarm->unit = rising ? upStart : downStart;
    alarm->raised = unit;
    alarm->line = rising ? upStartLine : downStartLine;
    alarm->shiftHz = shift;
    // The level after the shift is learnt afresh, as at the start: one step
    // raises one alarm.
    reference = Moments();
    ready = false;
    up = down = 0;
    return true;
}

bool DriftSeries::Add(double v, long unit, long line, std::string* error) {
    ++m_size;
    if (m_head.size() < kInMemory) {
        m_head.push_back({v, unit, line});
        return true;
    }
    if (!m_spill) {
        m_spill.reset(OpenScratchFile(error));
        if (!m_spill)
            return false;
    }
    const Entry e{v, unit, line};
    if (std::fwrite(&e, sizeof e, 1, m_spill.get()) != 1) {
        *error = "the drift series cannot be written to its temporary file";
        return false;
    }
    return true;
}

bool FindDrift(const std::vector<PartSeries>& parts, StationStats* station, std::string* error) {
    Cusum cusum;
    long units = 0, lines = 0; // before the part
    for (const PartSeries& p : parts) {
        auto step = [&](const DriftSeries::Entry& e) {
            DriftAlarm alarm;
            if (cusum.Add(e.v, static_cast<long>(e.unit) + units, static_cast<long>(e.line) + lines,
                          &alarm) &&
                station->alarms.size() < kAlarmsKept)
                station->alarms.push_back(alarm);
        };
        if (!p.series->ForEach(step, error))
            return false;
        units += p.units;
        lines += p.lines;
    }
    return true;
}

} // namespace station
