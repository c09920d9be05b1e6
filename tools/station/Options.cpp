#include "Options.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace station {

namespace {

bool lower(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != b[i])
            return false;
    return true;
}

int32_t parseBand(const std::string& text) {
    static const char* const names[] = {"gsm850m", "egsm900", "dcs1800", "pcs1900"};
    for (int i = 0; i < 4; ++i)
        if (lower(text, names[i]))
            return i;
    return static_cast<int32_t>(ParseInteger("--band", text, 0, 3));
}

} // namespace

sim::Chip ParseChip(const std::string& text) {
    if (lower(text, "vt300"))
        return sim::Chip::VT300;
    if (lower(text, "vt318"))
        return sim::Chip::VT318;
    if (lower(text, "ln2040"))
        return sim::Chip::LN2040;
    throw UsageError("unknown chip '" + text + "' (choose vt300, vt318 or ln2040)");
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
    switch (chip) {
    case sim::Chip::VT300:
        return OMRA_ACTION_VT300;
    case sim::Chip::VT318:
        return OMRA_ACTION_VT318;
    case sim::Chip::LN2040:
        return OMRA_ACTION_LN2040;
    }
    return 0;
}

const char* ChipLabel(sim::Chip chip) {
    switch (chip) {
    case sim::Chip::VT300:
        return "VT300";
    case sim::Chip::VT318:
        return "VT318";
    case sim::Chip::LN2040:
        return "LN2040";
    }
    return "?";
}

const char* BandLabel(int32_t band) {
    static const char* const names[] = {"GSM850M", "EGSM900", "DCS1800", "PCS1900"};
    return band >= 0 && band < 4 ? names[band] : "?";
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

Options ParseOptions(const std::vector<std::string>& args) {
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool hasValue = false;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        auto next = [&]() -> std::string {
            if (hasValue)
                return value;
            if (i + 1 >= args.size())
                throw UsageError(arg + " needs a value");
            return args[++i];
        };
        auto flag = [&]() {
            if (hasValue)
                throw UsageError(arg + " takes no value");
        };
        auto positive = [&](const char* name) {
            return static_cast<int>(ParseInteger(name, next(), 1, 1000000));
        };
        if (arg == "-h" || arg == "--help") {
            flag();
            o.help = true;
        } else if (arg == "--version") {
            flag();
            o.showVersion = true;
        } else if (arg == "--lib") {
            o.libraryPath = next();
        } else if (arg == "--chip") {
            o.chip = ParseChip(next());
        } else if (arg == "--config") {
            o.configPath = next();
            if (o.configPath.empty())
                throw UsageError("--config needs a file name");
            if (o.configPath.size() >= OMRA_PATH_BYTES)
                throw UsageError("--config: the path is longer than the " +
                                 std::to_string(OMRA_PATH_BYTES - 1) + " bytes an action accepts");
        } else if (arg == "--chip-type") {
            o.chipType = static_cast<int32_t>(ParseInteger("--chip-type", next(), -1000, 1000));
        } else if (arg == "--band") {
            o.band = parseBand(next());
        } else if (arg == "--rf") {
            std::string v = next();
            if (v == "object")
                o.rfKind = OMRA_DRIVER_KIND_OBJECT;
            else if (v == "table")
                o.rfKind = OMRA_DRIVER_KIND_TABLE;
            else
                throw UsageError("--rf takes 'object' or 'table', not '" + v + "'");
        } else if (arg == "--profile") {
            o.profile = next();
        } else if (arg == "--offset") {
            o.offsetHz = ParseNumber(arg, next());
        } else if (arg == "--cdac-step") {
            o.cdacStepHz = ParseNumber(arg, next());
        } else if (arg == "--slope") {
            o.cafcSlopeHz = ParseNumber(arg, next());
        } else if (arg == "--curvature") {
            o.curvature = ParseNumber(arg, next());
        } else if (arg == "--noise") {
            o.noiseHz = ParseNumber(arg, next());
        } else if (arg == "--seed") {
            o.seed = static_cast<uint64_t>(ParseInteger("--seed", next(), 0, INT64_MAX));
        } else if (arg == "--fail-afc") {
            o.failAfc = positive("--fail-afc");
        } else if (arg == "--fail-flash") {
            o.failFlash = positive("--fail-flash");
        } else if (arg == "--rf-error") {
            o.rfError = positive("--rf-error");
        } else if (arg == "--units") {
            o.units = static_cast<long>(ParseInteger("--units", next(), 1, 100000000));
        } else if (arg == "--spread-offset" || arg == "--spread-cdac-step" ||
                   arg == "--spread-slope") {
            double v = ParseNumber(arg, next());
            if (v < 0)
                throw UsageError(arg + " cannot be negative");
            (arg == "--spread-offset"      ? o.spread.offsetHz
             : arg == "--spread-cdac-step" ? o.spread.cdacStepHz
                                           : o.spread.cafcSlopeHz) = v;
        } else if (arg == "--svg") {
            o.svgPath = next();
            if (o.svgPath.empty())
                throw UsageError("--svg needs a file name");
        } else if (arg == "--json") {
            flag();
            o.json = true;
        } else if (arg == "--real-time") {
            flag();
            o.time = TimeMode::Real;
        } else if (arg == "--virtual-time") {
            flag();
            o.time = TimeMode::Virtual;
        } else if (arg == "--print-config") {
            flag();
            o.printConfig = true;
        } else if (arg == "--check") {
            flag();
            o.checkOnly = true;
        } else if (arg == "--no-progress") {
            flag();
            o.progress = false;
        } else {
            throw UsageError("unknown option '" + args[i] + "' (see --help)");
        }
    }
    if (!o.svgPath.empty() && o.units == 0)
        throw UsageError("--svg draws a population: add --units N");
    CrystalFor(o); // an unknown or unfitting profile is a usage error before anything runs
    return o;
}

std::string HelpText() {
    return R"(Usage: vantor-station [options]

Runs the VantorCrystal action library the way the production test host does
(Omra_Startup, Omra_CreateAction, Omra_SetCallBack 1 and 2, Omra_SetDriver 2,
Omra_InitAction, Omra_DoAction, Omra_FreeAction, Omra_Cleanup) against a
simulated handset and RF tester. Without options: one VT318 calibration of a
nominal unit on the embedded default configuration.

What to run
  --chip vt300|vt318|ln2040   the action (default vt318)
  --config FILE               the configuration file (default: embedded, see --check)
  --chip-type N               ACTION_PARAM chip type (default 1; 0 = no handset)
  --band N|NAME               0 GSM850M, 1 EGSM900 (default), 2 DCS1800, 3 PCS1900
  --rf object|table           hand the RF tester over as an object (default) or table
  --lib FILE                  the action library (default: beside the station)
  --check                     check the configuration only, run nothing
  --print-config              print the embedded configuration, to start a file from

The simulated unit
  --profile NAME              nominal (default), retry (VT318 needs a second
                              attempt), steep (slope out of window), noisy,
                              far (frequency offset out of reach), dead (no pull)
  --offset HZ                 frequency error at the reference point
  --cdac-step HZ              Hz per CDAC code
  --slope HZ                  Hz per CAFC code
  --curvature HZ              Hz per CAFC code squared
  --noise HZ                  deviation of the measurement noise
  --seed N                    seed of the noise and of a population (default 1)

Faults
  --fail-afc N                the N-th AFC on/off command fails
  --fail-flash N              the N-th flash write fails
  --rf-error N                the N-th RF measurement records a tester error

A population
  --units N                   calibrate N units and report the yield
  --spread-offset HZ          deviation of the offset (default 3000)
  --spread-cdac-step HZ       deviation of the CDAC step (default 40)
  --spread-slope HZ           deviation of the CAFC slope (default 1)
  --svg FILE                  write histograms with the windows as an SVG report
  --no-progress               no progress bar (shown only on a terminal, never
                              with --json)

Output and time
  --json                      JSON lines (items and log lines, or units) instead of tables
  --real-time                 wait the library's pauses (default for one unit)
  --virtual-time              count pauses without waiting (default for --units)
  --version                   the library's version and build
  -h, --help                  this text

Exit status: 0 the unit passed (or the population or check ran), 1 the unit
failed or the check found problems, 2 bad command line or configuration file,
3 the library cannot be loaded or started.
)";
}

} // namespace station
