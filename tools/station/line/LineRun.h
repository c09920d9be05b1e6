// The station's own line: one unit shown in full, or a simulated population
// dealt to stations whose testers may be off, run through the library as the
// host runs it. Also the configuration check and the library's version, which
// take the same first steps.
#pragma once

#include "line/Unit.h"
#include "omra/omra.h"
#include "support/Time.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace station {

enum class TimeMode { Default, Real, Virtual };

// What a tester adds to every frequency error it reads, from a test of its
// station on (by number or by time); for a drift, what it adds a day.
struct TesterShift {
    double hz = 0;
    long unit = 0;         // from this test of the station on (1-based; 0: from the first)
    TimeMs from = kNoTime; // from tests that start at or after this time
    int station = 0;       // 1-based; 0: every station
};

// Where a failed unit is tested again.
enum class RetestOn { Same, Other, Any };

struct LineParams {
    enum class Job { Unit, Population, Check, Version };
    Job job = Job::Unit;
    std::string libraryPath; // empty: the library beside the station
    std::string configPath;  // empty: the embedded default configuration
    int32_t chipType = 1;
    int32_t band = 1;
    uint32_t rfKind = OMRA_DRIVER_KIND_OBJECT;
    UnitParams unit;

    long units = 0; // of a population
    sim::CrystalSpread spread{3000, 40, 1.0};
    int stations = 1;
    std::vector<TesterShift> testerBias, testerSteps, testerDrift;
    int retests = 0;
    RetestOn retestOn = RetestOn::Any;
    // The line's clock: when it starts, and how long one test holds a station.
    TimeMs start = DaysFromCivil(2026, 12, 7) * kMsPerDay + 6 * 3600000LL;
    TimeMs taktMs = 30000;
    int golden = 0;          // golden units run on every station
    long goldenEvery = 0;    // after that many production tests of a station; 0: each shift
    double audit = 0;        // the share of passed first tests measured again elsewhere
    bool runSection = false; // report the run's clock (an option of it, retests or logs given)
    std::string logPath;     // the library's log lines, as a host writes them (a folder with
                             // more than one station)
    std::string svgPath;

    bool json = false;
    bool progress = true;
    TimeMode time = TimeMode::Default;

    // What the station's tester adds to the frequency error of its unit-th
    // test, which starts at `at`.
    double TesterOffsetHz(int station, long unitNumber, TimeMs at) const;
    bool VirtualTime() const {
        return time == TimeMode::Virtual || (time == TimeMode::Default && job == Job::Population);
    }
};

// Ends a run early: the message goes to standard error, the status is the
// station's exit status.
class Stop : public std::runtime_error {
public:
    Stop(int status, const std::string& message) : std::runtime_error(message), m_status(status) {}
    int Status() const { return m_status; }

private:
    int m_status;
};

// Runs the job; the exit status, or throws Stop.
int RunLine(const LineParams& params);

} // namespace station
