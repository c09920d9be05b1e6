// A simulated handset behind PhoneCommand and a simulated RF tester, for the
// tests and the station. Deterministic for a given seed.
#pragma once

#include "omra/omra.h"
#include "omra/phonecommand.h"

#include <cstdint>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <vector>

namespace sim {

// The handset commands that can be scripted to fail.
enum class Command { ClassMark, AfcOn, AfcOff, FlashCafc, FlashCdac, FlashSlopeLength };
const char* CommandName(Command c);
// Commands counted together, as an operator names them ("the third AFC command").
enum class CommandGroup { Afc, Flash };

// Every call the handset and the RF tester see, in order, as text.
class CallLog {
public:
    void Add(std::string entry) { m_entries.push_back(std::move(entry)); }
    const std::vector<std::string>& Entries() const { return m_entries; }
    void Clear() { m_entries.clear(); }

private:
    std::vector<std::string> m_entries;
};

// A virtual clock: pauses and instrument time add to it.
class Clock {
public:
    void Advance(double ms) { m_ms += ms; }
    double Milliseconds() const { return m_ms; }
    void Reset() { m_ms = 0; }

private:
    double m_ms = 0;
};

// The crystal: frequency error in Hz as a smooth function of CDAC and CAFC,
//   fe = offset + cdacStep * (cdac - cdacRef) + cafcSlope * (cafc - cafcRef)
//        + curvature * (cafc - cafcRef)^2 + noise,
// with Gaussian noise of the given deviation.
struct CrystalParams {
    double offsetHz = 0;     // error at the reference point
    double cdacStepHz = 600; // Hz per CDAC code
    double cafcSlopeHz = 7;  // Hz per CAFC code
    double curvature = 1e-5; // Hz per CAFC code squared
    double noiseHz = 3;      // standard deviation of the measurement noise
    double cdacRef = 55;     // reference CDAC
    double cafcRef = 7000;   // reference CAFC
};

// The handsets of each chip, in the order of the library's chip registry.
enum class Chip { VT300, VT318, LN2040 };

inline const char* ChipName(Chip c) {
    switch (c) {
    case Chip::VT300:
        return "vt300";
    case Chip::VT318:
        return "vt318";
    case Chip::LN2040:
        return "ln2040";
    }
    return "?";
}

// A nominal unit of the family: passes with the default configuration.
inline CrystalParams NominalCrystal(Chip chip) {
    CrystalParams p;
    switch (chip) {
    case Chip::VT300:
        // Zero error near CAFC 4100 at the fixed CDAC 3.
        p.cdacRef = 3;
        p.cafcRef = 4000;
        p.cdacStepHz = 600;
        p.cafcSlopeHz = 8;
        p.offsetHz = -800;
        break;
    case Chip::VT318:
        // Zero error near CDAC 50.3 at CAFC 7000.
        p.cdacRef = 55;
        p.cafcRef = 7000;
        p.cdacStepHz = 600;
        p.cafcSlopeHz = 7;
        p.offsetHz = 2820;
        break;
    case Chip::LN2040:
        // Zero error near CDAC 40.4 at CAFC 9000.
        p.cdacRef = 39;
        p.cafcRef = 9000;
        p.cdacStepHz = 900;
        p.cafcSlopeHz = 5.5;
        p.offsetHz = -1260;
        break;
    }
    return p;
}

// A small seeded generator, the same on every platform.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed ^ 0x9E3779B97F4A7C15ull) {}
    uint64_t Next();
    double Uniform();  // [0, 1)
    double Gaussian(); // mean 0, deviation 1

private:
    uint64_t m_state;
    bool m_hasSpare = false;
    double m_spare = 0;
};

// How the crystals of a population spread around a nominal unit: Gaussian
// deviations of the offset, the CDAC step and the CAFC slope.
struct CrystalSpread {
    double offsetHz = 0;
    double cdacStepHz = 0;
    double cafcSlopeHz = 0;
};
// One unit of a population: the nominal crystal with deviations drawn from r.
CrystalParams DrawCrystal(const CrystalParams& nominal, const CrystalSpread& spread, Random& r);

class Handset {
public:
    Handset(CrystalParams crystal, uint64_t seed, CallLog* log = nullptr, Clock* clock = nullptr);
    ~Handset();
    Handset(const Handset&) = delete;
    Handset& operator=(const Handset&) = delete;

    // Puts this handset behind the PhoneCommand library (and takes it away
    // again in the destructor).
    void Attach();
    void Detach();

    // The n-th call (from 1) of the command returns result instead of 0.
    void FailCall(Command c, int n, int32_t result = 1);
    // The n-th call (from 1) of any command of the group returns result.
    void FailGroupCall(CommandGroup g, int n, int32_t result = 1);
    int Calls(Command c) const;
    // Commands that failed and were not repeated successfully right after.
    int FailuresLeft() const { return m_failuresLeft; }

    // The frequency error the crystal has now, with noise when transmitting.
    double MeasureFe();
    // The error at a setting, without noise.
    double TrueFe(double cdac, double cafc) const;

    int32_t classMark = -1;
    bool afcOn = false;
    AFC_START_BLOCK block{};
    bool flashed[3] = {false, false, false};
    uint16_t flash[3] = {0, 0, 0}; // CAFC, CDAC, slope length
    CrystalParams crystal;

    // Cost of a handset command on the virtual clock, in milliseconds.
    double commandMs = 8;

private:
    int32_t Answer(Command c);
    int32_t Settle(Command c, int32_t result);
    static int32_t OnClassMark(void* ctx, int32_t mark);
    static int32_t OnAfcStart(void* ctx, int32_t on, const AFC_START_BLOCK* b);
    static int32_t OnWriteFlash(void* ctx, PHONE_FLASH_FIELD f, uint16_t v);

    Random m_random;
    CallLog* m_log;
    Clock* m_clock;
    std::map<Command, int> m_calls;
    std::map<Command, std::map<int, int32_t>> m_failures;
    int m_groupCalls[2] = {0, 0};
    std::map<int, int32_t> m_groupFailures[2];
    bool m_attached = false;
    int m_failuresLeft = 0;
    std::optional<Command> m_lastFailed;
};

// An RF tester that answers 0 to every operation and does nothing: the base
// of testers that give a few operations a meaning.
class QuietRfTester : public IRfTester {
public:
    int Op1(intptr_t, intptr_t) override { return 0; }
    int Op2(intptr_t, intptr_t) override { return 0; }
    void Op3() override {}
    void Op4() override {}
    int Op5() override { return 0; }
    int BeginAction(intptr_t) override { return 0; }
    int Op7(intptr_t, intptr_t, intptr_t) override { return 0; }
    int Op8(intptr_t, intptr_t) override { return 0; }
    int Op9(intptr_t, intptr_t, intptr_t) override { return 0; }
    int Op10(intptr_t) override { return 0; }
    int SetBand(intptr_t, intptr_t) override { return 0; }
    int Op12(intptr_t, intptr_t) override { return 0; }
    int SetupMeasurement(intptr_t, intptr_t, intptr_t) override { return 0; }
    int Op14(intptr_t) override { return 0; }
    int TriggerMeasurement(intptr_t) override { return 0; }
    int ReadMeasurement(intptr_t, intptr_t) override { return 0; }
    int Op17(intptr_t) override { return 0; }
    int SetPowerLevel(intptr_t, intptr_t) override { return 0; }
    int SetTrafficChannel(intptr_t, intptr_t) override { return 0; }
    int Op20(intptr_t, intptr_t) override { return 0; }
    int Op21(intptr_t, intptr_t, intptr_t) override { return 0; }
    int Op22(intptr_t) override { return 0; }
    int SetChannel(intptr_t) override { return 0; }
    int Op24(intptr_t, intptr_t) override { return 0; }
    int Op25(intptr_t, intptr_t, intptr_t) override { return 0; }
    int Op26(intptr_t) override { return 0; }
    int Op27(intptr_t, intptr_t) override { return 0; }
    int Op28(intptr_t, intptr_t) override { return 0; }
    int Op29(intptr_t, intptr_t, intptr_t) override { return 0; }
    int Op30(intptr_t, intptr_t, intptr_t) override { return 0; }
    int Op31() override { return 0; }
    int Op32(intptr_t, intptr_t, intptr_t, intptr_t) override { return 0; }
};

// The RF tester: an IRfTester object, also reachable as a function table.
class RfTester : public QuietRfTester {
public:
    RfTester(Handset* handset, CallLog* log = nullptr, Clock* clock = nullptr);
    ~RfTester() override;

    // Frequency errors to report in place of the handset's, in order; after
    // the last one the handset is measured again.
    void ScriptFe(std::vector<double> values) {
        m_script = std::move(values);
        m_next = 0;
    }
    // The n-th ReadMeasurement (from 1) records an RF tester error.
    void FailMeasurement(int n) { m_failAt.push_back(n); }
    int Measurements() const { return m_reads; }

    // The function-table form, served by this object (one at a time).
    const RFTESTER_TABLE* Table();

    // Cost of one PFER measurement on the virtual clock, in milliseconds.
    double measurementMs = 45;
    // What the tester's frequency reference adds to every error it reads, in Hz.
    double biasHz = 0;

    int BeginAction(intptr_t a) override;
    int SetBand(intptr_t system, intptr_t band) override;
    int SetupMeasurement(intptr_t type, intptr_t a, intptr_t b) override;
    int TriggerMeasurement(intptr_t type) override;
    int ReadMeasurement(intptr_t type, intptr_t buffer) override;
    int SetPowerLevel(intptr_t pcl, intptr_t a) override;
    int SetTrafficChannel(intptr_t channel, intptr_t a) override;
    int SetChannel(intptr_t channel) override;

private:
    void Log(const std::string& s);
    Handset* m_handset;
    CallLog* m_log;
    Clock* m_clock;
    std::vector<double> m_script;
    size_t m_next = 0;
    std::vector<int> m_failAt;
    int m_reads = 0;
};

} // namespace sim
