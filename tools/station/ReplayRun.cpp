// --replay and --sweep: the log read once, its units fitted once, the library
// loaded once per chip and initialised once per configuration.
#include "ConfigCheck.h"
#include "OmraHost.h"
#include "Options.h"
#include "Replay.h"
#include "Sweep.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace station {

int RunReplay(const Options& o, FILE* out) {
    constexpr int kExitUsage = 2, kExitLibrary = 3;
    std::string config, label;
    if (o.configPath.empty()) {
        config = DefaultConfigText();
        label = "embedded default configuration";
    } else {
        std::string error;
        if (!ReadTextFile(o.configPath, &config, &error)) {
            std::fprintf(stderr, "vantor-station: %s\n", error.c_str());
            return kExitUsage;
        }
        label = o.configPath;
    }
    SweepSpec sweep;
    if (!o.sweep.empty())
        sweep = ParseSweep(o.sweep);

    std::string text;
    {
        std::ifstream in(o.replayPath, std::ios::binary);
        std::ostringstream all;
        if (in)
            all << in.rdbuf();
        if (!in || in.bad()) {
            std::fprintf(stderr, "vantor-station: cannot read the log '%s': %s\n",
                         o.replayPath.c_str(), std::strerror(errno));
            return kExitUsage;
        }
        text = all.str();
    }
    // An unwritable plot is found before the replay runs, not after.
    std::ofstream svg;
    if (!o.svgPath.empty()) {
        svg.open(o.svgPath, std::ios::binary | std::ios::trunc);
        if (!svg) {
            std::fprintf(stderr, "vantor-station: cannot write the SVG report to %s: %s\n",
                         o.svgPath.c_str(), std::strerror(errno));
            return kExitUsage;
        }
    }

    HostLog log = ReadHostLog(text);
    text.clear();
    text.shrink_to_fit();
    std::vector<CrystalFit> fits = FitUnits(log);

    ReplaySetup setup;
    setup.libraryPath = o.libraryPath.empty() ? host::DefaultLibraryPath() : o.libraryPath;
    setup.chipType = o.chipType;
    setup.band = o.band;
    setup.rfKind = o.rfKind;
    std::string error;
    std::vector<std::string> faults;
    if (!FindStationFaults(setup, log, fits, config, &faults, &error)) {
        std::fprintf(stderr, "vantor-station: %s\n", error.c_str());
        return kExitLibrary;
    }
    PrintLogSummary(out, o.replayPath, log, fits, faults);

    std::vector<double> values;
    std::vector<std::string> configs;
    if (o.sweep.empty()) {
        configs.push_back(config);
    } else {
        values = sweep.Values();
        for (double v : values)
            configs.push_back(SweptConfig(config, sweep, v));
    }
    std::vector<ReplayOutcome> outcomes;
    if (!ReplayLog(setup, log, fits, faults, configs, &outcomes, &error)) {
        std::fprintf(stderr, "vantor-station: %s\n", error.c_str());
        return kExitLibrary;
    }
    if (o.sweep.empty()) {
        outcomes[0].config = label;
        PrintReplay(out, outcomes[0]);
        return 0;
    }
    double current = 0;
    bool known = SweepCurrent(config, sweep, &current);
    std::fprintf(out, "Config     %s\n", label.c_str());
    PrintSweep(out, sweep, values, outcomes, known ? &current : nullptr);
    if (svg.is_open()) {
        svg << SweepSvg(sweep, values, outcomes, known ? &current : nullptr,
                        "Replay of " + o.replayPath + ": " + std::to_string(log.units.size()) +
                            " units");
        svg.close();
        if (!svg) {
            std::fprintf(stderr, "vantor-station: cannot write the SVG report to %s: %s\n",
                         o.svgPath.c_str(), std::strerror(errno));
            return kExitUsage;
        }
        std::fprintf(out, "Report     %s\n", o.svgPath.c_str());
    }
    return 0;
}

} // namespace station
