// What the analysis of a line's logs found, as its job fills it and the text,
// JSON and page writers write it: per station and for the line the yield and
// failures, the capability of every judged value against its window, the
// stations' tester bias against the rest of the line, drift alarms and a
// control chart of the reference-point error.
#pragma once

#include "config/ConfigCheck.h"
#include "logs/HostLog.h"
#include "logs/LogSource.h"
#include "support/RunningStats.h"
#include "support/Time.h"

#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace station {

constexpr int kValues = 3; // CDAC, CAFC, CAFC slope
constexpr int kCdacValue = 0, kCafcValue = 1, kSlopeValue = 2;
const char* ValueName(int value);

// What a station keeps of its alarms, chart and unread lines.
constexpr size_t kAlarmsKept = 50, kChartPoints = 240, kUnreadKept = 5;

// Halves a chart: each two adjacent points become one, merge(first, second)
// adding the second into the first; an odd last point stays as it is.
template <class Point, class Merge> void HalveChart(std::vector<Point>* points, Merge merge) {
    std::vector<Point>& c = *points;
    size_t kept = 0;
    for (size_t i = 0; i < c.size(); i += 2) {
        Point p = c[i];
        if (i + 1 < c.size())
            merge(p, c[i + 1]);
        c[kept++] = p;
    }
    c.resize(kept);
}

// One judged value against its window, over one station or the line.
struct Capability {
    bool known = false; // the window
    double low = 0, high = 0;
    Moments moments;
    MovingRange ranges;
    FixedBins bins;
    long outside = 0;
    void Setup(const Window& w);
    void Add(double v);
    void Merge(const Capability& later);
    double Cp() const;
    double Cpk() const;
    double Ppk() const;
    double ExpectedOutside() const; // fraction, from the mean and the overall deviation
    const char* Level() const;      // by Cpk
};

struct DriftAlarm {
    long unit = 0, line = 0; // where the shift began, in the station's log
    long raised = 0;         // the unit that raised the alarm
    double shiftHz = 0;
    TimeMs time = kNoTime; // where the shift began, when the log gives times
    std::string serial;    // the unit there, when the log gives serials
    std::string method;    // what it was found on: "golden", "pairs" or "singles"
    int chip = -1;         // singles: the chip (ChipIndex) whose readings moved
};

// One station's bias from one kind of reading, with its standard error.
struct BiasEstimate {
    bool known = false;
    double hz = 0, seHz = 0;
    long readings = 0; // golden readings, pairs or single units it rests on
};

// A station's bias in one shift (or the line's totals: station -1).
struct ShiftRow {
    long long shift = 0;                  // ShiftOf: its start is ShiftStart(shift)
    int station = -1;                     // index into LineAnalysis::stations; -1 the line
    long units = 0, passed = 0;           // production tests in the shift (golden runs apart)
    long firstTests = 0, firstPassed = 0; // first tests of a serial
    BiasEstimate bias;                    // from the golden units and pairs of the shift
    std::string method;                   // "golden", "pairs", "golden+pairs"; empty: none
};

// One golden unit's reading against its reference (or the round's other
// stations), for the golden chart.
struct GoldenPoint {
    TimeMs time = kNoTime;
    double hz = 0;
};

// A station's aging: a straight line through its shift biases since its
// last change, and where it crosses the bias limit.
struct DriftTrend {
    bool known = false;
    double hzPerDay = 0, seHzPerDay = 0;
    double levelHz = 0;         // the line's value at `from`
    TimeMs from = kNoTime;      // the first shift it rests on
    TimeMs limitDate = kNoTime; // where the projected bias crosses the limit; kNoTime: none ahead
};

struct ChartPoint {
    long firstUnit = 0, units = 0;
    double sum = 0;
};
// Adds the next point's units into a point's (for HalveChart).
void AddChartPoint(ChartPoint& into, const ChartPoint& next);

struct FailureCount {
    long count = 0;
    bool hasTriple = false;
    unsigned triple[3] = {0, 0, 0};
    std::string text;
};

// One station's log, or the part of it one worker read.
struct StationStats {
    std::string name;
    long lines = 0, units = 0, passed = 0, unread = 0;
    std::vector<UnreadLine> unreadExamples;
    std::map<std::string, FailureCount> failures;
    int band = -1, channel = 0;
    std::vector<std::array<Capability, kValues>> values; // by chip (ChipIndex), by value
    Moments reference;                                   // the reference-point error
    std::vector<Moments> referenceByChip; // by chip, golden units apart: the singles' bias
    std::vector<DriftAlarm> alarms;
    std::vector<ChartPoint> chart;
    long long bytes = 0;
    IncompleteLog incomplete; // where the log stopped early, if it did

    bool Incomplete() const { return incomplete.stop.Early(); }
    void Setup(const std::vector<ConfigReport>& windows); // by chip
    void Merge(const StationStats& later); // later in the same log: units and lines move on
    // What a later part holds of the station's units, after `unitsBefore` of them.
    void MergeUnits(const StationStats& later, long unitsBefore);
    // A later part's lines, bytes and stop, after `linesBefore` lines and
    // `unitsBefore` units of the same log.
    void MergeLog(const StationStats& later, long linesBefore, long unitsBefore);
    double CarrierMhz() const;
};

// The comparison of stations and the report.
struct StationRow {
    const StationStats* stats = nullptr;
    double biasHz = 0, seHz = 0, biasPpm = 0, sePpm = 0; // the reported bias
    bool flagged = false;
    std::string method; // "golden", "pairs", "singles" or a "+" of those combined
    BiasEstimate golden, pairs, singles;
    DriftTrend trend;
    std::vector<GoldenPoint> goldenPoints; // thinned to at most kChartPoints
};
struct LineAnalysis {
    std::vector<StationStats> stations;
    StationStats line; // every station merged
    std::vector<StationRow> rows;
    double biasLimitPpm = 0.05;
    std::string config;
    long long bytes = 0;
    double seconds = 0;
    int jobs = 1;
    double driftSlack = 0, driftLimit = 0; // the detector's k and h, in deviations
    long driftReferenceUnits = 0;          // the units its target and deviation come from
    std::vector<ShiftRow> shifts;          // by shift, then station; the line's row last
    bool hasTimes = false, hasSerials = false;
    bool absolute = false; // golden units' reference readings anchor the biases
    long goldenReadings = 0, pairs = 0;
};

void PrintAnalysis(FILE* out, const LineAnalysis& a);
void PrintAnalysisJson(FILE* out, const LineAnalysis& a);

} // namespace station
