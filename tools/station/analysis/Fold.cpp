// A part of a station's log folded into its statistics unit by unit.
#include "analysis/Analysis.h"
#include "analysis/Judge.h"
#include "support/StationChips.h"

#include <cstring>

namespace station {

namespace {

// Folds units into a station's statistics as they come.
class Folder {
public:
    Folder(StationStats* s, const std::vector<ConfigReport>* windows, DriftSeries* drift,
           std::string* error)
        : m_s(s), m_windows(windows), m_drift(drift), m_error(error) {}

    // False when the drift series cannot be kept.
    bool Unit(const LoggedUnit& u) {
        StationStats& s = *m_s;
        ++s.units;
        if (s.band < 0) {
            s.band = u.band;
            s.channel = u.channel;
        }
        JudgedUnit j = JudgeUnit(u, (*m_windows)[ChipIndex(u.chip)]);
        if (j.passed) {
            ++s.passed;
        } else {
            std::string key = j.hasTriple ? "(" + std::to_string(j.triple[0]) + ", " +
                                                std::to_string(j.triple[1]) + ", " +
                                                std::to_string(j.triple[2]) + ") " + j.failure
                                          : j.failure;
            FailureCount& f = s.failures[key];
            ++f.count;
            f.hasTriple = j.hasTriple;
            std::memcpy(f.triple, j.triple, sizeof f.triple);
            f.text = j.failure;
        }
        for (int v = 0; v < kValues; ++v)
            if (j.has[v])
                s.values[ChipIndex(u.chip)][v].Add(j.value[v]);
        if (!j.hasReference)
            return true;
        s.reference.Add(j.referenceHz);
        chart(j.referenceHz);
        return m_drift->Add(j.referenceHz, s.units, u.firstLine, m_error);
    }

private:
    // Batch means of the reference-point error, in blocks that double to keep the chart's size.
    void chart(double v) {
        std::vector<ChartPoint>& c = m_s->chart;
        if (c.empty() || c.back().units >= m_block) {
            if (c.size() >= kChartPoints) {
                std::vector<ChartPoint> half;
                for (size_t i = 0; i + 1 < c.size(); i += 2)
                    half.push_back(
                        {c[i].firstUnit, c[i].units + c[i + 1].units, c[i].sum + c[i + 1].sum});
                if (c.size() % 2 == 1)
                    half.push_back(c.back());
                c.swap(half);
                m_block *= 2;
            }
            if (c.empty() || c.back().units >= m_block)
                c.push_back({m_s->units, 0, 0});
        }
        ++c.back().units;
        c.back().sum += v;
    }

    StationStats* m_s;
    const std::vector<ConfigReport>* m_windows;
    DriftSeries* m_drift;
    std::string* m_error;
    long m_block = 1;
};

} // namespace

bool AnalysePart(const LogInput& log, const LogPart& part, const std::vector<ConfigReport>& windows,
                 StationStats* stats, DriftSeries* drift, std::string* error) {
    StationStats& s = *stats;
    s = StationStats();
    s.name = log.station;
    s.Setup(windows);
    Folder folder(&s, &windows, drift, error);
    PartReader reader(log, part);
    if (!reader.Open()) {
        *error = reader.Error();
        return false;
    }
    bool kept = true;
    UnitReader units([&](LoggedUnit& u) { kept = kept && folder.Unit(u); }, log.prefix);
    std::string_view line;
    long n = 0;
    while (kept && reader.Next(&line))
        units.Line(line, ++n);
    if (kept && reader.Stop().Early()) {
        // What was read before the stop is kept; the units it cut are not judged.
        s.incomplete.log = log.path;
        s.incomplete.stop = reader.Stop();
        s.incomplete.line = n + 1;
        s.incomplete.cutUnits = units.Cut();
        s.incomplete.units = s.units;
    } else {
        units.Finish();
    }
    if (!kept)
        return false;
    const HostLog& counts = units.Counts();
    s.lines = n;
    s.unread = counts.unread;
    s.unreadExamples = counts.unreadExamples;
    s.bytes = reader.BytesRead();
    return true;
}

} // namespace station
