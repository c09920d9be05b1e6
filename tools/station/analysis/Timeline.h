// The line in time: every unit's reading in the order the line tested them,
// once, after the threads. From it: the singles' change detector per station
// and chip, the serials read more than once (golden units, retests, audits)
// gathered in a window of log time, and per shift and station the tests,
// first tests and a bias; at the end each station's biases with their
// standard errors, drift and aging.
#pragma once

#include "analysis/Change.h"
#include "analysis/Readings.h"
#include "reports/AnalysisModel.h"

#include <deque>
#include <functional>
#include <map>
#include <unordered_map>

namespace station {

// One reading with its station's index in the line and its place in its log.
struct LineReading {
    double value = 0;
    bool hasValue = false, passed = false;
    TimeMs time = kNoTime;
    SerialKey serial;
    int station = 0, chip = 0, attempt = 0;
    long unit = 0, line = 0; // in the station's log
    long long tag = 0;       // where the reading can be found again
};

// Stations' errors from groups of readings of one unit each (its own
// crystal offset unknown): least squares on the differences within the
// groups, by normal equations accumulated a group at a time (S x S numbers
// whatever the number of groups).
class GroupFit {
public:
    explicit GroupFit(size_t stations = 0);
    void AddGroup(const int* stations, const double* values, size_t n);
    long Groups() const { return m_groups; }
    long Readings(size_t station) const { return m_readings[station]; }
    size_t Stations() const { return m_readings.size(); }

    // Each station against the mean of the rest of the stations it is
    // compared with; the noise variance of one reading from the residuals
    // (`noiseVariance` < 0: the fit's own, when it has degrees of freedom).
    std::vector<BiasEstimate> Relative(double noiseVariance = -1) const;
    // The fit's residual variance of one reading; -1 without degrees of freedom.
    double NoiseVariance() const;
    // Its residual sum of squares and degrees of freedom.
    void Residuals(double* rss, long* df) const;
    // Absolute errors: the fit anchored by readings of known truth (per
    // station their count and sum of errors, of variance `anchorVariance`).
    std::vector<BiasEstimate> Anchored(const std::vector<Moments>& anchors, double anchorVariance,
                                       double noiseVariance) const;

private:
    struct Solved {
        std::vector<double> b;  // sum zero within each group of connected stations
        std::vector<int> group; // a station's connected group (-1: none)
        std::vector<std::vector<double>> inverse; // per connected group
        std::vector<std::vector<size_t>> members;
        double explained = 0;
        long parameters = 0;
    };
    Solved solve() const;
    size_t root(size_t s) const;
    std::vector<double> m_a, m_r; // normal equations
    std::vector<long> m_readings;
    mutable std::vector<size_t> m_parent; // stations compared, joined
    double m_ypy = 0;
    long m_df = 0, m_groups = 0;
};

// Each station's mean against the rest's within each chip, combined over
// chips by inverse variance: stations with different chip mixes compare fairly.
std::vector<BiasEstimate> SinglesBias(const std::vector<StationStats>& stations);

// Independent estimates of the same quantity combined by inverse variance;
// unknown when none is known.
BiasEstimate Combine(const std::vector<BiasEstimate>& parts);

// What bounds the memory: a serial's readings are held until its second
// can no longer come, a window of log time or of readings. About 200 bytes a
// reading held (its member, its group's hash entry, its opening in the
// queue): 24 stations x 2880 tests a day, 70 000 readings, 14 MB for any
// length of logs; without times at most 2^20 readings, about 200 MB.
struct TimelineParams {
    double windowHours = 24;                  // a serial's readings gathered for this long
    long windowReadings = 1L << 20;           // or these many readings on, whichever comes first
    const SerialTexts* serialTexts = nullptr; // hashed serials' texts, for the alarms
};

class Timeline {
public:
    Timeline(size_t stations, const GoldenUnits* golden, const TimelineParams& params);
    // The readings in the order the line tested them.
    void Add(const LineReading& r);
    // The line's biases, drift, trends and shifts into `a`, whose stations
    // are the timeline's; `find` gives a reading back by its tag.
    bool Finish(LineAnalysis* a, const std::function<bool(long long, LineReading*)>& find,
                std::string* error);

private:
    struct Member {
        double value;
        TimeMs time;
        int station, chip;
    };
    struct GroupKey {
        SerialKey serial;
        long long shift; // golden units: a round per shift; others kAnyShift
        bool operator==(const GroupKey& o) const { return serial == o.serial && shift == o.shift; }
    };
    struct GroupKeyHash {
        size_t operator()(const GroupKey& k) const {
            return SerialKeyHash()(k.serial) ^ (static_cast<size_t>(k.shift) * 0x100000001B3ULL);
        }
    };
    struct Group {
        TimeMs first = kNoTime;
        long long firstSeq = 0, shift = 0;
        const double* reference = nullptr; // golden units only
        SerialKey serial;
        bool golden = false;
        std::vector<Member> members;
    };
    struct Opened {
        GroupKey key;
        TimeMs first;
        long long seq;
    };
    // A station in one shift.
    struct ShiftStation {
        long units = 0, passed = 0, firstTests = 0, firstPassed = 0;
        bool any = false;
        TimeMs firstTime = kNoTime;
        SerialKey firstSerial;
        long firstUnit = 0, firstLine = 0, lastUnit = 0;
    };
    struct OpenShift {
        std::vector<ShiftStation> stations;
        GroupFit pairs, golden;
        std::vector<Moments> goldenAbsolute;
    };
    // One station's bias in one shift, for its drift.
    struct ShiftPoint {
        Estimate estimate;
        std::string method;
        ShiftStation where;
    };
    // Means of consecutive points, in blocks that double to keep the chart's size.
    struct Thinned {
        struct Sum {
            double t = 0, hz = 0;
            long n = 0;
        };
        std::vector<Sum> sums;
        long block = 1;
        void Add(TimeMs t, double hz);
        std::vector<GoldenPoint> Points() const;
    };
    struct PendingAlarm {
        long long startTag = 0;
        long raised = 0;
        double shift = 0;
        int chip = 0;
    };

    static constexpr long long kAnyShift = INT64_MIN;
    void expire(TimeMs now);
    void close(const Group& g);
    OpenShift& openShift(long long shift);
    void finalize(long long shift, OpenShift& s);
    double pairNoise() const;
    double goldenNoise() const;
    void estimate(const OpenShift& s, std::vector<BiasEstimate>* bias,
                  std::vector<std::string>* method) const;
    // A serial as the log wrote it; empty for a hashed one whose text was not kept.
    std::string serialText(const SerialKey& k) const {
        return m_params.serialTexts ? SerialText(k, *m_params.serialTexts) : SerialText(k);
    }

    size_t m_stations;
    const GoldenUnits* m_golden;
    TimelineParams m_params;
    long long m_seq = 0;
    std::vector<SelfStartingCusum> m_singles; // by station and chip
    std::vector<std::vector<PendingAlarm>> m_pending;
    std::unordered_map<GroupKey, Group, GroupKeyHash> m_groups;
    std::deque<Opened> m_opened; // in the order the groups opened
    GroupFit m_pairs, m_goldenRounds;
    std::vector<Moments> m_goldenAbsolute;
    std::vector<SerialKey> m_goldenRead; // golden units read, with references
    std::vector<Thinned> m_goldenPoints;
    std::map<long long, OpenShift> m_shifts;
    long long m_finalizedThrough = INT64_MIN;
    std::vector<ShiftRow> m_rows;
    std::vector<std::vector<ShiftPoint>> m_series; // by station
    double m_shiftRss = 0, m_goldenShiftSs = 0;    // the shifts' own residuals, pooled
    long m_shiftDf = 0, m_goldenShiftDf = 0;
    bool m_hasTimes = false, m_hasSerials = false;
    long m_goldenReadings = 0, m_pairGroups = 0;
};

} // namespace station
