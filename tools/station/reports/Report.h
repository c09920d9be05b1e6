// What the station shows: one unit as a host operator sees it, a population
// as a yield. Each is built once as a report and written as text or as JSON
// lines; a population also as an SVG report.
#pragma once

#include "config/ConfigCheck.h"
#include "support/Json.h"
#include "session/Session.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace station {

struct LibraryFacts {
    std::string path, versionText, version, build;
    std::vector<std::pair<unsigned, std::string>> actions; // id, name in UTF-8
};

struct RunFacts {
    std::string chip; // "VT318"
    unsigned actionId = 0;
    int32_t chipType = 1, band = 1;
    std::string rfKind; // "object" or "table"
    bool virtualTime = true;
    std::string config;  // path, or a description of the embedded one
    std::string handset; // the crystal in words
    uint64_t seed = 1;
};

struct IncompleteLog;
// A log that stopped early as a JSON object: log, why, reason,
// stopped_at_byte, stopped_at_line, units, cut_units.
std::string IncompleteJson(const IncompleteLog& log);

// printf of one number.
std::string FormatNumber(const char* format, double v);
// "(14, 137, 31)"
std::string TripleText(const ERROR_TRIPLE& t);

// --- one unit, as the report shows it ----------------------------------------

enum class Judgement { Info, Pass, Fail };

struct ItemRow {
    Item item;
    bool closing = false; // the unnamed closing item: it carries the run's verdict
    Judgement judgement = Judgement::Info;
};

// Items and log lines in the order they arrived.
struct Arrival {
    bool isItem = true;
    size_t index = 0; // into items or lines
};

struct UnitReport {
    RunFacts run;
    std::vector<ItemRow> items;
    std::vector<Line> lines;
    std::vector<Arrival> arrivals;
    bool passed = false;
    uint32_t doResult = 0;
    int ignoredFailures = 0; // passed with this many handset commands failed and let pass
    static constexpr int kFlashFields = 3;
    std::optional<int16_t> flash[kFlashFields]; // CAFC, CDAC, slope length; empty: not written
    std::optional<ERROR_TRIPLE> error;
    bool threw = false;
    std::string message, fullText; // the exception's; or, not thrown, why the run failed
    double stationMs = 0, pausesMs = 0, instrumentMs = 0;
};
UnitReport MakeUnitReport(const RunFacts& run, const UnitResult& r);

// A one-line reason for a failed unit: the triple and the message with its
// numbers taken out, so that units failing the same way count together.
std::string ReasonPattern(const UnitResult& r);

// One calibrated value over a population, in constant memory: running
// moments, and counts in fine bins whose range is fixed from the window (and
// from the first values when there is none). Each unit counts as inside or
// outside by the window it was judged against.
class Distribution {
public:
    static constexpr size_t kFineBins = 4096;
    static constexpr size_t kFirstValues = 4096; // kept exactly until the range is fixed

    std::string name, unit;
    Window window;    // as configured (the VT318 CAFC: of the first attempt)
    std::string note; // a sentence under the plot

    void Add(double v, bool inside);
    long Count() const { return m_count; }
    long Outside() const { return m_outside; }
    double Mean() const { return m_mean; }
    double Sd() const;
    double Min() const { return m_min; }
    double Max() const { return m_max; }
    bool Whole() const { return m_whole; }

    // Bins for a plot of about `wanted` bars: the range that the window and
    // the values give, or, when the values would fill only a few bars,
    // a range fitted to the values.
    struct Bar {
        double low = 0, high = 0; // high excluded; whole numbers: low..high-1
        long inside = 0, outside = 0;
        long Units() const { return inside + outside; }
    };
    struct Plot {
        std::vector<Bar> bars;
        double low = 0, high = 0;  // the plotted range
        bool fitted = false;       // the range follows the values, not the window
        long below = 0, above = 0; // values beyond the range, counted in the end bars
    };
    Plot Bins(int wanted) const;

private:
    // Counts in fine bins over a fixed range, split by the units' verdicts.
    struct Fine {
        double low = 0, width = 1;
        std::vector<long> inside, outside;
        long below[2] = {0, 0}, above[2] = {0, 0}; // inside, outside
        void Setup(double lo, double hi, bool whole);
        void Count(double v, bool inside);
        long Beyond() const { return below[0] + below[1] + above[0] + above[1]; }
    };
    void fixRange() const;
    Plot build(const Fine& f, long a, long b, long anchor, int wanted) const;

    long m_count = 0, m_outside = 0;
    double m_mean = 0, m_m2 = 0, m_min = 0, m_max = 0;
    bool m_whole = true;
    // Filled lazily: the ranges are fixed by the first kFirstValues values,
    // or by all of them when the report comes first. m_window covers the
    // window and its surroundings, m_data the band of the first values.
    mutable std::vector<std::pair<double, bool>> m_first;
    mutable bool m_fixed = false;
    mutable Fine m_window, m_data;
};

// The range a histogram draws: the values and the window, but no further
// from the window than its own width, so that a stray unit (a CDAC wrapped
// to 65533) does not squeeze the rest into one bar.
void PlotRange(const Distribution& d, double* low, double* high);

struct Reason {
    long count = 0;
    bool hasTriple = false;
    ERROR_TRIPLE triple{};
    std::string pattern, example;
};

// --- a population, as the report shows it -----------------------------------

// One calibrated value over the population.
struct ValueStats {
    std::string key; // its JSON member
    std::string name, unit, note;
    Window window;
    long count = 0, outside = 0;
    double mean = 0, sd = 0, min = 0, max = 0;
    bool calibrated = true; // false: the chip keeps the configured value, the tables leave it out
    const Distribution* distribution = nullptr; // for histograms; the population's own
};

// One unit of a population, as its line shows it.
struct UnitSummary {
    long index = 0; // from 1
    bool passed = false;
    std::optional<double> cdac, cafc, slope;
    int attempts = 0, ignoredFailures = 0;
    double stationMs = 0;
    std::optional<ERROR_TRIPLE> error;
    std::string message; // a failed unit's
};
UnitSummary MakeUnitSummary(long index, const UnitResult& r);

struct PopulationReport {
    RunFacts run;
    sim::CrystalSpread spread;
    long units = 0, passed = 0, passedIgnoring = 0;
    std::vector<Reason> reasons;    // by triple and pattern
    std::map<int, long> attempts;   // coarse CDAC attempts (VT318): units
    std::vector<ValueStats> values; // CDAC, CAFC, slope
    double timeMeanMs = 0, timeMinMs = 0, timeMaxMs = 0;
    double wallSeconds = 0; // what computing it took here; 0: unknown
    // "N of M passed (P %)", with the passes that ignored a command failure.
    std::string YieldText() const;
};

class Population {
public:
    Population(sim::Chip chip, const ConfigReport& config);
    void Add(const UnitResult& r);
    // The report refers to the population's distributions: it lives no longer.
    PopulationReport Report(const RunFacts& run, const sim::CrystalSpread& spread) const;

    long Units() const { return m_units; }
    long Passed() const { return m_passed; }
    long PassedIgnoringFailures() const { return m_passedIgnoring; }
    void SetWallSeconds(double s) { m_wallSeconds = s; }

private:
    sim::Chip m_chip;
    long m_units = 0, m_passed = 0, m_passedIgnoring = 0;
    std::map<std::string, Reason> m_reasons;
    std::map<int, long> m_attempts;
    Distribution m_cdac, m_cafc, m_slope;
    double m_timeSum = 0, m_timeMin = 0, m_timeMax = 0;
    double m_wallSeconds = 0;
};

// First tests and retests of a population's units.
struct Retests {
    long units = 0, firstPassed = 0, passed = 0, tests = 0, passedOnRetest = 0;
    void Add(int test, bool passed); // test 0 is a unit's first
    double Rate() const { return units > 0 ? static_cast<double>(tests - units) / units : 0.0; }
};

// A simulated line's run on its clock: when it ran, the shifts it covered,
// and the tests on top of the production units' first ones.
struct LineRunSummary {
    std::string start, end;            // the first test's start, the last one's end
    long shifts = 0;                   // the shifts its tests fell in
    std::string firstShift, lastShift; // "early 2026-12-07"
    double taktSeconds = 0;
    int stations = 1;
    int goldenUnits = 0;
    long goldenRuns = 0;
    std::string goldenWhen;      // "at each shift's start", "every 500 production tests"
    bool retesting = false;      // failed units were tested again
    std::vector<long> retestsOn; // by station
    long retestsElsewhere = 0;   // on another station than the failed test's
    bool auditing = false;
    long audits = 0, auditsPassed = 0;
};

// The SVG report: one histogram per calibrated value with its window drawn on it.
std::string SvgReport(const PopulationReport& report);

// --- the two ways to write a report ------------------------------------------

struct ReplayReport;
struct SweepReport;

class ReportWriter {
public:
    virtual ~ReportWriter() = default;
    virtual void WriteLibrary(const LibraryFacts& lib) = 0;
    // The configuration check alone; `title` names the file and the chip.
    virtual void WriteCheck(const ConfigReport& check, const std::string& title) = 0;
    // What a run starts with: the library, the configuration and its findings.
    virtual void WriteRunHeader(const LibraryFacts& lib, const std::string& config,
                                const ConfigReport& check) = 0;
    virtual void WriteUnit(const UnitReport& unit) = 0;
    // Each unit of a population as it is done.
    virtual void WritePopulationUnit(const UnitSummary& unit) = 0;
    virtual void WritePopulation(const PopulationReport& report) = 0;
    // A host's log replayed under one configuration, or over a swept key.
    virtual void WriteReplay(const ReplayReport& report) = 0;
    virtual void WriteSweep(const SweepReport& report) = 0;
    virtual void WriteSvgPath(const std::string& path) = 0;
    virtual void WriteRetests(const Retests& retests) = 0;
    virtual void WriteLineRun(const LineRunSummary& run) = 0;
};

// Tables for a person.
std::unique_ptr<ReportWriter> MakeTextWriter(FILE* out);
// One JSON object a line, for a script.
std::unique_ptr<ReportWriter> MakeJsonWriter(FILE* out);

// Shows progress on a terminal only (nothing when the output goes to a file
// or a pipe): units per second and the time left, cleared by Finish.
class ProgressBar {
public:
    ProgressBar(long total, bool wanted);
    ~ProgressBar();
    void Update(long done);
    void Finish();

private:
    long m_total;
    bool m_active;
    bool m_shown = false;
    size_t m_width = 0;
    std::chrono::steady_clock::time_point m_start, m_last;
};

} // namespace station
