// One station position: the action library loaded as the host loads it, one
// action set up on a configuration file, and units calibrated one by one.
#pragma once

#include "OmraHost.h"
#include "Simulator.h"
#include "omra/errorcode.h"
#include "omra/omra.h"

#include <memory>
#include <string>
#include <vector>

// The station's clock for the library's pauses (exported by the executable).
extern "C" void OMRA_CALL OmraHost_Sleep(uint32_t milliseconds);

namespace station {

// The station's clock. The library's pauses reach it through the exported
// OmraHost_Sleep; the simulators add their instrument time to `instruments`.
struct StationClock {
    bool real = false;      // wait the pauses for real
    double pausesMs = 0;    // what the library asked to wait
    sim::Clock instruments; // what the handset and the RF tester took
    double TotalMs() const { return pausesMs + instruments.Milliseconds(); }
};
// Routes OmraHost_Sleep to this clock (null: pauses are waited for, uncounted).
void UseClock(StationClock* clock);

struct Item {
    std::string name;
    int form = OMRA_FORM_NUMERIC;
    double low = 0, value = 0, high = 0;
    std::string text; // text form
    std::string unit;
    int kind = 0, level = 0, pass = 0;
};

struct Line {
    std::string text;
    int level = 0;
    double atMs = 0; // on the station clock, since the unit's run began
};

struct Faults {
    int afcCommand = 0;      // n-th AFC command fails
    int flashCommand = 0;    // n-th flash write fails
    int rfMeasurement = 0;   // n-th measurement records a tester error
    double testerBiasHz = 0; // what the RF tester adds to every frequency error it reads
};

// What one unit gave the host.
struct UnitResult {
    bool passed = false;
    uint32_t doResult = 0;
    // Items and lines in arrival order: index into items (>= 0) or ~index into lines.
    std::vector<Item> items;
    std::vector<Line> lines;
    std::vector<long> order;
    bool threw = false;
    std::string message, fullText;
    bool hasTriple = false;
    ERROR_TRIPLE triple{};
    bool flashed[3] = {false, false, false}; // CAFC, CDAC, slope length
    uint16_t flash[3] = {0, 0, 0};
    double stationMs = 0, pausesMs = 0, instrumentMs = 0;
    // The calibrated values as the items reported them (last of each).
    bool hasCdac = false, hasCafc = false, hasSlope = false;
    double cdac = 0, cafc = 0, slope = 0;
    bool cdacInside = true, cafcInside = true, slopeInside = true; // by the items' own windows
    int attempts = 0;                                              // coarse attempts (VT318)
    int measurements = 0;
    // Handset commands that failed and were let pass ("Throw  Diag. Exception" 0)
    // in a unit that passed.
    int ignoredFailures = 0;
};

class Session {
public:
    Session() = default;
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Loads the library and starts it; false with Error() set.
    bool Open(const std::string& libraryPath);
    const LIBRARY_INFO& Info() const { return m_info; }
    const std::string& Error() const { return m_error; }

    // Creates the action and hands it the targets; false with Error() set.
    bool Create(uint32_t actionId, sim::Chip chip);
    // Initialises the action on a configuration file. False with Error() set
    // when it returns non-zero or throws (the message is kept).
    bool Init(int32_t chipType, int32_t band, const std::string& configPath, uint32_t rfKind);

    // Calibrates one unit. `full` keeps every item and line; otherwise only
    // what a population summary needs.
    UnitResult Run(const sim::CrystalParams& crystal, uint64_t seed, const Faults& faults,
                   StationClock* clock, bool full);

    // The host's calibration record, as the last run left it.
    const std::vector<unsigned char>& Record() const { return m_record; }

private:
    static int OMRA_CALL OnItem(void* record);
    static int OMRA_CALL OnLine(void* record);
    void Close();

    host::Library m_lib;
    LIBRARY_INFO m_info{};
    bool m_started = false;
    IAction* m_action = nullptr;
    sim::Chip m_chip = sim::Chip::VT318;
    uint32_t m_rfKind = OMRA_DRIVER_KIND_OBJECT;
    NOTIFY_TARGET m_itemTarget{}, m_lineTarget{};
    std::vector<unsigned char> m_record;
    UnitResult* m_current = nullptr;       // the run the targets report into
    const StationClock* m_clock = nullptr; // the run's clock, for its lines' times
    double m_startMs = 0;
    bool m_full = true;
    std::string m_error;
};

} // namespace station
