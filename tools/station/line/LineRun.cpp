#include "line/LineRun.h"

#include "config/ConfigCheck.h"
#include "logs/HostLog.h"
#include "logs/LogSource.h"
#include "platform/FileVersion.h"
#include "reports/Report.h"
#include "session/Session.h"
#include "support/StationChips.h"
#include "support/TempFile.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

namespace station {

double LineParams::TesterOffsetHz(int station, long unitNumber) const {
    double hz = 0;
    for (const TesterShift& s : testerBias)
        if (s.station == 0 || s.station == station)
            hz += s.hz;
    for (const TesterShift& s : testerSteps)
        if ((s.station == 0 || s.station == station) && unitNumber >= s.unit)
            hz += s.hz;
    return hz;
}

namespace {

constexpr int kExitFail = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLibrary = 3;

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
    void openHostLog() {
        if (m_o.logPath.empty())
            return;
        const int n = m_o.stations;
        m_hostLogs.resize(static_cast<size_t>(n));
        m_hostLogPaths.resize(static_cast<size_t>(n));
        if (n > 1 && !MakeFolder(m_o.logPath))
            throw Stop(kExitUsage,
                       "cannot make the log folder " + m_o.logPath + ": " + std::strerror(errno));
        for (int i = 0; i < n; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/station-%02d.log", i + 1);
            m_hostLogPaths[static_cast<size_t>(i)] = n > 1 ? m_o.logPath + name : m_o.logPath;
            std::ofstream& f = m_hostLogs[static_cast<size_t>(i)];
            f.open(m_hostLogPaths[static_cast<size_t>(i)], std::ios::binary | std::ios::trunc);
            if (!f)
                throw Stop(kExitUsage, hostLogError(i));
        }
    }

    std::string hostLogError(int station) const {
        return "cannot write the log to " + m_hostLogPaths[static_cast<size_t>(station)] + ": " +
               std::strerror(errno);
    }

    bool writingLogs() const { return !m_hostLogs.empty(); }

    // The unit's log lines as the host appends them to its station's log.
    void writeHostLog(const UnitResult& r, int station) {
        if (!writingLogs())
            return;
        m_logLines.clear();
        AppendHostLog(&m_logLines, r);
        m_hostLogs[static_cast<size_t>(station)] << m_logLines;
    }

    // The logs are whole on disk before any report says the run is over.
    void closeHostLog() {
        for (size_t i = 0; i < m_hostLogs.size(); ++i) {
            m_hostLogs[i].close();
            if (!m_hostLogs[i])
                throw Stop(kExitUsage, hostLogError(static_cast<int>(i)));
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
        writeHostLog(r, 0);
        closeHostLog();
        m_writer->WriteUnit(MakeUnitReport(m_facts, r));
        return r.passed ? 0 : kExitFail;
    }

    // Units reach the stations in turn; a failed unit is tested again at its
    // station up to --retest times, each test logged as the line logs it.
    void runPopulation() {
        Population population(m_o.unit.chip, m_check);
        Retests retests;
        {
            ClockInUse clock(&m_clock);
            sim::Random draw(m_o.unit.seed);
            ProgressBar progress(m_o.units, m_o.progress && !m_o.json);
            auto start = std::chrono::steady_clock::now();
            const int stations = m_o.stations;
            std::vector<long> tested(static_cast<size_t>(stations), 0);
            for (long i = 0; i < m_o.units; ++i) {
                const int station = static_cast<int>(i % stations);
                sim::CrystalParams unit = sim::DrawCrystal(m_crystal, m_o.spread, draw);
                UnitResult r;
                for (int test = 0; test <= m_o.retests; ++test) {
                    Faults f = faults();
                    long& n = tested[static_cast<size_t>(station)];
                    f.testerBiasHz = m_o.TesterOffsetHz(station + 1, ++n);
                    r = m_session.Run(unit, draw.Next(), f, &m_clock, writingLogs());
                    writeHostLog(r, station);
                    retests.Add(test, r.passed);
                    if (r.passed)
                        break;
                }
                population.Add(r);
                m_writer->WritePopulationUnit(MakeUnitSummary(i + 1, r));
                progress.Update(i + 1);
            }
            std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
            progress.Finish(); // the report starts on a clean line
            closeHostLog();
            population.SetWallSeconds(wall.count());
        }
        PopulationReport report = population.Report(m_facts, m_o.spread);
        m_writer->WritePopulation(report);
        if (m_o.retests > 0)
            m_writer->WriteRetests(retests);
        writeSvgReport(report);
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
    std::vector<std::string> m_hostLogPaths;
    std::string m_logLines;
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
