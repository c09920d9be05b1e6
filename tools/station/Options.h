// The station's command line: what to run, on which unit, and how to show it.
#pragma once

#include "Simulator.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace station {

// A command line the station cannot run: the message says what to change.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TimeMode { Default, Real, Virtual };

struct Options {
    std::string libraryPath; // empty: the library beside the station
    sim::Chip chip = sim::Chip::VT318;
    std::string configPath; // empty: the embedded default configuration
    int32_t chipType = 1;
    int32_t band = 1;
    uint32_t rfKind = OMRA_DRIVER_KIND_OBJECT;

    std::string profile = "nominal";
    std::optional<double> offsetHz, cdacStepHz, cafcSlopeHz, curvature, noiseHz;
    uint64_t seed = 1;

    int failAfc = 0;   // n-th AFC command fails (0: none)
    int failFlash = 0; // n-th flash command fails
    int rfError = 0;   // n-th RF measurement records a tester error

    long units = 0; // 0: one unit shown in full
    sim::CrystalSpread spread{3000, 40, 1.0};
    std::string svgPath;

    std::string logPath; // write the library's log lines here, as a host does (a folder with
                         // more than one station)
    std::vector<std::string> logs; // replay or analyse these logs instead of drawing units
    bool replay = false, analyse = false;
    std::vector<std::string>
        sweeps;                 // "SECTION/KEY=FROM:TO:STEP", with replay: one, or two for a grid
    int jobs = 0;               // workers over the logs; 0: one per core
    double biasLimitPpm = 0.05; // a station's tester bias beyond this is named
    std::string htmlPath;

    // The simulated line: stations, their testers, and retests of failed units.
    int stations = 1;
    struct TesterShift {
        double hz = 0;
        long unit = 0;   // from this unit of the station on (1-based; 0: from the first)
        int station = 0; // 1-based; 0: every station
    };
    std::vector<TesterShift> testerBias, testerSteps;
    int retests = 0;
    // What the station's tester adds to the frequency error of its unit-th unit.
    double TesterOffsetHz(int station, long unit) const;

    bool json = false;
    TimeMode time = TimeMode::Default;
    bool checkOnly = false;
    bool progress = true;
    bool help = false;
    bool showVersion = false;
    bool printConfig = false;

    bool VirtualTime() const {
        return time == TimeMode::Virtual || (time == TimeMode::Default && units > 0);
    }
};

// One command-line option: it parses and it is listed in --help from this row.
struct OptionRow {
    const char* name;     // "--units"
    const char* alias;    // another spelling ("-h"), or null
    const char* argument; // the value's name in --help ("N"), or null for a flag
    const char* help;     // lines after the first start with '\n'
    const char* group;    // the --help paragraph
    // Sets the options from the value (empty for a flag); `option` is the name
    // as typed, for messages. Throws UsageError.
    void (*apply)(Options& options, const std::string& option, const std::string& value);
};
// Every option, in --help order.
const std::vector<OptionRow>& OptionTable();

// Parses the arguments after the program name; throws UsageError.
Options ParseOptions(const std::vector<std::string>& args);
// The --help text.
std::string HelpText();

// The named handset profiles, and the crystal that a profile and the explicit
// parameters give for a chip; throws UsageError for an unknown profile.
const std::vector<std::string>& ProfileNames();
sim::CrystalParams CrystalFor(const Options& options);

sim::Chip ParseChip(const std::string& text);
// Strict numbers: the whole text, finite, within range; UsageError naming the option.
double ParseNumber(const std::string& option, const std::string& text);
long long ParseInteger(const std::string& option, const std::string& text, long long low,
                       long long high);

// Action id, short name and display name of a chip.
uint32_t ActionId(sim::Chip chip);
const char* ChipLabel(sim::Chip chip);
const char* BandLabel(int32_t band);

} // namespace station
