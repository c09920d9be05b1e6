// Every handset command failing on its first send, or on its first and its
// second send, and the RF tester failing at each measurement, for each chip
// and every combination of "Resend Diag. Command" and "Throw  Diag.
// Exception". The expected end of each run is worked out from the rules of
// the command policy, not taken from the library.
#include "Capture.h"
#include "ExportCall.h"
#include "TempFile.h"
#include "HostSleep.h"
#include "Triple.h"
#include "OmraHost.h"
#include "Simulator.h"
#include "omra/errorcode.h"
#include "omra/phonecommand.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace {

using testing_support::Capture;

enum class Fault { ClassMark, AfcOn, AfcOff, Flash, RfError };

struct Chip {
    const char* tag;
    uint32_t id;
    const char* name;
    int measurements;           // of a passing run
    std::vector<double> fe;     // frequency errors that make the run pass
    uint16_t cafc, cdac, slope; // the results those errors give
};

// The frequency errors are chosen so that every check passes with the
// default configuration; the results follow from each chip's formulas:
// VT300: slope (7200 + 800) / 1000 = 8, CAFC fix16(4000 + 800 / 8) = 4100,
//        slope length fix16(32767 / 8) = 4096, CDAC the default 3.
// VT318: CDAC slope (3000 + 1800) / 8 = 600, CDAC trunc16(55 - 5) = 50,
//        CAFC slope 14000 / 2000 = 7, CAFC trunc16(8000 - 6900 / 7) = 7014,
//        slope length trunc16(32768 / 7) = 4681.
// LN2040: CDAC slope 3600 / 4 = 900, CDAC fix16(39 + 1.4) = 40, CAFC slope
//        16500 / 3000 = 5.5, CAFC fix16(7500 + 1500) = 9000, slope length
//        fix16(32768 / 5.5) = 5958.
const Chip kChips[] = {
    {"VT300", OMRA_ACTION_VT300, "VT300_AFC", 2, {-800, 7200}, 4100, 3, 4096},
    {"VT318", OMRA_ACTION_VT318, "VT318_AFC", 4, {3000, -1800, -7100, 6900}, 7014, 50, 4681},
    {"LN2040", OMRA_ACTION_LN2040, "LN2040", 4, {-1260, 2340, -8250, 8250}, 9000, 40, 5958},
};

struct Cell {
    int chip;
    Fault fault;
    int at;    // measurement (from 1) or flash field (0 CAFC, 1 CDAC, 2 slope length)
    int sends; // how many sends fail: 1 (the first) or 2 (the first and the second)
    int resend;
    int throwOn;
};

std::string cellName(const Cell& c) {
    static const char* const faults[] = {"ClassMark", "AfcOn", "AfcOff", "Flash", "RfError"};
    static const char* const fields[] = {"Cafc", "Cdac", "SlopeLength"};
    std::string n = std::string(kChips[c.chip].tag) + "_" + faults[static_cast<int>(c.fault)];
    if (c.fault == Fault::Flash)
        n += fields[c.at];
    else if (c.fault != Fault::ClassMark)
        n += "At" + std::to_string(c.at);
    if (c.fault != Fault::RfError)
        n += c.sends == 1 ? "_FirstSend" : "_FirstAndSecondSend";
    n += "_Resend" + std::to_string(c.resend) + "_Throw" + std::to_string(c.throwOn);
    return n;
}

std::vector<Cell> allCells() {
    std::vector<Cell> cells;
    for (int chip = 0; chip < 3; ++chip)
        for (int resend = 0; resend < 2; ++resend)
            for (int throwOn = 0; throwOn < 2; ++throwOn) {
                auto add = [&](Fault f, int at, int sends) {
                    cells.push_back(Cell{chip, f, at, sends, resend, throwOn});
                };
                for (int sends = 1; sends <= 2; ++sends) {
                    add(Fault::ClassMark, 0, sends);
                    for (int m = 1; m <= kChips[chip].measurements; ++m) {
                        add(Fault::AfcOn, m, sends);
                        add(Fault::AfcOff, m, sends);
                    }
                    for (int field = 0; field < 3; ++field)
                        add(Fault::Flash, field, sends);
                }
                for (int m = 1; m <= kChips[chip].measurements; ++m)
                    add(Fault::RfError, m, 1);
            }
    return cells;
}

using testing_support::Triple;

// What the rules say a cell ends with.
struct Outcome {
    bool success = true;
    Triple triple;       // all zero: none recorded
    std::string message; // of the exception
    int reads = 0;       // RF tester measurements made
    int pferItems = 0;   // measurements that reached their item
    int faultSends = 0;  // sends of the faulty command (class mark: all sends)
    int resendPauses = 0;
    int flashCalls = 0;
    double saveParams = 0; // the "Save params" value; NaN when none is sent
    bool hasSaveParams = true;
    int resultLines = 3;
    bool resultsStored = true;
};

Outcome expected(const Cell& c) {
    const Chip& chip = kChips[c.chip];
    Outcome o;
    o.reads = chip.measurements;
    o.pferItems = chip.measurements;
    o.flashCalls = 3;
    // The command policy: a failed send is repeated once when resending is
    // on; the command has finally failed unless that repetition succeeded.
    bool finallyFailed = c.sends == 2 || c.resend == 0;
    bool ends = finallyFailed && c.throwOn != 0;
    auto failRun = [&](Triple t, std::string message) {
        o.success = false;
        o.triple = t;
        o.message = std::move(message);
        o.hasSaveParams = false;
        o.resultLines = 0;
        o.flashCalls = 0;
        o.resultsStored = false;
    };
    switch (c.fault) {
    case Fault::ClassMark:
        // Its result is ignored and it is never resent.
        o.faultSends = 1;
        break;
    case Fault::AfcOn:
    case Fault::AfcOff: {
        bool on = c.fault == Fault::AfcOn;
        o.faultSends = 1 + c.resend;
        o.resendPauses = c.resend;
        if (ends) {
            failRun(Triple{14, 131, 4, 1}, std::string("< ") + chip.name +
                                               (on ? " >HT_AfcStart_MChip(TRUE) failed!"
                                                   : " >HT_AfcStart_MChip(FALSE) failed!"));
            o.reads = on ? c.at - 1 : c.at;
            o.pferItems = c.at - 1;
        }
        break;
    }
    case Fault::Flash: {
        // The sequence stops at the failing write; a resend runs it again
        // from the CAFC write.
        o.faultSends = 1 + c.resend;
        o.resendPauses = c.resend;
        o.flashCalls = c.at + 1;
        if (c.resend)
            o.flashCalls += c.sends == 2 ? c.at + 1 : 3;
        if (ends) {
            o.success = false;
            o.triple = Triple{14, 103, 4, 1};
            o.message = "Write parameters into flash fail while afc calibration!";
            o.saveParams = -1.0;
            o.resultLines = 0;
        }
        break;
    }
    case Fault::RfError:
        failRun(Triple{14, 131, 5, 1},
                std::string("< ") + chip.name + " > (_PFER) RFTester has error occured!");
        o.reads = c.at;
        o.pferItems = c.at - 1;
        break;
    }
    return o;
}

// A handset that fails exactly the cell's command. A measurement's AFC
// commands are told apart by the RF tester's reads so far; the flash writes
// by the sequence attempt (each attempt starts with the CAFC write).
struct ScriptedHandset {
    Cell cell;
    const sim::RfTester* rf = nullptr;
    int classMarks = 0;
    int faultSends = 0;
    int flashAttempt = 0;
    int flashCalls = 0;
    std::vector<std::pair<int, uint16_t>> flashed; // successful writes

    static ScriptedHandset*& current() {
        static ScriptedHandset* h = nullptr;
        return h;
    }
    static int32_t OnClassMark(void*, int32_t) {
        ScriptedHandset& h = *current();
        ++h.classMarks;
        if (h.cell.fault != Fault::ClassMark)
            return 0;
        ++h.faultSends;
        return h.classMarks <= h.cell.sends ? 1 : 0;
    }
    static int32_t OnAfcStart(void*, int32_t on, const AFC_START_BLOCK*) {
        ScriptedHandset& h = *current();
        Fault mine = on ? Fault::AfcOn : Fault::AfcOff;
        int measurement = h.rf->Measurements() + (on ? 1 : 0);
        if (h.cell.fault != mine || measurement != h.cell.at)
            return 0;
        ++h.faultSends;
        return h.faultSends <= h.cell.sends ? 7 : 0;
    }
    static int32_t OnWriteFlash(void*, PHONE_FLASH_FIELD field, uint16_t value) {
        ScriptedHandset& h = *current();
        ++h.flashCalls;
        if (field == PHONE_FLASH_CAFC)
            ++h.flashAttempt;
        if (h.cell.fault == Fault::Flash && static_cast<int>(field) == h.cell.at) {
            ++h.faultSends;
            if (h.flashAttempt <= h.cell.sends)
                return 3;
        }
        h.flashed.push_back({static_cast<int>(field), value});
        return 0;
    }
};

uint16_t u16(const std::vector<unsigned char>& rec, int at) {
    return static_cast<uint16_t>(rec[at] | (rec[at + 1] << 8));
}

class FaultMatrix : public ::testing::TestWithParam<Cell> {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.Load(host::DefaultLibraryPath())) << lib.Error();
        lib.Cleanup();
        Capture().Clear();
        testing_support::Pauses().clear();
        Spec_ClearErrorCode(E_ERR_ANY);
        path = "fault-matrix-" + std::to_string(getpid()) + ".ini";
    }
    void TearDown() override {
        PhoneCommand_Attach(nullptr);
        ScriptedHandset::current() = nullptr;
        lib.Cleanup();
        std::remove(path.c_str());
    }

    host::Library lib;
    std::string path;
};

TEST_P(FaultMatrix, RunEndsAsTheRulesSay) {
    const Cell c = GetParam();
    const Chip& chip = kChips[c.chip];
    const Outcome want = expected(c);

    ASSERT_TRUE(testing_support::WriteFile(
        path, "[DIAG CONTROL]\r\nTxOff=1\r\nResend Diag. Command=" + std::to_string(c.resend) +
                  "\r\nResend Interval Time=50\r\nThrow  Diag. Exception=" +
                  std::to_string(c.throwOn) + "\r\n"));

    sim::RfTester rf(nullptr);
    rf.ScriptFe(chip.fe);
    if (c.fault == Fault::RfError)
        rf.FailMeasurement(c.at);
    ScriptedHandset handset;
    handset.cell = c;
    handset.rf = &rf;
    ScriptedHandset::current() = &handset;
    PHONE_HANDSET ph{};
    ph.SetClassMark = &ScriptedHandset::OnClassMark;
    ph.AfcStart = &ScriptedHandset::OnAfcStart;
    ph.WriteFlash = &ScriptedHandset::OnWriteFlash;
    PhoneCommand_Attach(&ph);

    LIBRARY_INFO info;
    ASSERT_EQ(0u, lib.Startup(&info));
    IAction* a = testing_support::ReadyAction(lib, chip.id, &rf);
    ASSERT_NE(nullptr, a);
    std::vector<unsigned char> record(OMRA_CAL_RECORD_SIZE, 0);
    ACTION_PARAM p = testing_support::ParamBlock(path, 1, 1, record.data());
    ASSERT_EQ(0u, lib.InitAction(a, &p));

    const testing_support::Outcome run = testing_support::Catching([&] { return lib.DoAction(a); });
    EXPECT_EQ(!want.success, run.threw);
    EXPECT_TRUE(run.threw || run.returned == 0) << run.returned;
    EXPECT_EQ(want.message, run.message);
    EXPECT_EQ(want.triple, run.triple);
    EXPECT_EQ(want.reads, rf.Measurements());
    EXPECT_EQ(want.faultSends, handset.faultSends);
    EXPECT_EQ(1, handset.classMarks);
    int resendPauses = 0;
    for (uint32_t ms : testing_support::Pauses())
        resendPauses += ms == 50 ? 1 : 0;
    EXPECT_EQ(want.resendPauses, resendPauses);

    // The closing item, once, and last.
    const auto& got = Capture().items;
    int closing = 0, pferItems = 0, saveParams = 0;
    double saveValue = 0;
    for (const auto& it : got) {
        if (it.kind == OMRA_KIND_CLOSING && it.name.empty())
            ++closing;
        if (it.name.rfind("CH: ", 0) == 0)
            ++pferItems;
        if (it.name == "Save params") {
            ++saveParams;
            saveValue = it.value;
        }
    }
    EXPECT_EQ(1, closing);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(OMRA_KIND_CLOSING, got.back().kind);
    EXPECT_TRUE(got.back().name.empty());
    EXPECT_EQ(want.pferItems, pferItems);
    EXPECT_EQ(want.hasSaveParams ? 1 : 0, saveParams);
    if (want.hasSaveParams) {
        EXPECT_EQ(want.saveParams, saveValue);
    }
    int resultLines = 0;
    for (const auto& l : Capture().lines)
        resultLines += l.rfind("calibration_param_T.", 0) == 0 ? 1 : 0;
    EXPECT_EQ(want.resultLines, resultLines);

    // Flash: nothing unless every check passed, and then the computed values.
    EXPECT_EQ(want.flashCalls, handset.flashCalls);
    const uint16_t values[3] = {chip.cafc, chip.cdac, chip.slope};
    for (const auto& w : handset.flashed)
        EXPECT_EQ(values[w.first], w.second) << "flash field " << w.first;
    if (want.resultsStored) {
        EXPECT_EQ(chip.cafc, u16(record, OMRA_CAL_RESULT_CAFC));
        EXPECT_EQ(chip.cdac, u16(record, OMRA_CAL_RESULT_CDAC));
        EXPECT_EQ(chip.slope, u16(record, OMRA_CAL_RESULT_SLOPE_LENGTH));
    } else {
        EXPECT_EQ(0, u16(record, OMRA_CAL_RESULT_CAFC));
        EXPECT_EQ(0, u16(record, OMRA_CAL_RESULT_CDAC));
        EXPECT_EQ(0, u16(record, OMRA_CAL_RESULT_SLOPE_LENGTH));
    }
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrix, ::testing::ValuesIn(allCells()),
                         [](const ::testing::TestParamInfo<Cell>& i) { return cellName(i.param); });

} // namespace
