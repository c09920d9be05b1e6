// A part of a station's log folded into its statistics unit by unit.
#include "analysis/Analysis.h"
#include "analysis/Judge.h"
#include "support/StationChips.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace station {

namespace {

// Folds units into their stations' statistics as they come.
class Folder {
public:
    Folder(PartAnalysis* out, const LogInput* log, const std::vector<ConfigReport>* windows,
           const GoldenUnits* golden, std::string* error)
        : m_out(out), m_log(log), m_windows(windows), m_golden(golden), m_error(error) {}

    // False when the readings cannot be kept.
    bool Unit(const LoggedUnit& u) {
        const size_t index = station(u.station.empty() ? m_log->station : u.station);
        if (index > UINT16_MAX) {
            *m_error = m_log->path + ": more than 65536 stations named in one part of the log";
            return false;
        }
        StationStats& s = m_out->stations[index];
        ++s.units;
        if (s.band < 0) {
            s.band = u.band;
            s.channel = u.channel;
        }
        const size_t chip = ChipIndex(u.chip);
        JudgedUnit j = JudgeUnit(u, (*m_windows)[chip]);
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
                s.values[chip][v].Add(j.value[v]);
        Reading r;
        r.time = u.time;
        const SerialKey serial = KeyOfSerial(u.serial);
        keepText(index, u, serial);
        r.serial = serial.value;
        r.serialDigits = serial.digits;
        r.unit = s.units;
        r.line = u.firstLine;
        r.station = static_cast<uint16_t>(index);
        r.chip = static_cast<int8_t>(chip);
        r.attempt = static_cast<int16_t>(std::max(0, std::min(u.attempt, 32767)));
        r.passed = j.passed ? 1 : 0;
        if (j.hasReference) {
            r.hasValue = 1;
            r.value = j.referenceHz;
            s.reference.Add(j.referenceHz);
            // Golden units come back again and again, retests and audits are
            // chosen by their first result: neither is a sample of the crystals.
            if (u.attempt <= 1 &&
                (m_golden == nullptr || !serial.Known() || m_golden->Find(serial) == nullptr))
                s.referenceByChip[chip].Add(j.referenceHz);
            chart(index, j.referenceHz);
        }
        return m_out->readings.Add(r, m_error);
    }

private:
    size_t station(const std::string& name) {
        std::vector<StationStats>& all = m_out->stations;
        if (m_last < all.size() && all[m_last].name == name)
            return m_last;
        for (m_last = 0; m_last < all.size(); ++m_last)
            if (all[m_last].name == name)
                return m_last;
        all.emplace_back();
        all.back().name = name;
        all.back().Setup(*m_windows);
        m_blocks.push_back(1);
        m_lastShift.push_back(LLONG_MIN);
        return m_last = all.size() - 1;
    }

    // A hashed serial's text where its reading begins its station's shift in
    // this part: where a shift's bias, and so an alarm, starts.
    void keepText(size_t index, const LoggedUnit& u, const SerialKey& serial) {
        const long long shift = u.time == kNoTime ? LLONG_MAX : ShiftOf(u.time);
        long long& last = m_lastShift[index];
        if (shift == last)
            return;
        last = shift;
        if (serial.digits == SerialKey::kHashed && m_out->serialTexts.size() < kSerialTextsKept)
            m_out->serialTexts.emplace(serial.value, u.serial);
    }

    // Batch means of the reference-point error, in blocks that double to keep the chart's size.
    void chart(size_t index, double v) {
        StationStats& s = m_out->stations[index];
        long& block = m_blocks[index];
        std::vector<ChartPoint>& c = s.chart;
        if (c.empty() || c.back().units >= block) {
            if (c.size() >= kChartPoints) {
                HalveChart(&c, AddChartPoint);
                block *= 2;
            }
            if (c.empty() || c.back().units >= block)
                c.push_back({s.units, 0, 0});
        }
        ++c.back().units;
        c.back().sum += v;
    }

    PartAnalysis* m_out;
    const LogInput* m_log;
    const std::vector<ConfigReport>* m_windows;
    const GoldenUnits* m_golden;
    std::string* m_error;
    std::vector<long> m_blocks;
    std::vector<long long> m_lastShift; // each station's shift of its last reading
    size_t m_last = 0;
};

} // namespace

bool AnalysePart(const LogInput& log, const LogPart& part, const std::vector<ConfigReport>& windows,
                 const GoldenUnits* golden, PartAnalysis* out, std::string* error) {
    *out = PartAnalysis();
    StationStats& s = out->log;
    s.name = log.station;
    Folder folder(out, &log, &windows, golden, error);
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
    long read = 0;
    for (const StationStats& st : out->stations)
        read += st.units;
    if (kept && reader.Stop().Early()) {
        // What was read before the stop is kept; the units it cut are not judged.
        s.incomplete.log = log.path;
        s.incomplete.stop = reader.Stop();
        s.incomplete.line = n + 1;
        s.incomplete.cutUnits = units.Cut();
        s.incomplete.units = read;
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
