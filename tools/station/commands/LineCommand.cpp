// line: a simulated population on stations with a clock and shifts, golden
// units, retests and audits, tester faults by test or by time, its yield and
// distributions, and its logs as hosts write them.
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

// A time as the logs write it, to the minute or finer.
TimeMs parseTime(const std::string& option, const std::string& v) {
    TimeMs t = 0;
    if (!ParseTime(v, &t))
        throw UsageError(option + " takes a time YYYY-MM-DDTHH:MM (or with :SS), not '" + v + "'");
    return t;
}

std::vector<std::string> splitAt(const std::string& v) {
    std::vector<std::string> parts;
    size_t pos = 0;
    for (size_t at = v.find('@');; at = v.find('@', pos)) {
        parts.push_back(v.substr(pos, at == std::string::npos ? at : at - pos));
        if (at == std::string::npos)
            break;
        pos = at + 1;
    }
    return parts;
}

// "HZ[@STATION]" or "HZ@WHEN[@STATION]", WHEN a test of the station by
// number or a time.
TesterShift parseShift(const std::string& option, const std::string& v, bool withWhen,
                       const char* form) {
    const std::vector<std::string> parts = splitAt(v);
    const size_t fixed = withWhen ? 2 : 1;
    if (parts.size() < fixed || parts.size() > fixed + 1)
        throw UsageError(option + " takes " + form + ", not '" + v + "'");
    TesterShift s;
    s.hz = ParseNumber(option + " HZ", parts[0]);
    if (withWhen) {
        const std::string& when = parts[1];
        if (when.find_first_not_of("0123456789") == std::string::npos)
            s.unit = static_cast<long>(ParseInteger(option + " WHEN", when, 1, 100000000));
        else if (!ParseTime(when, &s.from))
            throw UsageError(option +
                             " WHEN takes a test number of the station or a time "
                             "YYYY-MM-DDTHH:MM, not '" +
                             when + "'");
    }
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
             "N stations, each unit to the one free first (with --log DIR: station-01.log ... "
             "in that folder)",
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
                    p->testerBias.push_back(parseShift(n, v, false, "HZ[@STATION]"));
                });
    AddRepeated(app, "--tester-step", "HZ@WHEN[@STATION]",
                "from that test of the station on (WHEN a number, counting every test), or "
                "from tests that start at or after WHEN (a time YYYY-MM-DDTHH:MM), its tester "
                "reads HZ further off",
                [p](const std::string& n, const std::string& v) {
                    p->testerSteps.push_back(parseShift(n, v, true, "HZ@WHEN[@STATION]"));
                    if (p->testerSteps.back().from != kNoTime)
                        p->runSection = true;
                });
    AddRepeated(app, "--tester-drift", "HZ_PER_DAY[@STATION]",
                "the tester's error grows by that much a day from --start on (an aging "
                "reference oscillator)",
                [p](const std::string& n, const std::string& v) {
                    p->testerDrift.push_back(parseShift(n, v, false, "HZ_PER_DAY[@STATION]"));
                    p->runSection = true;
                });
    AddValue(app, "--retest", "N", "test a failed unit again, up to N times",
             [p](const std::string& n, const std::string& v) {
                 p->retests = static_cast<int>(ParseInteger(n, v, 0, 10));
             });
    AddValue(app, "--retest-on", "same|other|any",
             "retest on the failed test's station, on another one, or on the one free first "
             "(default any)",
             [p](const std::string& n, const std::string& v) {
                 if (v == "same")
                     p->retestOn = RetestOn::Same;
                 else if (v == "other")
                     p->retestOn = RetestOn::Other;
                 else if (v == "any")
                     p->retestOn = RetestOn::Any;
                 else
                     throw UsageError(n + " takes same, other or any, not '" + v + "'");
                 p->runSection = true;
             });
    AddValue(app, "--audit", "FRACTION",
             "that share of the units that passed their first test is measured again on "
             "another station",
             [p](const std::string& n, const std::string& v) {
                 const double share = ParseNumber(n, v);
                 if (share < 0 || share > 1)
                     throw UsageError(n + " must be a share from 0 to 1, not '" + v + "'");
                 p->audit = share;
                 p->runSection = true;
             });
    AddValue(app, "--start", "TIME",
             "when the line starts, YYYY-MM-DDTHH:MM (default 2026-12-07T06:00, a Monday's "
             "early shift)",
             [p](const std::string& n, const std::string& v) {
                 p->start = parseTime(n, v);
                 p->runSection = true;
             });
    AddValue(app, "--takt", "SECONDS", "how long every test holds its station (default 30)",
             [p](const std::string& n, const std::string& v) {
                 const double s = ParseNumber(n, v);
                 if (!(s >= 0.001 && s <= 86400))
                     throw UsageError(n +
                                      " must be a number of seconds from 0.001 to 86400, "
                                      "not '" +
                                      v + "'");
                 p->taktMs = static_cast<TimeMs>(s * 1000 + 0.5);
                 p->runSection = true;
             });
    AddValue(app, "--golden", "K",
             "run K golden units (0 to 100) on every station, and write their reference "
             "readings to golden.csv beside the logs",
             [p](const std::string& n, const std::string& v) {
                 p->golden = static_cast<int>(ParseInteger(n, v, 0, 100));
                 p->runSection = true;
             });
    AddValue(app, "--golden-every", "shift|N",
             "run the golden units at each shift's start (default) or before every N "
             "production tests of a station",
             [p](const std::string& n, const std::string& v) {
                 if (v == "shift")
                     p->goldenEvery = 0;
                 else if (v.find_first_not_of("0123456789") == std::string::npos && !v.empty())
                     p->goldenEvery = static_cast<long>(ParseInteger(n, v, 1, 100000000));
                 else
                     throw UsageError(n + " takes 'shift' or a number of production tests, not '" +
                                      v + "'");
                 p->runSection = true;
             });
    AddPath(app, "--log", "FILE|DIR",
            "write the library's log lines to FILE as a host does, each after the prefix "
            "'TIME STATION SERIAL ATTEMPT ' (a folder with --stations)",
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
                if (p->stations == 1 && p->retestOn == RetestOn::Other)
                    throw UsageError("--retest-on other needs another station (add --stations N)");
                if (p->stations == 1 && p->audit > 0)
                    throw UsageError("--audit measures a unit again on another station (add "
                                     "--stations N)");
                // The first tests alone end this late; retests and golden runs add to it.
                const TimeMs rounds = (p->units + p->stations - 1) / p->stations;
                if (p->start + rounds * p->taktMs >= DaysFromCivil(10000, 1, 1) * kMsPerDay)
                    throw UsageError("the line would run past the year 9999: lower --takt or "
                                     "--units, or start earlier with --start");
                if (p->retests > 0 || !p->logPath.empty())
                    p->runSection = true;
                for (const auto* shifts : {&p->testerBias, &p->testerSteps, &p->testerDrift})
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
