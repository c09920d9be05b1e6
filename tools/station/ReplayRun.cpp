// --replay and --sweep: the log read once, its units fitted once, the library
// loaded once per chip and initialised once per configuration.
#include "ConfigCheck.h"
#include "OmraHost.h"
#include "Options.h"
#include "Replay.h"
#include "Report.h"
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
    std::unique_ptr<ReportWriter> writer = o.json ? MakeJsonWriter(out) : MakeTextWriter(out);

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
        ReplayReport report{MakeLogReport(o.replayPath, log, fits, faults), outcomes[0]};
        report.outcome.config = label;
        writer->WriteReplay(report);
        return 0;
    }
    SweepReport report{MakeLogReport(o.replayPath, log, fits, faults),
                       label,
                       sweep,
                       values,
                       outcomes,
                       std::nullopt};
    double current = 0;
    if (SweepCurrent(config, sweep, &current))
        report.current = current;
    writer->WriteSweep(report);
    if (svg.is_open()) {
        svg << SweepSvg(sweep, values, outcomes, report.current ? &*report.current : nullptr,
                        "Replay of " + o.replayPath + ": " + std::to_string(log.units.size()) +
                            " units");
        svg.close();
        if (!svg) {
            std::fprintf(stderr, "vantor-station: cannot write the SVG report to %s: %s\n",
                         o.svgPath.c_str(), std::strerror(errno));
            return kExitUsage;
        }
        writer->WriteSvgPath(o.svgPath);
    }
    return 0;
}

} // namespace station
