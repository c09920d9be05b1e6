#include "line/LineRun.h"

#include "config/ConfigCheck.h"
#include "line/PrefixWriter.h"
#include "line/Serial.h"
#include "logs/HostLog.h"
#include "logs/LogSource.h"
#include "platform/FileVersion.h"
#include "reports/Report.h"
#include "session/Session.h"
#include "support/StationChips.h"
#include "support/TempFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

namespace station {

double LineParams::TesterOffsetHz(int station, long unitNumber, TimeMs at) const {
    auto mine = [station](const TesterShift& s) { return s.station == 0 || s.station == station; };
    double hz = 0;
    for (const TesterShift& s : testerBias)
        if (mine(s))
            hz += s.hz;
    for (const TesterShift& s : testerSteps)
        if (mine(s) && (s.from != kNoTime ? at >= s.from : unitNumber >= s.unit))
            hz += s.hz;
    for (const TesterShift& s : testerDrift)
        if (mine(s))
            hz += s.hz * static_cast<double>(at - start) / kMsPerDay;
    return hz;
}

namespace {

constexpr int kExitFail = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLibrary = 3;

// A test that may wait for whichever station is free.
constexpr TimeMs kAnyTime = INT64_MIN;
// The last time the logs can write in four digits of year.
const TimeMs kLastTime = DaysFromCivil(10000, 1, 1) * kMsPerDay - 1;

// When each station is free again: every test holds its station one takt.
class StationClocks {
public:
    StationClocks(int stations, TimeMs start, TimeMs takt)
        : m_free(static_cast<size_t>(stations), start), m_takt(takt) {}

    // The station that can start a test ready at `ready` first, other than
    // `except`; ties go to the first in turn after `after` (the lowest number
    // when none is given). A retest is handed to the failed test's neighbour
    // when both are free: with equal takts ties are the rule, and the lowest
    // number would take every retest and show their yield as its own.
    int Next(TimeMs ready, int except = -1, int after = -1) const {
        const size_t n = m_free.size();
        const size_t first = after < 0 ? 0 : (static_cast<size_t>(after) + 1) % n;
        int best = -1;
        TimeMs bestAt = 0;
        for (size_t k = 0; k < n; ++k) {
            const size_t s = (first + k) % n;
            const TimeMs at = std::max(m_free[s], ready);
            if (static_cast<int>(s) != except && (best < 0 || at < bestAt)) {
                best = static_cast<int>(s);
                bestAt = at;
            }
        }
        return best;
    }
    TimeMs Free(int station) const { return m_free[static_cast<size_t>(station)]; }
    // Books the station's next takt from `ready` on; when the test starts.
    TimeMs Take(int station, TimeMs ready) {
        TimeMs& free = m_free[static_cast<size_t>(station)];
        const TimeMs at = std::max(free, ready);
        if (at > kLastTime - m_takt)
            throw Stop(kExitUsage, "the line would run past the year 9999: lower --takt or "
                                   "--units, or start earlier with --start");
        free = at + m_takt;
        return at;
    }
    TimeMs Takt() const { return m_takt; }

private:
    std::vector<TimeMs> m_free;
    TimeMs m_takt;
};

// A golden unit: a crystal kept for checking the testers, and its reading
// on a tester without error.
struct GoldenUnit {
    sim::CrystalParams crystal;
    std::string serial;
    double referenceHz = 0;
};

bool golden(const std::string& serial) {
    static const std::string tac = std::to_string(kGoldenTac);
    return serial.compare(0, tac.size(), tac) == 0;
}

// Routes the library's pauses to a clock for as long as it lives.
class ClockInUse {
public:
    explicit ClockInUse(StationClock* clock) { UseClock(clock); }
    ~ClockInUse() { UseClock(nullptr); }
    ClockInUse(const ClockInUse&) = delete;
    ClockInUse& operator=(const ClockInUse&) = delete;
};

// One run of the station, in the order a host takes it: the configuration is
// checked before the library is touched, and the report paths are opened
// before any unit runs.
class LineRun {
public:
    explicit LineRun(const LineParams& o)
        : m_o(o), m_writer(o.json ? MakeJsonWriter(stdout) : MakeTextWriter(stdout)) {}

    int Run() {
        readConfiguration();
        if (m_o.job == LineParams::Job::Check)
            return checkOnly();
        openSvgReport();
        openHostLog();
        openLibrary();
        if (m_o.job == LineParams::Job::Version) {
            m_writer->WriteLibrary(m_lib);
            return 0;
        }
        writeConfigurationFile();
        describeRun();
        m_writer->WriteRunHeader(m_lib, m_configLabel, m_check);
        setUpAction();
        if (m_o.job == LineParams::Job::Unit)
            return runOneUnit();
        runPopulation();
        return 0;
    }

private:
    void readConfiguration() {
        if (m_o.configPath.empty()) {
            m_configText = DefaultConfigText();
            m_configLabel = "embedded default configuration";
        } else {
            std::string error;
            if (!ReadTextFile(m_o.configPath, &m_configText, &error))
                throw Stop(kExitUsage, error);
            m_configLabel = m_o.configPath;
        }
        m_check = CheckConfig(m_configText, m_o.unit.chip);
    }

    int checkOnly() {
        m_writer->WriteCheck(m_check, m_configLabel + " for " + ChipLabel(m_o.unit.chip));
        return m_check.Warnings() > 0 ? kExitFail : 0;
    }

    // An unwritable report path is found before the population runs, not after.
    void openSvgReport() {
        if (m_o.svgPath.empty())
            return;
        m_svg.open(m_o.svgPath, std::ios::binary | std::ios::trunc);
        if (!m_svg)
            throw Stop(kExitUsage, "cannot write the SVG report to " + m_o.svgPath + ": " +
                                       std::strerror(errno));
    }

    // One log for one station; with several, station-01.log ... in the folder.
    // golden.csv goes beside them.
    void openHostLog() {
        const int n = m_o.stations;
        for (int i = 0; i < n; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "station-%02d", i + 1);
            m_stationNames.emplace_back(name);
        }
        if (m_o.logPath.empty())
            return;
        m_hostLogs.resize(static_cast<size_t>(n));
        m_hostLogPaths.resize(static_cast<size_t>(n));
        if (n > 1 && !MakeFolder(m_o.logPath))
            throw Stop(kExitUsage,
                       "cannot make the log folder " + m_o.logPath + ": " + std::strerror(errno));
        for (int i = 0; i < n; ++i) {
            const std::string& name = m_stationNames[static_cast<size_t>(i)];
            m_hostLogPaths[static_cast<size_t>(i)] =
                n > 1 ? m_o.logPath + "/" + name + ".log" : m_o.logPath;
            std::ofstream& f = m_hostLogs[static_cast<size_t>(i)];
            f.open(m_hostLogPaths[static_cast<size_t>(i)], std::ios::binary | std::ios::trunc);
            if (!f)
                throw Stop(kExitUsage, hostLogError(i));
        }
        if (m_o.golden > 0) {
            const size_t slash = m_o.logPath.find_last_of("/\\");
            m_goldenPath = n > 1 ? m_o.logPath + "/golden.csv"
                           : slash == std::string::npos
                               ? std::string("golden.csv")
                               : m_o.logPath.substr(0, slash + 1) + "golden.csv";
            m_goldenFile.open(m_goldenPath, std::ios::binary | std::ios::trunc);
            if (!m_goldenFile)
                throw Stop(kExitUsage, goldenError());
        }
    }

    std::string goldenError() const {
        return "cannot write the golden units' readings to " + m_goldenPath + ": " +
               std::strerror(errno);
    }

    std::string hostLogError(int station) const {
        return "cannot write the log to " + m_hostLogPaths[static_cast<size_t>(station)] + ": " +
               std::strerror(errno);
    }

    bool writingLogs() const { return !m_hostLogs.empty(); }

    // The test's log lines as the host appends them to its station's log:
    // each after the prefix of its time, the station, the serial and the
    // attempt. The lines keep their times on the station clock, squeezed into
    // the takt when the run took longer, so that the next test's come later.
    void writeHostLog(const UnitResult& r, int station, TimeMs start, const std::string& serial,
                      int attempt) {
        if (!writingLogs())
            return;
        const double room = static_cast<double>(m_clocks->Takt() - 1);
        const double scale = r.stationMs > room ? room / r.stationMs : 1.0;
        const std::string& name = m_stationNames[static_cast<size_t>(station)];
        m_logLines.clear();
        for (const Line& l : r.lines) {
            m_prefix.Append(&m_logLines, start + static_cast<TimeMs>(l.atMs * scale), name, serial,
                            attempt);
            m_logLines += l.text;
            m_logLines += '\n';
        }
        m_hostLogs[static_cast<size_t>(station)] << m_logLines;
    }

    // The logs are whole on disk before any report says the run is over.
    void closeHostLog() {
        for (size_t i = 0; i < m_hostLogs.size(); ++i) {
            m_hostLogs[i].close();
            if (!m_hostLogs[i])
                throw Stop(kExitUsage, hostLogError(static_cast<int>(i)));
        }
        if (m_goldenFile.is_open()) {
            m_goldenFile.close();
            if (!m_goldenFile)
                throw Stop(kExitUsage, goldenError());
        }
    }

    void openLibrary() {
        m_libraryPath = m_o.libraryPath.empty() ? host::DefaultLibraryPath() : m_o.libraryPath;
        if (!m_session.Open(m_libraryPath))
            throw Stop(kExitLibrary, m_session.Error());
        m_lib.path = m_libraryPath;
        m_lib.versionText = platform::FileVersionOfFile(m_libraryPath);
        platform::ParseFileVersion(m_lib.versionText, &m_lib.version, &m_lib.build);
        const LIBRARY_INFO& info = m_session.Info();
        for (unsigned i = 0; i < info.count && i < OMRA_MAX_ACTIONS; ++i) {
            const ACTION_ENTRY& e = info.entries[i];
            m_lib.actions.emplace_back(
                e.id, host::GbkToUtf8(std::string(e.name, strnlen(e.name, sizeof e.name))));
        }
    }

    // The action reads a file: the embedded configuration becomes a temporary one.
    void writeConfigurationFile() {
        m_configPath = m_o.configPath;
        if (!m_configPath.empty())
            return;
        std::string error;
        if (!m_temp.Write(m_configText, &error))
            throw Stop(kExitUsage, error);
        m_configPath = m_temp.Path();
    }

    void describeRun() {
        m_crystal = CrystalFor(m_o.unit);
        m_facts.chip = ChipLabel(m_o.unit.chip);
        m_facts.actionId = ActionId(m_o.unit.chip);
        m_facts.chipType = m_o.chipType;
        m_facts.band = m_o.band;
        m_facts.rfKind = m_o.rfKind == OMRA_DRIVER_KIND_TABLE ? "table" : "object";
        m_facts.virtualTime = m_o.VirtualTime();
        m_facts.config = m_configLabel;
        m_facts.handset = DescribeCrystal(m_o.unit, m_crystal, m_o.job == LineParams::Job::Unit);
        m_facts.seed = m_o.unit.seed;
        m_clock.real = !m_facts.virtualTime;
    }

    void setUpAction() {
        if (!m_session.Create(m_facts.actionId, m_o.unit.chip))
            throw Stop(kExitLibrary, m_session.Error());
        if (!m_session.Init(m_o.chipType, m_o.band, m_configPath, m_o.rfKind))
            throw Stop(kExitUsage, m_session.Error());
    }

    int runOneUnit() {
        UnitResult r;
        {
            ClockInUse clock(&m_clock);
            r = m_session.Run(m_crystal, m_o.unit.seed, faults(), &m_clock, true);
        }
        m_clocks = std::make_unique<StationClocks>(1, m_o.start, m_o.taktMs);
        writeHostLog(r, 0, m_o.start, Imei(kProductionTac, 1), 1);
        closeHostLog();
        m_writer->WriteUnit(MakeUnitReport(m_facts, r));
        return r.passed ? 0 : kExitFail;
    }

    // Each production unit goes to the station free first (ties: the lowest
    // number); golden units go before a station's production tests at the
    // start of each shift or every N of them; a failed unit is tested again
    // up to --retest times and a share of the passed ones once more elsewhere.
    void runPopulation() {
        Population population(m_o.unit.chip, m_check);
        Retests retests;
        m_clocks = std::make_unique<StationClocks>(m_o.stations, m_o.start, m_o.taktMs);
        StationClocks& clocks = *m_clocks;
        const size_t stations = static_cast<size_t>(m_o.stations);
        m_tested.assign(stations, 0);
        m_summary.retestsOn.assign(stations, 0);
        std::vector<long> produced(stations, 0);
        m_goldenShift.assign(stations, LLONG_MIN);
        {
            ClockInUse clock(&m_clock);
            // Golden units and audits draw from streams of their own: the
            // production units' crystals stay those of the same seed without them.
            sim::Random draw(m_o.unit.seed), auditDraw(m_o.unit.seed ^ 0x6175646974ULL);
            m_goldenDraw = sim::Random(m_o.unit.seed ^ 0x676F6C64656EULL);
            prepareGoldenUnits();
            ProgressBar progress(m_o.units, m_o.progress && !m_o.json);
            auto wallStart = std::chrono::steady_clock::now();
            for (long i = 0; i < m_o.units; ++i) {
                const sim::CrystalParams unit = sim::DrawCrystal(m_crystal, m_o.spread, draw);
                const std::string serial = Imei(kProductionTac, i + 1);
                const int station = clocks.Next(kAnyTime);
                if (m_o.goldenEvery > 0 &&
                    produced[static_cast<size_t>(station)] % m_o.goldenEvery == 0)
                    runGoldenUnits(station, kAnyTime);
                ++produced[static_cast<size_t>(station)];
                TimeMs end = 0;
                UnitResult r = runTest(unit, draw.Next(), station, kAnyTime, serial, 1, &end);
                retests.Add(0, r.passed);
                const bool firstPassed = r.passed;
                int at = station;
                for (int test = 1; test <= m_o.retests && !r.passed; ++test) {
                    const int next =
                        m_o.retestOn == RetestOn::Same
                            ? at
                            : clocks.Next(end, m_o.retestOn == RetestOn::Other ? at : -1, at);
                    ++m_summary.retestsOn[static_cast<size_t>(next)];
                    if (next != at)
                        ++m_summary.retestsElsewhere;
                    at = next;
                    r = runTest(unit, draw.Next(), at, end, serial, test + 1, &end);
                    retests.Add(test, r.passed);
                }
                if (firstPassed && m_o.audit > 0 && auditDraw.Uniform() < m_o.audit) {
                    const int other = clocks.Next(end, station, station);
                    ++m_summary.audits;
                    if (runTest(unit, auditDraw.Next(), other, end, serial, 2).passed)
                        ++m_summary.auditsPassed;
                }
                population.Add(r);
                m_writer->WritePopulationUnit(MakeUnitSummary(i + 1, r));
                progress.Update(i + 1);
            }
            std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
            progress.Finish(); // the report starts on a clean line
            closeHostLog();
            population.SetWallSeconds(wall.count());
        }
        PopulationReport report = population.Report(m_facts, m_o.spread);
        m_writer->WritePopulation(report);
        if (m_o.retests > 0)
            m_writer->WriteRetests(retests);
        if (m_o.runSection)
            m_writer->WriteLineRun(lineSummary());
        writeSvgReport(report);
    }

    // The golden units one after the other on a station, from `ready` on.
    void runGoldenUnits(int station, TimeMs ready) {
        m_goldenShift[static_cast<size_t>(station)] =
            ShiftOf(std::max(m_clocks->Free(station), ready));
        for (const GoldenUnit& g : m_golden)
            runTest(g.crystal, m_goldenDraw.Next(), station, ready, g.serial, 1);
        m_summary.goldenRuns += static_cast<long>(m_golden.size());
    }

    // One test on a station at its next free time from `ready` on, logged;
    // a station's first test in a shift comes after the golden units.
    UnitResult runTest(const sim::CrystalParams& unit, uint64_t seed, int station, TimeMs ready,
                       const std::string& serial, int attempt, TimeMs* end = nullptr) {
        if (!m_golden.empty() && m_o.goldenEvery == 0 && !golden(serial) &&
            ShiftOf(std::max(m_clocks->Free(station), ready)) !=
                m_goldenShift[static_cast<size_t>(station)])
            runGoldenUnits(station, ready);
        const TimeMs start = m_clocks->Take(station, ready);
        Faults f = faults();
        long& n = m_tested[static_cast<size_t>(station)];
        f.testerBiasHz = m_o.TesterOffsetHz(station + 1, ++n, start);
        UnitResult r = m_session.Run(unit, seed, f, &m_clock, writingLogs());
        writeHostLog(r, station, start, serial, attempt);
        m_lastEnd = std::max(m_lastEnd, start + m_clocks->Takt());
        if (end != nullptr)
            *end = start + m_clocks->Takt();
        return r;
    }

    // The golden units, drawn once, and each one's reading at the first
    // frequency measurement on a tester without error.
    void prepareGoldenUnits() {
        sim::Random& draw = m_goldenDraw;
        for (int g = 0; g < m_o.golden; ++g) {
            GoldenUnit unit;
            unit.crystal = sim::DrawCrystal(m_crystal, m_o.spread, draw);
            unit.serial = Imei(kGoldenTac, g + 1);
            UnitResult r = m_session.Run(unit.crystal, draw.Next(), Faults{}, &m_clock, true);
            std::string text;
            AppendHostLog(&text, r);
            HostLog read = ReadHostLog(text);
            if (read.units.empty() || read.units[0].points.empty())
                throw Stop(kExitUsage, "golden unit " + unit.serial +
                                           " gave no frequency reading on the reference "
                                           "tester: its crystal cannot be a golden unit");
            unit.referenceHz = read.units[0].points[0].feHz;
            m_golden.push_back(unit);
        }
        if (!m_goldenFile.is_open())
            return;
        m_goldenFile << "serial,reference_hz\n";
        for (const GoldenUnit& g : m_golden) {
            char hz[48];
            std::snprintf(hz, sizeof hz, "%.3f", g.referenceHz);
            m_goldenFile << g.serial << ',' << hz << '\n';
        }
    }

    LineRunSummary lineSummary() {
        LineRunSummary& s = m_summary;
        const TimeMs end = std::max(m_lastEnd, m_o.start);
        const long long first = ShiftOf(m_o.start), last = ShiftOf(std::max(m_o.start, end - 1));
        auto shiftLabel = [](long long shift) {
            return std::string(ShiftName(shift)) + " " + FormatDate(ShiftStart(shift));
        };
        s.start = FormatTime(m_o.start);
        s.end = FormatTime(end);
        s.shifts = static_cast<long>(last - first + 1);
        s.firstShift = shiftLabel(first);
        s.lastShift = shiftLabel(last);
        s.taktSeconds = static_cast<double>(m_o.taktMs) / 1000;
        s.stations = m_o.stations;
        s.goldenUnits = m_o.golden;
        s.goldenWhen = m_o.goldenEvery > 0 ? "before every " + std::to_string(m_o.goldenEvery) +
                                                 " production tests of a station"
                                           : "at each shift's start";
        s.retesting = m_o.retests > 0;
        s.auditing = m_o.audit > 0;
        return s;
    }

    void writeSvgReport(const PopulationReport& report) {
        if (!m_svg.is_open())
            return;
        m_svg << SvgReport(report);
        m_svg.close();
        if (!m_svg)
            throw Stop(kExitUsage, "cannot write the SVG report to " + m_o.svgPath + ": " +
                                       std::strerror(errno));
        m_writer->WriteSvgPath(m_o.svgPath);
    }

    Faults faults() const { return Faults{m_o.unit.failAfc, m_o.unit.failFlash, m_o.unit.rfError}; }

    const LineParams& m_o;
    std::unique_ptr<ReportWriter> m_writer;
    std::string m_configText, m_configLabel, m_configPath, m_libraryPath;
    ConfigReport m_check;
    // Torn down in the reverse order: the temporary file first, the report file last.
    std::ofstream m_svg;
    std::vector<std::ofstream> m_hostLogs;
    std::vector<std::string> m_hostLogPaths, m_stationNames;
    std::string m_logLines;
    PrefixWriter m_prefix;
    std::ofstream m_goldenFile;
    std::string m_goldenPath;
    std::vector<GoldenUnit> m_golden;
    std::vector<long long> m_goldenShift; // of each station's last golden runs
    sim::Random m_goldenDraw{0};
    std::unique_ptr<StationClocks> m_clocks; // when each station is free
    std::vector<long> m_tested;              // tests of each station so far
    TimeMs m_lastEnd = 0;
    LineRunSummary m_summary;
    Session m_session;
    LibraryFacts m_lib;
    TempFile m_temp{"the default configuration"};
    sim::CrystalParams m_crystal{};
    RunFacts m_facts;
    StationClock m_clock;
};

} // namespace

int RunLine(const LineParams& params) {
    return LineRun(params).Run();
}

} // namespace station
