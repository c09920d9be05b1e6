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
    {"--lib", nullptr, "FILE", "the action library (default: beside the station)", "What to run",
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

    {"--log", nullptr, "FILE", "write the library's log lines to FILE as a host does",
     "A host's log",
     [](Options& o, const std::string&, const std::string& v) {
         if (v.empty())
             throw UsageError("--log needs a file name");
         o.logPath = v;
     }},
    {"--replay", nullptr, "LOG",
     "fit each unit of a host's log and calibrate it again\n"
     "(under --config): yield, verdicts and flash values\n"
     "against the log",
     "A host's log",
     [](Options& o, const std::string&, const std::string& v) {
         if (v.empty())
             throw UsageError("--replay needs a log file");
         o.replayPath = v;
     }},
    {"--sweep", nullptr, "KEY=RANGE",
     "replay the log for each value of one key, given\n"
     "as \"SECTION/KEY=FROM:TO:STEP\": yield against\n"
     "the value as a table (and an --svg plot)",
     "A host's log", [](Options& o, const std::string&, const std::string& v) { o.sweep = v; }},

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
    }
    if (!o.sweep.empty() && o.replayPath.empty())
        throw UsageError("--sweep replays a log: add --replay LOG");
    if (!o.replayPath.empty() && (o.units > 0 || !o.logPath.empty()))
        throw UsageError("--replay runs the units of its log: leave out --units and --log");
    if (!o.svgPath.empty() && o.units == 0 && o.sweep.empty())
        throw UsageError("--svg draws a population: add --units N");
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
