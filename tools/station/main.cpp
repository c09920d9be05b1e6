// vantor-station: a calibration line on a desk. Loads the action library as
// the production host does and calibrates simulated handsets with it.
#include "ConfigCheck.h"
#include "Options.h"
#include "HostLog.h"
#include "Replay.h"
#include "Report.h"
#include "Session.h"
#include "TempFile.h"
#include "platform/FileVersion.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

using namespace station;

constexpr int kExitFail = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLibrary = 3;

std::string describeCrystal(const Options& o, const sim::CrystalParams& c) {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "%s: offset %.0f Hz, CDAC step %.0f Hz/code, CAFC slope %.2f Hz/code, "
                  "curvature %g Hz/code^2, noise %.0f Hz",
                  o.profile.c_str(), c.offsetHz, c.cdacStepHz, c.cafcSlopeHz, c.curvature,
                  c.noiseHz);
    std::string s = buf;
    if (o.units == 0)
        s += ", seed " + std::to_string(o.seed);
    if (o.failAfc > 0)
        s += "; AFC command " + std::to_string(o.failAfc) + " fails";
    if (o.failFlash > 0)
        s += "; flash write " + std::to_string(o.failFlash) + " fails";
    if (o.rfError > 0)
        s += "; RF measurement " + std::to_string(o.rfError) + " errs";
    return s;
}

int run(const Options& o) {
    FILE* out = stdout;
    if (!o.replayPath.empty())
        return RunReplay(o, out);
    std::string libraryPath = o.libraryPath.empty() ? host::DefaultLibraryPath() : o.libraryPath;

    // The configuration is checked before the library is touched.
    std::string configText;
    std::string configLabel;
    if (o.configPath.empty()) {
        configText = DefaultConfigText();
        configLabel = "embedded default configuration";
    } else {
        std::string error;
        if (!ReadTextFile(o.configPath, &configText, &error)) {
            std::fprintf(stderr, "vantor-station: %s\n", error.c_str());
            return kExitUsage;
        }
        configLabel = o.configPath;
    }
    ConfigReport check = CheckConfig(configText, o.chip);

    if (o.checkOnly) {
        if (o.json)
            PrintFindingsJson(out, check);
        else
            PrintFindings(out, check, configLabel + " for " + ChipLabel(o.chip));
        return check.Warnings() > 0 ? kExitFail : 0;
    }

    // An unwritable report path is found before the population runs, not after.
    std::ofstream svg;
    if (!o.svgPath.empty()) {
        svg.open(o.svgPath, std::ios::binary | std::ios::trunc);
        if (!svg) {
            std::fprintf(stderr, "vantor-station: cannot write the SVG report to %s: %s\n",
                         o.svgPath.c_str(), std::strerror(errno));
            return kExitUsage;
        }
    }
    std::ofstream hostLog;
    if (!o.logPath.empty()) {
        hostLog.open(o.logPath, std::ios::binary | std::ios::trunc);
        if (!hostLog) {
            std::fprintf(stderr, "vantor-station: cannot write the log to %s: %s\n",
                         o.logPath.c_str(), std::strerror(errno));
            return kExitUsage;
        }
    }
    // The unit's log lines as the host appends them to its log.
    std::string logLines;
    auto writeLog = [&](const UnitResult& r) {
        if (!hostLog.is_open())
            return;
        logLines.clear();
        AppendHostLog(&logLines, r);
        hostLog << logLines;
    };
    // False (with the message shown) when the log could not be written whole.
    auto closeLog = [&]() {
        if (!hostLog.is_open())
            return true;
        hostLog.close();
        if (!hostLog) {
            std::fprintf(stderr, "vantor-station: cannot write the log to %s: %s\n",
                         o.logPath.c_str(), std::strerror(errno));
            return false;
        }
        return true;
    };
    Session session;
    if (!session.Open(libraryPath)) {
        std::fprintf(stderr, "vantor-station: %s\n", session.Error().c_str());
        return kExitLibrary;
    }
    LibraryFacts lib;
    lib.path = libraryPath;
    lib.versionText = platform::FileVersionOfFile(libraryPath);
    platform::ParseFileVersion(lib.versionText, &lib.version, &lib.build);
    const LIBRARY_INFO& info = session.Info();
    for (unsigned i = 0; i < info.count && i < OMRA_MAX_ACTIONS; ++i) {
        const ACTION_ENTRY& e = info.entries[i];
        lib.actions.emplace_back(
            e.id, host::GbkToUtf8(std::string(e.name, strnlen(e.name, sizeof e.name))));
    }
    if (o.showVersion) {
        if (o.json)
            PrintLibraryJson(out, lib);
        else
            PrintLibrary(out, lib);
        return 0;
    }

    // The embedded configuration as a file the action can read.
    TempFile temp("the default configuration");
    std::string configPath = o.configPath;
    if (configPath.empty()) {
        std::string error;
        if (!temp.Write(configText, &error)) {
            std::fprintf(stderr, "vantor-station: %s\n", error.c_str());
            return kExitUsage;
        }
        configPath = temp.Path();
    }

    sim::CrystalParams crystal = CrystalFor(o);
    RunFacts facts;
    facts.chip = ChipLabel(o.chip);
    facts.actionId = ActionId(o.chip);
    facts.chipType = o.chipType;
    facts.band = o.band;
    facts.rfKind = o.rfKind == OMRA_DRIVER_KIND_TABLE ? "table" : "object";
    facts.virtualTime = o.VirtualTime();
    facts.config = configLabel;
    facts.handset = describeCrystal(o, crystal);
    facts.seed = o.seed;

    if (o.json) {
        PrintLibraryJson(out, lib);
        PrintFindingsJson(out, check);
    } else {
        PrintLibrary(out, lib);
        std::fprintf(out, "Config     %s\n", configLabel.c_str());
        PrintFindings(out, check, "configuration");
        std::fprintf(out, "\n");
    }

    if (!session.Create(facts.actionId, o.chip)) {
        std::fprintf(stderr, "vantor-station: %s\n", session.Error().c_str());
        return kExitLibrary;
    }
    if (!session.Init(o.chipType, o.band, configPath, o.rfKind)) {
        std::fprintf(stderr, "vantor-station: %s\n", session.Error().c_str());
        return kExitUsage;
    }

    StationClock clock;
    clock.real = !facts.virtualTime;
    UseClock(&clock);
    Faults faults{o.failAfc, o.failFlash, o.rfError};

    if (o.units == 0) {
        UnitResult r = session.Run(crystal, o.seed, faults, &clock, true);
        UseClock(nullptr);
        writeLog(r);
        if (!closeLog())
            return kExitUsage;
        if (o.json)
            PrintUnitJson(out, facts, r);
        else
            PrintUnit(out, facts, r);
        return r.passed ? 0 : kExitFail;
    }

    Population population(o.chip, check);
    sim::Random draw(o.seed);
    ProgressBar progress(o.units, o.progress && !o.json);
    auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < o.units; ++i) {
        sim::CrystalParams unit = sim::DrawCrystal(crystal, o.spread, draw);
        UnitResult r = session.Run(unit, draw.Next(), faults, &clock, hostLog.is_open());
        writeLog(r);
        population.Add(r);
        if (o.json)
            population.PrintUnitJson(out, i + 1, r);
        progress.Update(i + 1);
    }
    std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    progress.Finish(); // the report starts on a clean line
    if (!closeLog())
        return kExitUsage;
    UseClock(nullptr);
    population.SetWallSeconds(wall.count());
    if (o.json)
        population.PrintJson(out, facts, o.spread);
    else
        population.Print(out, facts, o.spread);

    if (svg.is_open()) {
        svg << population.Svg(facts);
        svg.close();
        if (!svg) {
            std::fprintf(stderr, "vantor-station: cannot write the SVG report to %s: %s\n",
                         o.svgPath.c_str(), std::strerror(errno));
            return kExitUsage;
        }
        if (!o.json)
            std::fprintf(out, "Report     %s\n", o.svgPath.c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    Options options;
    try {
        options = ParseOptions(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "vantor-station: %s\nTry 'vantor-station --help'.\n", e.what());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    }
    if (options.printConfig) {
        // Byte for byte, so that the printed file runs as the embedded one.
        std::fwrite(DefaultConfigText(), 1, std::strlen(DefaultConfigText()), stdout);
        return 0;
    }
    try {
        return run(options);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "vantor-station: %s\n", e.what());
        return kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantor-station: %s\n", e.what());
        return kExitFail;
    }
}
