#include "Options.h"

#include "StationChips.h"
#include "common/Bands.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace station {

namespace {

// Names without regard to case.
bool sameName(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

int32_t parseBand(const std::string& text) {
    for (size_t i = 0; i < vantor::kBandCount; ++i)
        if (sameName(text, vantor::kBandNames[i]))
            return static_cast<int32_t>(i);
    return static_cast<int32_t>(
        ParseInteger("--band", text, 0, static_cast<long long>(vantor::kBandCount) - 1));
}

} // namespace

sim::Chip ParseChip(const std::string& text) {
    if (const sim::Chip* chip = FindChip(text))
        return *chip;
    throw UsageError("unknown chip '" + text + "' (choose " + ChipChoices(" or ") + ")");
}

double ParseNumber(const std::string& option, const std::string& text) {
    const char* s = text.c_str();
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(s, &end);
    if (text.empty() || end == s || *end != '\0' || errno == ERANGE || !std::isfinite(v) ||
        std::isspace(static_cast<unsigned char>(text[0])))
        throw UsageError(option + " needs a number, not '" + text + "'");
    return v;
}

long long ParseInteger(const std::string& option, const std::string& text, long long low,
                       long long high) {
    const char* s = text.c_str();
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(s, &end, 10);
    if (text.empty() || end == s || *end != '\0' || errno == ERANGE ||
        std::isspace(static_cast<unsigned char>(text[0])))
        throw UsageError(option + " needs a whole number, not '" + text + "'");
    if (v < low || v > high)
        throw UsageError(option + " must lie between " + std::to_string(low) + " and " +
                         std::to_string(high) + ", not " + text);
    return v;
}

double Options::TesterOffsetHz(int station, long unit) const {
    double hz = 0;
    for (const TesterShift& s : testerBias)
        if (s.station == 0 || s.station == station)
            hz += s.hz;
    for (const TesterShift& s : testerSteps)
        if ((s.station == 0 || s.station == station) && unit >= s.unit)
            hz += s.hz;
    return hz;
}

uint32_t ActionId(sim::Chip chip) {
    return Row(chip).id;
}

const char* ChipLabel(sim::Chip chip) {
    return Row(chip).label;
}

const char* BandLabel(int32_t band) {
    return band >= 0 && band < static_cast<int32_t>(vantor::kBandCount) ? vantor::kBandNames[band]
                                                                        : "?";
}

const std::vector<std::string>& ProfileNames() {
    static const std::vector<std::string> names = {"nominal", "retry", "steep",
                                                   "noisy",   "far",   "dead"};
    return names;
}

sim::CrystalParams CrystalFor(const Options& o) {
    sim::CrystalParams p = sim::NominalCrystal(o.chip);
    const std::string& name = o.profile;
    if (name == "nominal") {
    } else if (name == "retry") {
        // Zero error near CDAC 66 at the first CAFC, beyond 63 by more than any noise
        // moves it; 1000 CAFC higher it lies near CDAC 54: the second attempt passes.
        if (o.chip != sim::Chip::VT318)
            throw UsageError("profile 'retry' is a VT318 unit (its CDAC search repeats); use it "
                             "with --chip vt318");
        p.offsetHz = -6600;
    } else if (name == "steep") {
        p.cafcSlopeHz *= 2.2; // beyond every chip's slope window
    } else if (name == "noisy") {
        p.noiseHz = 60;
    } else if (name == "far") {
        p.offsetHz = o.chip == sim::Chip::VT300 ? 25000 : 12000; // no window reaches it
    } else if (name == "dead") {
        p.cdacStepHz = 0; // a crystal that does not pull
        p.cafcSlopeHz = 0;
        p.curvature = 0;
    } else {
        std::string list;
        for (const std::string& n : ProfileNames())
            list += (list.empty() ? "" : ", ") + n;
        throw UsageError("unknown handset profile '" + name + "' (choose " + list + ")");
    }
    if (o.offsetHz)
        p.offsetHz = *o.offsetHz;
    if (o.cdacStepHz)
        p.cdacStepHz = *o.cdacStepHz;
    if (o.cafcSlopeHz)
        p.cafcSlopeHz = *o.cafcSlopeHz;
    if (o.curvature)
        p.curvature = *o.curvature;
    if (o.noiseHz) {
        if (*o.noiseHz < 0)
            throw UsageError("--noise cannot be negative");
        p.noiseHz = *o.noiseHz;
    }
    return p;
}

namespace {

// The value of a counting option: 1 for the first occurrence, and on.
int positive(const std::string& option, const std::string& value) {
    return static_cast<int>(ParseInteger(option, value, 1, 1000000));
}

double notNegative(const std::string& option, const std::string& value) {
    double v = ParseNumber(option, value);
    if (v < 0)
        throw UsageError(option + " cannot be negative");
    return v;
}

void addLog(Options& o, const std::string& option, const std::string& v) {
    if (v.empty())
        throw UsageError(option + " needs a log: a file, a folder or - for standard input");
    o.logs.push_back(v);
}

// "HZ[@STATION]" or "HZ@UNIT[@STATION]"
Options::TesterShift parseShift(const std::string& option, const std::string& v, bool withUnit) {
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
    Options::TesterShift s;
    s.hz = ParseNumber(option + " HZ", parts[0]);
    if (withUnit)
        s.unit = static_cast<long>(ParseInteger(option + " UNIT", parts[1], 1, 100000000));
    if (parts.size() > fixed)
        s.station = static_cast<int>(ParseInteger(option + " STATION", parts[fixed], 1, 99));
    return s;
}

const std::string kChipArgument = ChipChoices("|");

// The order of the rows is the order of --help; a row with a new group starts
// a new paragraph there.
const std::vector<OptionRow> kOptions = {
    {"--chip", nullptr, kChipArgument.c_str(), "the action (default vt318)", "What to run",
     [](Options& o, const std::string&, const std::string& v) { o.chip = ParseChip(v); }},
    {"--config", nullptr, "FILE", "the configuration file (default: embedded, see --check)",
     "What to run",
     [](Options& o, const std::string&, const std::string& v) {
         if (v.empty())
             throw UsageError("--config needs a file name");
         if (v.size() >= OMRA_PATH_BYTES)
             throw UsageError("--config: the path is longer than the " +
                              std::to_string(OMRA_PATH_BYTES - 1) + " bytes an action accepts");
         o.configPath = v;
     }},
    {"--chip-type", nullptr, "N", "ACTION_PARAM chip type (default 1; 0 = no handset)",
     "What to run",
     [](Options& o, const std::string& n, const std::string& v) {
         o.chipType = static_cast<int32_t>(ParseInteger(n, v, -1000, 1000));
     }},
    {"--band", nullptr, "N|NAME", "0 GSM850M, 1 EGSM900 (default), 2 DCS1800, 3 PCS1900",
     "What to run",
     [](Options& o, const std::string&, const std::string& v) { o.band = parseBand(v); }},
    {"--rf", nullptr, "object|table", "hand the RF tester over as an object (default) or table",
     "What to run",
     [](Options& o, const std::string&, const std::string& v) {
         if (v == "object")
             o.rfKind = OMRA_DRIVER_KIND_OBJECT;
         else if (v == "table")
             o.rfKind = OMRA_DRIVER_KIND_TABLE;
         else
             throw UsageError("--rf takes 'object' or 'table', not '" + v + "'");
     }},
    {"--lib", nullptr, "FILE", "the action library (default: beside the station, or one folder up)",
     "What to run",
     [](Options& o, const std::string&, const std::string& v) { o.libraryPath = v; }},
    {"--check", nullptr, nullptr, "check the configuration only, run nothing", "What to run",
     [](Options& o, const std::string&, const std::string&) { o.checkOnly = true; }},
    {"--print-config", nullptr, nullptr, "print the embedded configuration, to start a file from",
     "What to run",
     [](Options& o, const std::string&, const std::string&) { o.printConfig = true; }},

    {"--profile", nullptr, "NAME",
     "nominal (default), retry (VT318 needs a second\n"
     "attempt), steep (slope out of window), noisy,\n"
     "far (frequency offset out of reach), dead (no pull)",
     "The simulated unit",
     [](Options& o, const std::string&, const std::string& v) { o.profile = v; }},
    {"--offset", nullptr, "HZ", "frequency error at the reference point", "The simulated unit",
     [](Options& o, const std::string& n, const std::string& v) {
         o.offsetHz = ParseNumber(n, v);
     }},
    {"--cdac-step", nullptr, "HZ", "Hz per CDAC code", "The simulated unit",
     [](Options& o, const std::string& n, const std::string& v) {
         o.cdacStepHz = ParseNumber(n, v);
     }},
    {"--slope", nullptr, "HZ", "Hz per CAFC code", "The simulated unit",
     [](Options& o, const std::string& n, const std::string& v) {
         o.cafcSlopeHz = ParseNumber(n, v);
     }},
    {"--curvature", nullptr, "HZ", "Hz per CAFC code squared", "The simulated unit",
     [](Options& o, const std::string& n, const std::string& v) {
         o.curvature = ParseNumber(n, v);
     }},
    {"--noise", nullptr, "HZ", "deviation of the measurement noise", "The simulated unit",
     [](Options& o, const std::string& n, const std::string& v) { o.noiseHz = ParseNumber(n, v); }},
    {"--seed", nullptr, "N", "seed of the noise and of a population (default 1)",
     "The simulated unit",
     [](Options& o, const std::string& n, const std::string& v) {
         o.seed = static_cast<uint64_t>(ParseInteger(n, v, 0, INT64_MAX));
     }},

    {"--fail-afc", nullptr, "N", "the N-th AFC on/off command fails", "Faults",
     [](Options& o, const std::string& n, const std::string& v) { o.failAfc = positive(n, v); }},
    {"--fail-flash", nullptr, "N", "the N-th flash write fails", "Faults",
     [](Options& o, const std::string& n, const std::string& v) { o.failFlash = positive(n, v); }},
    {"--rf-error", nullptr, "N", "the N-th RF measurement records a tester error", "Faults",
     [](Options& o, const std::string& n, const std::string& v) { o.rfError = positive(n, v); }},

    {"--units", nullptr, "N", "calibrate N units and report the yield", "A population",
     [](Options& o, const std::string& n, const std::string& v) {
         o.units = static_cast<long>(ParseInteger(n, v, 1, 100000000));
     }},
    {"--spread-offset", nullptr, "HZ", "deviation of the offset (default 3000)", "A population",
     [](Options& o, const std::string& n, const std::string& v) {
         o.spread.offsetHz = notNegative(n, v);
     }},
    {"--spread-cdac-step", nullptr, "HZ", "deviation of the CDAC step (default 40)", "A population",
     [](Options& o, const std::string& n, const std::string& v) {
         o.spread.cdacStepHz = notNegative(n, v);
     }},
    {"--spread-slope", nullptr, "HZ", "deviation of the CAFC slope (default 1)", "A population",
     [](Options& o, const std::string& n, const std::string& v) {
         o.spread.cafcSlopeHz = notNegative(n, v);
     }},
    {"--svg", nullptr, "FILE", "write histograms with the windows as an SVG report", "A population",
     [](Options& o, const std::string&, const std::string& v) {
         if (v.empty())
             throw UsageError("--svg needs a file name");
         o.svgPath = v;
     }},
    {"--no-progress", nullptr, nullptr,
     "no progress bar (shown only on a terminal, never\n"
     "with --json)",
     "A population",
     [](Options& o, const std::string&, const std::string&) { o.progress = false; }},

    {"--stations", nullptr, "N",
     "spread the population over N stations (with --log\n"
     "DIR: station-01.log ... in that folder)",
     "A population",
     [](Options& o, const std::string& n, const std::string& v) {
         o.stations = static_cast<int>(ParseInteger(n, v, 1, 99));
     }},
    {"--tester-bias", nullptr, "HZ[@STATION]",
     "that station's RF tester reads every frequency\n"
     "error HZ off (every station's, without @STATION)",
     "A population",
     [](Options& o, const std::string& n, const std::string& v) {
         o.testerBias.push_back(parseShift(n, v, false));
     }},
    {"--tester-step", nullptr, "HZ@UNIT[@STATION]",
     "from that unit of the station on, its tester reads\n"
     "HZ further off",
     "A population",
     [](Options& o, const std::string& n, const std::string& v) {
         o.testerSteps.push_back(parseShift(n, v, true));
     }},
    {"--retest", nullptr, "N", "test a failed unit again, up to N times", "A population",
     [](Options& o, const std::string& n, const std::string& v) {
         o.retests = static_cast<int>(ParseInteger(n, v, 0, 10));
     }},
    {"--log", nullptr, "FILE|DIR",
     "write the library's log lines to FILE as a host does\n"
     "(a folder with --stations)",
     "A population",
     [](Options& o, const std::string&, const std::string& v) {
         if (v.empty())
             throw UsageError("--log needs a file or folder name");
         o.logPath = v;
     }},
    {"--replay", nullptr, "LOG...",
     "fit each unit of hosts' logs and calibrate it again\n"
     "(under --config): yield, verdicts and flash values\n"
     "against the logs. A LOG is a file, a folder (its\n"
     "*.log and *.log.gz) or - for standard input",
     "Hosts' logs",
     [](Options& o, const std::string& n, const std::string& v) {
         addLog(o, n, v);
         o.replay = true;
     }},
    {"--analyse", nullptr, "LOG...",
     "the logged values without a replay: yield and\n"
     "failures, capability against the windows of\n"
     "--config, each station's tester bias and drift",
     "Hosts' logs",
     [](Options& o, const std::string& n, const std::string& v) {
         addLog(o, n, v);
         o.analyse = true;
     }},
    {"--sweep", nullptr, "KEY=RANGE",
     "replay the logs for each value of one key, given\n"
     "as \"SECTION/KEY=FROM:TO:STEP\": yield against\n"
     "the value as a table (and an --svg plot, or with\n"
     "--analyse a figure on its --html page); twice:\n"
     "a grid of both keys' values",
     "Hosts' logs",
     [](Options& o, const std::string& n, const std::string& v) {
         if (o.sweeps.size() == 2)
             throw UsageError(n + " is given at most twice (a grid of two keys)");
         o.sweeps.push_back(v);
     }},
    {"--bias-limit", nullptr, "PPM",
     "name a station whose tester bias exceeds PPM of its\n"
     "carrier beyond its uncertainty (default 0.05)",
     "Hosts' logs",
     [](Options& o, const std::string& n, const std::string& v) {
         o.biasLimitPpm = notNegative(n, v);
     }},
    {"--jobs", nullptr, "N", "worker processes over the logs (default: one per core)",
     "Hosts' logs",
     [](Options& o, const std::string& n,
        const std::string& v) { o.jobs = static_cast<int>(ParseInteger(n, v, 1, 256)); }},
    {"--html", nullptr, "FILE", "write the report as one self-contained page", "Hosts' logs",
     [](Options& o, const std::string&, const std::string& v) {
         if (v.empty())
             throw UsageError("--html needs a file name");
         o.htmlPath = v;
     }},

    {"--json", nullptr, nullptr,
     "JSON lines (items and log lines, units, or a replay's\n"
     "changed units and summary) instead of tables",
     "Output and time", [](Options& o, const std::string&, const std::string&) { o.json = true; }},
    {"--real-time", nullptr, nullptr, "wait the library's pauses (default for one unit)",
     "Output and time",
     [](Options& o, const std::string&, const std::string&) { o.time = TimeMode::Real; }},
    {"--virtual-time", nullptr, nullptr, "count pauses without waiting (default for --units)",
     "Output and time",
     [](Options& o, const std::string&, const std::string&) { o.time = TimeMode::Virtual; }},
    {"--version", nullptr, nullptr, "the library's version and build", "Output and time",
     [](Options& o, const std::string&, const std::string&) { o.showVersion = true; }},
    {"--help", "-h", nullptr, "this text", "Output and time",
     [](Options& o, const std::string&, const std::string&) { o.help = true; }},
};

const OptionRow* findOption(const std::string& name) {
    for (const OptionRow& row : kOptions)
        if (name == row.name || (row.alias != nullptr && name == row.alias))
            return &row;
    return nullptr;
}

constexpr size_t kHelpColumn = 28; // where the help texts start, after two blanks

} // namespace

const std::vector<OptionRow>& OptionTable() {
    return kOptions;
}

Options ParseOptions(const std::vector<std::string>& args) {
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        size_t eq = name.find('=');
        if (name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
        const OptionRow* row = findOption(name);
        if (row == nullptr)
            throw UsageError("unknown option '" + args[i] + "' (see --help)");
        if (row->argument == nullptr) {
            if (hasValue)
                throw UsageError(name + " takes no value");
        } else if (!hasValue) {
            if (i + 1 >= args.size())
                throw UsageError(name + " needs a value");
            value = args[++i];
        }
        row->apply(o, name, value);
        // "LOG...": the words after the first up to the next option are more logs.
        if (row->argument != nullptr && std::strstr(row->argument, "...") != nullptr && !hasValue)
            while (i + 1 < args.size() &&
                   (args[i + 1] == "-" || args[i + 1].compare(0, 1, "-") != 0))
                row->apply(o, name, args[++i]);
    }
    const bool logs = o.replay || o.analyse;
    if (o.replay && o.analyse)
        throw UsageError("--replay and --analyse read logs in two ways: choose one");
    if (!o.sweeps.empty() && !logs)
        throw UsageError("--sweep replays a log: add --replay LOG (or --analyse LOG)");
    if (logs && (o.units > 0 || !o.logPath.empty()))
        throw UsageError("--replay and --analyse run the units of their logs: leave out --units "
                         "and --log");
    if (o.replay && o.json && o.sweeps.size() == 2)
        throw UsageError("--json reports a sweep of one key: leave it out for the grid's table");
    if (o.analyse && !o.svgPath.empty())
        throw UsageError("--analyse draws on its --html page: leave out --svg");
    if (!o.svgPath.empty() && o.units == 0 && o.sweeps.empty())
        throw UsageError("--svg draws a population: add --units N (or a --sweep of a --replay)");
    if (!o.htmlPath.empty() && !o.analyse)
        throw UsageError("--html draws a line's analysis: add --analyse LOG (and --sweep for "
                         "the sweep's figure)");
    if (o.units == 0 &&
        (o.stations > 1 || !o.testerBias.empty() || !o.testerSteps.empty() || o.retests > 0))
        throw UsageError("--stations, --tester-bias, --tester-step and --retest make a "
                         "population: add --units N");
    for (const auto* shifts : {&o.testerBias, &o.testerSteps})
        for (const Options::TesterShift& s : *shifts)
            if (s.station > o.stations)
                throw UsageError("a tester shift names station " + std::to_string(s.station) +
                                 " of a line of " + std::to_string(o.stations) +
                                 " (add --stations N)");
    CrystalFor(o); // an unknown or unfitting profile is a usage error before anything runs
    return o;
}

std::string HelpText() {
    std::string text = R"(Usage: vantor-station [options]

Runs the VantorCrystal action library the way the production test host does
(Omra_Startup, Omra_CreateAction, Omra_SetCallBack 1 and 2, Omra_SetDriver 2,
Omra_InitAction, Omra_DoAction, Omra_FreeAction, Omra_Cleanup) against a
simulated handset and RF tester. Without options: one VT318 calibration of a
nominal unit on the embedded default configuration.
)";
    const char* group = nullptr;
    for (const OptionRow& row : kOptions) {
        if (group == nullptr || std::strcmp(group, row.group) != 0) {
            group = row.group;
            text += std::string("\n") + group + "\n";
        }
        std::string usage =
            row.alias != nullptr ? std::string(row.alias) + ", " + row.name : std::string(row.name);
        if (row.argument != nullptr)
            usage += std::string(" ") + row.argument;
        usage += std::string(usage.size() < kHelpColumn ? kHelpColumn - usage.size() : 1, ' ');
        // Continuation lines of a help text line up under its first.
        std::string help = row.help;
        for (size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1))
            help.insert(at + 1, std::string(2 + kHelpColumn, ' '));
        text += "  " + usage + help + "\n";
    }
    text += R"(
Exit status: 0 the unit passed (or the population or check ran), 1 the unit
failed or the check found problems, 2 bad command line or configuration file,
3 the library cannot be loaded or started.
)";
    return text;
}

} // namespace station
