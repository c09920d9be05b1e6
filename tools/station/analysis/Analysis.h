// Hosts' logs analysed as they stand (no replay): per station and for the
// line the yield and failures, the capability of every judged value against
// its window, each station's tester bias against the rest of the line, and
// a CUSUM change detector on the same quantity in log order.
#pragma once

#include "config/ConfigCheck.h"
#include "logs/HostLog.h"
#include "logs/LogSource.h"
#include "support/RunningStats.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace station {

struct Options;

// What the log shows of one unit, judged as its chip judges it.
struct JudgedUnit {
    bool passed = false;
    // CDAC, CAFC (VT318: moved to the first attempt's window), CAFC slope;
    // has[] false where the unit did not get that far.
    bool has[3] = {false, false, false};
    double value[3] = {0, 0, 0};
    // Why it failed: a triple of the library or a station fault, as a key and a text.
    bool hasTriple = false;
    unsigned triple[3] = {0, 0, 0};
    std::string failure;
    // The error read at the first PFER point (the chip's reference setting):
    // the quantity a tester bias and a drift are estimated from. The tester
    // adds its bias to it in full; the flashed CAFC does not show a bias, as
    // the CDAC is chosen on the biased reading and takes it up in whole steps.
    bool hasReference = false;
    double referenceHz = 0;
};
JudgedUnit JudgeUnit(const LoggedUnit& u, const ConfigReport& windows);

// The uplink carrier of a channel in MHz, 0 when the channel is not in the band.
double CarrierMhz(int band, int channel);

constexpr int kValues = 3; // CDAC, CAFC, CAFC slope
constexpr int kCdacValue = 0, kCafcValue = 1, kSlopeValue = 2;
const char* ValueName(int value);

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
    void Save(Archive& a) const;
    bool Load(Archive& a);
};

struct DriftAlarm {
    long unit = 0, line = 0; // where the shift began, in the station's log
    long raised = 0;         // the unit that raised the alarm
    double shiftHz = 0;
};

// Tabular CUSUM on the reference-point error standardised by the station's
// first units, tuned for small shifts: reference k = 0.1 deviation (for a
// shift of 0.2 deviation), decision interval h = 70 deviations (an alarm
// without a shift about once in 10^8 units).
struct Cusum {
    static constexpr long kReferenceUnits = 1000;
    static constexpr double kSlack = 0.1, kLimit = 70;
    Moments reference; // the first kReferenceUnits values
    double target = 0, sd = 0;
    double up = 0, down = 0;
    long upStart = 0, downStart = 0, upStartLine = 0, downStartLine = 0, upN = 0, downN = 0;
    bool ready = false;
    // From the value of the unit-th unit at `line`: an alarm when one is raised.
    bool Add(double v, long unit, long line, DriftAlarm* alarm);
    // One step of a one-sided sum by a standardised value.
    static double Step(double sum, double z) { return std::max(0.0, sum + z - kSlack); }
    // Its units and lines counted from an origin `units` and `lines` earlier.
    void Shift(long units, long lines);
    void Save(Archive& a) const;
    bool Load(Archive& a);
};

// A unit's reference-point error where it stands in its part.
struct DriftInput {
    double v = 0;
    long unit = 0, line = 0;
};

// How the drift a part's worker found joins the units before the part. A
// part that starts further into its log starts the detector at rest (both
// sums 0) on the reference of its log's head. Any detector the units before
// left on that reference without an alarm has sums at or below the limit,
// and its sums meet the worker's once those of the highest start (both at
// the limit) have: `prefix` holds the units until then. The merge replays
// them from the detector the units before left; when it meets the worker's
// without an alarm, the rest of the part is the worker's, and otherwise the
// part is read again from that detector.
struct DriftJoin {
    static constexpr size_t kPrefixKept = 200000;
    bool tail = false; // the part starts further into its log
    bool met = false;  // the highest start met the worker's sums, no alarm before
    Cusum start, end;  // the detector as the worker started it and as it left it
    double metUp = 0, metDown = 0;
    std::vector<DriftInput> prefix;
    void Save(Archive& a) const;
    bool Load(Archive& a);
};
// True when the part's drift is what the detector `before` (counted from the
// part's start) finds in it.
bool DriftJoins(const Cusum& before, const DriftJoin& join);

struct ChartPoint {
    long firstUnit = 0, units = 0;
    double sum = 0;
};

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
    std::vector<DriftAlarm> alarms;
    DriftJoin join;
    std::vector<ChartPoint> chart;
    long long bytes = 0;
    IncompleteLog incomplete; // where the log stopped early, if it did

    bool Incomplete() const { return incomplete.stop.Early(); }

    void Setup(const std::vector<ConfigReport>& windows); // by chip
    void Merge(const StationStats& later); // later in the same log: units and lines move on
    void Save(Archive& a) const;
    bool Load(Archive& a);
    double CarrierMhz() const;
};

// One part of one log read and folded in; the residuals of the log's head
// for the drift reference when the part starts further in.
struct PartInput {
    const struct LogInput* log = nullptr;
    const struct LogPart* part = nullptr;
};
// `start`: the detector as the units before the part left it; without it a
// part further into its log starts the detector at rest on its log's head.
bool AnalysePart(const PartInput& in, const std::vector<ConfigReport>& windows, StationStats* stats,
                 std::string* error, const Cusum* start = nullptr);

// The comparison of stations and the report.
struct StationRow {
    const StationStats* stats = nullptr;
    double biasHz = 0, seHz = 0, biasPpm = 0, sePpm = 0;
    bool flagged = false;
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
    int partsReadAgain = 0; // for the drift across a cut
};
void CompareStations(LineAnalysis* a);

void PrintAnalysis(FILE* out, const LineAnalysis& a);
void PrintAnalysisJson(FILE* out, const LineAnalysis& a);

// --analyse: the exit status.
int RunAnalysis(const Options& options, FILE* out);

} // namespace station
