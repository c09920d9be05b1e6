// line: a simulated population dealt to stations, with tester faults and
// retests, its yield and distributions, and its logs as hosts write them.
#include "commands/Cli.h"

#include <memory>

namespace station {

namespace {

double notNegative(const std::string& option, const std::string& value) {
    double v = ParseNumber(option, value);
    if (v < 0)
        throw UsageError(option + " cannot be negative");
    return v;
}

// "HZ[@STATION]" or "HZ@UNIT[@STATION]"
TesterShift parseShift(const std::string& option, const std::string& v, bool withUnit) {
    std::vector<std::string> parts;
    size_t pos = 0;
    for (size_t at = v.find('@');; at = v.find('@', pos)) {
        parts.push_back(v.substr(pos, at == std::string::npos ? at : at - pos));
        if (at == std::string::npos)
            break;
        pos = at + 1;
    }
    const size_t fixed = withUnit ? 2 : 1;
    if (parts.size() < fixed || parts.size() > fixed + 1)
        throw UsageError(option + " takes " + (withUnit ? "HZ@UNIT[@STATION]" : "HZ[@STATION]") +
                         ", not '" + v + "'");
    TesterShift s;
    s.hz = ParseNumber(option + " HZ", parts[0]);
    if (withUnit)
        s.unit = static_cast<long>(ParseInteger(option + " UNIT", parts[1], 1, 100000000));
    if (parts.size() > fixed)
        s.station = static_cast<int>(ParseInteger(option + " STATION", parts[fixed], 1, 99));
    return s;
}

} // namespace

Command AddLineCommand(CLI::App& top) {
    auto p = std::make_shared<LineParams>();
    CLI::App* app = top.add_subcommand(
        "line", "a simulated line: a population of units over stations, its yield and its logs");
    AddValue(app, "--units", "N", "calibrate N units and report the yield",
             [p](const std::string& n, const std::string& v) {
                 p->units = static_cast<long>(ParseInteger(n, v, 1, 100000000));
             })
        ->required();
    AddValue(app, "--stations", "N",
             "deal the units to N stations (with --log DIR: station-01.log ... in that folder)",
             [p](const std::string& n, const std::string& v) {
                 p->stations = static_cast<int>(ParseInteger(n, v, 1, 99));
             });
    struct Spread {
        const char* name;
        const char* help;
        double sim::CrystalSpread::*member;
    };
    static const Spread spreads[] = {
        {"--spread-offset", "deviation of the offset (default 3000)",
         &sim::CrystalSpread::offsetHz},
        {"--spread-cdac-step", "deviation of the CDAC step (default 40)",
         &sim::CrystalSpread::cdacStepHz},
        {"--spread-slope", "deviation of the CAFC slope (default 1)",
         &sim::CrystalSpread::cafcSlopeHz},
    };
    for (const Spread& s : spreads)
        AddValue(app, s.name, "HZ", s.help,
                 [p, member = s.member](const std::string& n, const std::string& v) {
                     p->spread.*member = notNegative(n, v);
                 });
    AddRepeated(app, "--tester-bias", "HZ[@STATION]",
                "that station's RF tester reads every frequency error HZ off (every station's, "
                "without @STATION)",
                [p](const std::string& n, const std::string& v) {
                    p->testerBias.push_back(parseShift(n, v, false));
                });
    AddRepeated(app, "--tester-step", "HZ@UNIT[@STATION]",
                "from that unit of the station on, its tester reads HZ further off",
                [p](const std::string& n, const std::string& v) {
                    p->testerSteps.push_back(parseShift(n, v, true));
                });
    AddValue(app, "--retest", "N", "test a failed unit again, up to N times",
             [p](const std::string& n, const std::string& v) {
                 p->retests = static_cast<int>(ParseInteger(n, v, 0, 10));
             });
    AddPath(app, "--log", "FILE|DIR",
            "write the library's log lines to FILE as a host does (a folder with --stations)",
            &p->logPath);
    AddPath(app, "--svg", "FILE", "write histograms with the windows as an SVG report",
            &p->svgPath);
    app->add_flag_callback(
        "--no-progress", [p] { p->progress = false; },
        "no progress line (shown only on a terminal, never with --json)");
    AddJsonOption(app, &p->json, "one JSON object a unit and the summary, instead of tables");
    AddConfigOption(app, &p->configPath);
    AddLibraryOptions(app, {&p->libraryPath, &p->chipType, &p->band, &p->rfKind});
    AddUnitOptions(app, &p->unit);
    AddTimeOptions(app, &p->time);
    SetExitStatuses(app, "0 the line ran, 2 a bad command line or configuration file or an "
                         "unwritable report, 3 the library cannot be loaded or started.");
    return {app, [p] {
                p->job = LineParams::Job::Population;
                for (const auto* shifts : {&p->testerBias, &p->testerSteps})
                    for (const TesterShift& s : *shifts)
                        if (s.station > p->stations)
                            throw UsageError("a tester shift names station " +
                                             std::to_string(s.station) + " of a line of " +
                                             std::to_string(p->stations) + " (add --stations N)");
                CrystalFor(p->unit);
                return RunLine(*p);
            }};
}

} // namespace station
