// The AFC base: the DoAction frame, PFER measurement and the result tail, as
// the host, the handset and the RF tester see them.
#include "Rig.h"

#include "common/AfcActionBase.h"

#include <gtest/gtest.h>

using rig::T;

namespace {

// A chip algorithm of our own on the frame: two points, fixed results.
class ScriptedAfc : public CAfcActionBase {
public:
    const char* GetName() const override { return "SCRIPTED"; }
    void LoadKeys(const platform::ProfileFile& file) override {
        LoadSettings<config::Vt318Settings>(file, config::kVt318Facts);
    }
    int DoAction() override {
        return RunFrame([this] {
            SetMeasurementPoint(55, 7000);
            MeasurePfer();
            PausePoint();
            SetMeasurementCafc(8000);
            MeasurePfer();
            StoreResults(cafc, cdac, slopeLength);
            FlashResults();
        });
    }
    int ReportAfcResult() override {
        static const vantor::NvField order[] = {vantor::NvField::Cdac, vantor::NvField::Cafc,
                                                vantor::NvField::SlopeLength};
        return ReportResultLines(order, 3);
    }
    using CAfcActionBase::MeasurePfer;
    uint16_t cafc = 7100, cdac = 50, slopeLength = 4681;
};

const char* kNv =
    "calibration_param_T.rf_param_dsp_use.rf_common_param_dsp_use.nimb2_RF_AFC_STRUCT";

std::string resultLine(const char* field, int value) {
    return std::string(kNv) + "." + field + ",-,-,-,-,-,-,-,-,-,-,-,-," + std::to_string(value) +
           ",-,-,-";
}

TEST(Frame, DeliversTheExactSequence) {
    rig::Bench bench;
    bench.rf.ScriptFe({-1234.5f, 250.25f});
    ScriptedAfc action;
    bench.Prepare(&action, "[AFC-COMMON]\nPCL=7\nTCH=33\n", 1, 3);
    calrec::WriteU16(bench.record.data(), OMRA_CAL_HOST_WORD_A, 11);
    calrec::WriteU16(bench.record.data(), OMRA_CAL_HOST_WORD_B, 12);
    calrec::WriteU16(bench.record.data(), OMRA_CAL_HOST_WORD_C, 13);
    int32_t d = -5;
    std::memcpy(bench.record.data() + OMRA_CAL_HOST_VALUE_D, &d, 4);

    rig::RunResult r = bench.Run(&action);
    ASSERT_FALSE(r.threw) << r.message;
    EXPECT_EQ(0, r.returned);
    // Kind-4 items leave the pass flag as the last judged item left it.
    std::vector<std::string> want = {
        "RF.BeginAction(0)",
        "RF.SetBand(-1,3)",
        "HT_SetPhoneClassmark_MChip(3)",
        "RF.SetPowerLevel(7,0)",
        "RF.SetChannel(33)",
        "RF.SetTrafficChannel(33,0)",
        "HT_AfcStart_MChip(1,{7,33,55,7000})",
        "RF.SetupMeasurement(2,0,0)",
        "RF.TriggerMeasurement(2)",
        "RF.ReadMeasurement(2)",
        "HT_AfcStart_MChip(0,{7,33,55,7000})",
        "ITEM CH: 33, PCL: 7, CDAC: 55, CAFC: 7000, FE|0|-1234.5|0|Hz|4|3|0",
        "LINE SCRIPTED_PFER_0,PCS1900,33,33,7,-5,-,11,12,55,7000,13,-,-1234.500000,-,Hz,-",
        "HT_AfcStart_MChip(1,{7,33,55,8000})",
        "RF.SetupMeasurement(2,0,0)",
        "RF.TriggerMeasurement(2)",
        "RF.ReadMeasurement(2)",
        "HT_AfcStart_MChip(0,{7,33,55,8000})",
        "ITEM CH: 33, PCL: 7, CDAC: 55, CAFC: 8000, FE|0|250.25|0|Hz|4|3|0",
        "LINE SCRIPTED_PFER_1,PCS1900,33,33,7,-5,-,11,12,55,8000,13,-,250.250000,-,Hz,-",
        "HT_WriteData_Flash_AFC_CAFC(7100)",
        "HT_WriteData_Flash_AFC_CDAC(50)",
        "HT_WriteData_Flash_AFC_slope_length(4681)",
        "ITEM Save params|0|0|0|-|2|1|1",
        "LINE " + resultLine("CDAC", 50),
        "LINE " + resultLine("CAFC", 7100),
        "LINE " + resultLine("slope_length", 4681),
        "ITEM |0|0|0|-|3|1|1",
    };
    EXPECT_EQ(want, bench.log.Entries());
    EXPECT_EQ(std::vector<uint32_t>{200}, bench.Pauses());
    EXPECT_EQ(7100, bench.U16(OMRA_CAL_RESULT_CAFC));
    EXPECT_EQ(50, bench.U16(OMRA_CAL_RESULT_CDAC));
    EXPECT_EQ(4681, bench.U16(OMRA_CAL_RESULT_SLOPE_LENGTH));
    EXPECT_EQ(7, bench.U16(OMRA_CAL_MEAS_PCL));
    EXPECT_EQ(33, bench.U16(OMRA_CAL_CHANNEL));
    // Result lines and the PFER line go at their levels.
    const auto& recs = testing_support::Capture().lineRecords;
    ASSERT_EQ(5u, recs.size());
    EXPECT_EQ(1, recs[0].level);
    EXPECT_EQ(3, recs[4].level);
}

TEST(Frame, CountersStartAtZeroInEveryRunAndAreShared) {
    rig::Bench bench;
    ScriptedAfc a, b;
    bench.Prepare(&a, "[AFC-COMMON]\n");
    bench.Run(&a);
    ASSERT_EQ(5u, bench.Lines().size());
    EXPECT_EQ(0u, bench.Lines()[0].find("SCRIPTED_PFER_0,"));
    EXPECT_EQ(0u, bench.Lines()[1].find("SCRIPTED_PFER_1,"));
    testing_support::Capture().lines.clear();
    bench.Run(&a);
    EXPECT_EQ(0u, bench.Lines()[0].find("SCRIPTED_PFER_0,"));

    // One counter for all actions: another action goes on where this run ended.
    bench.Prepare(&b, "[AFC-COMMON]\n");
    b.MeasurePfer();
    EXPECT_EQ(0u, bench.Lines().back().find("SCRIPTED_PFER_2,"));
}

TEST(Frame, BandOutsideTheTableHasNoName) {
    rig::Bench bench;
    ScriptedAfc action;
    bench.Prepare(&action, "[AFC-COMMON]\n", 1, 9);
    bench.Run(&action);
    EXPECT_EQ(0u, bench.Lines()[0].find("SCRIPTED_PFER_0,-,62,"));
}

TEST(Frame, ChipTypeZeroMeasuresNothingAndWritesNothing) {
    rig::Bench bench;
    ScriptedAfc action;
    bench.Prepare(&action, "[AFC-COMMON]\n", 0);
    rig::RunResult r = bench.Run(&action);
    ASSERT_FALSE(r.threw);
    std::vector<std::string> want = {"RF.BeginAction(0)", "RF.SetBand(-1,1)",
                                     "RF.SetPowerLevel(10,0)", "RF.SetChannel(62)",
                                     "RF.SetTrafficChannel(62,0)"};
    std::vector<std::string> calls;
    for (const std::string& e : bench.log.Entries())
        if (e.rfind("ITEM", 0) != 0 && e.rfind("LINE", 0) != 0)
            calls.push_back(e);
    EXPECT_EQ(want, calls);
    ASSERT_EQ(5u, bench.Lines().size());
    EXPECT_NE(std::string::npos, bench.Lines()[0].find(",-,0.000000,-,Hz,-"));
    EXPECT_EQ("Save params|0|0|0|-|2|1|1", testing_support::Describe(bench.Items()[2]));
    EXPECT_EQ(resultLine("CDAC", 50), bench.Lines()[2]);
}

// One bench after the other: each puts its own handset behind PhoneCommand.
std::vector<std::string> runScripted(int32_t chipType, bool table) {
    rig::Bench bench;
    ScriptedAfc action;
    bench.rf.ScriptFe({10, 20});
    bench.Prepare(&action, "[AFC-COMMON]\n", chipType);
    if (table)
        action.SetDriver(2, 2, const_cast<RFTESTER_TABLE*>(bench.rf.Table()));
    bench.Run(&action);
    return bench.log.Entries();
}

TEST(Frame, ChipTypeFourIsChipTypeOne) {
    std::vector<std::string> one = runScripted(1, false);
    EXPECT_EQ(28u, one.size());
    EXPECT_EQ(one, runScripted(4, false));
}

class InvalidChip : public ::testing::TestWithParam<int32_t> {};

TEST_P(InvalidChip, FailsBeforeAnyAfcCommand) {
    rig::Bench bench;
    ScriptedAfc action;
    bench.Prepare(&action, "[AFC-COMMON]\n", GetParam());
    rig::RunResult r = bench.Run(&action);
    ASSERT_TRUE(r.threw);
    EXPECT_EQ("< SCRIPTED >, Invalid Chip Type: " + std::to_string(GetParam()), r.message);
    EXPECT_NE(std::string::npos, r.fullText.find("FILE:\tAfcActionBase.cpp\n"));
    EXPECT_EQ(T(131, 10), r.triple);
    EXPECT_TRUE(bench.Entries("HT_AfcStart").empty());
    EXPECT_EQ(0, bench.rf.Measurements());
    ASSERT_EQ(1u, bench.Items().size()); // only the closing item
    EXPECT_EQ(3, bench.Items()[0].kind);
    EXPECT_TRUE(bench.Lines().empty());
    EXPECT_EQ(55, bench.U16(OMRA_CAL_MEAS_CDAC)); // the caller's point stays
}

INSTANTIATE_TEST_SUITE_P(Types, InvalidChip, ::testing::Values(3, 5, -1, 1000));

// --- Faults of the measurement and of the flash ---------------------------------

struct FaultCase {
    const char* name;
    void (*inject)(rig::Bench&);
    const char* message;
    rig::Triple triple;
    size_t lines; // the PFER lines written before the fault
    size_t items;
    std::vector<std::string> writes;
    const char* saveItem;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class Fault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Fault, ThrowsAndStopsTheRun) {
    const FaultCase& c = GetParam();
    rig::Bench bench;
    c.inject(bench);
    ScriptedAfc action;
    bench.Prepare(&action, "[AFC-COMMON]\n");
    rig::RunResult r = bench.Run(&action);
    ASSERT_TRUE(r.threw);
    EXPECT_EQ(c.message, r.message);
    EXPECT_EQ(c.triple, r.triple);
    EXPECT_EQ(c.lines, bench.Lines().size());
    ASSERT_EQ(c.items, bench.Items().size());
    EXPECT_EQ(3, bench.Items().back().kind);
    EXPECT_EQ(c.writes, bench.Entries("HT_WriteData"));
    if (c.saveItem != nullptr) {
        EXPECT_EQ(c.saveItem, testing_support::Describe(bench.Items()[2]));
        // The record keeps the new values.
        EXPECT_EQ(7100, bench.U16(OMRA_CAL_RESULT_CAFC));
    }
}

// One fault: the writes and the "Save params" item are checked when the run gets to them.
FaultCase fault(const char* name, void (*inject)(rig::Bench&), const char* message,
                rig::Triple triple, size_t lines, size_t items,
                std::vector<std::string> writes = {}, const char* saveItem = nullptr) {
    return {name, inject, message, triple, lines, items, std::move(writes), saveItem};
}

INSTANTIATE_TEST_SUITE_P(
    Run, Fault,
    ::testing::Values(
        // The first point only.
        fault(
            "RfTesterError", [](rig::Bench& b) { b.rf.FailMeasurement(2); },
            "< SCRIPTED > (_PFER) RFTester has error occured!", T(131, 5, 1), 1, 2),
        fault(
            "AfcOff", [](rig::Bench& b) { b.handset.FailCall(sim::Command::AfcOff, 1); },
            "< SCRIPTED >HT_AfcStart_MChip(FALSE) failed!", T(131, 4, 1), 0, 1),
        // No result lines; the CDAC write stops the sequence.
        fault(
            "FlashCdac", [](rig::Bench& b) { b.handset.FailCall(sim::Command::FlashCdac, 1); },
            "Write parameters into flash fail while afc calibration!", T(103, 4, 1), 2, 4,
            {"HT_WriteData_Flash_AFC_CAFC(7100)", "HT_WriteData_Flash_AFC_CDAC(50)"},
            "Save params|0|-1|0|-|2|1|0")),
    [](const ::testing::TestParamInfo<FaultCase>& c) { return std::string(c.param.name); });

TEST(MeasurePfer, RfTesterErrorIsCheckedForChipTypeZeroToo) {
    rig::Bench bench;
    ScriptedAfc action;
    bench.Prepare(&action, "[AFC-COMMON]\n", 0);
    Spec_SetErrorCode(E_MODULE_RFTESTER, 1, 1, 0);
    // The measurement clears the slot first, so an error from before is gone.
    EXPECT_NO_THROW(action.MeasurePfer());
}

TEST(MeasurePfer, TxOffZeroLeavesTheHandsetTransmitting) {
    rig::Bench bench;
    ScriptedAfc action;
    bench.Prepare(&action, "[DIAG CONTROL]\nTxOff=0\n");
    bench.Run(&action);
    EXPECT_EQ(2u, bench.Entries("HT_AfcStart_MChip(1").size());
    EXPECT_TRUE(bench.Entries("HT_AfcStart_MChip(0").empty());
    EXPECT_TRUE(bench.handset.afcOn);
}

TEST(MeasurePfer, NegativeErrorsPrintWithSixDecimals) {
    rig::Bench bench;
    bench.rf.ScriptFe({-0.5f, -20000.125f});
    ScriptedAfc action;
    bench.Prepare(&action, "[AFC-COMMON]\n");
    bench.Run(&action);
    EXPECT_NE(std::string::npos, bench.Lines()[0].find(",-,-0.500000,-,Hz,-"));
    EXPECT_NE(std::string::npos, bench.Lines()[1].find(",-,-20000.125000,-,Hz,-"));
}

// --- The result tail -----------------------------------------------------------

TEST(Flash, ResendRepeatsTheWholeSequence) {
    rig::Bench bench;
    bench.handset.FailCall(sim::Command::FlashCdac, 1);
    ScriptedAfc action;
    bench.Prepare(&action, "[DIAG CONTROL]\nResend Diag. Command=1\nResend Interval Time=75\n");
    rig::RunResult r = bench.Run(&action);
    ASSERT_FALSE(r.threw) << r.message;
    EXPECT_EQ((std::vector<std::string>{
                  "HT_WriteData_Flash_AFC_CAFC(7100)", "HT_WriteData_Flash_AFC_CDAC(50)",
                  "HT_WriteData_Flash_AFC_CAFC(7100)", "HT_WriteData_Flash_AFC_CDAC(50)",
                  "HT_WriteData_Flash_AFC_slope_length(4681)"}),
              bench.Entries("HT_WriteData"));
    EXPECT_EQ((std::vector<uint32_t>{200, 75}), bench.Pauses());
    EXPECT_EQ("Save params|0|0|0|-|2|1|1", testing_support::Describe(bench.Items()[2]));
    EXPECT_EQ(rig::Triple{}, r.triple);
    EXPECT_TRUE(bench.handset.flashed[2]);
}

TEST(Flash, ResendThatFailsAgainThrows) {
    rig::Bench bench;
    bench.handset.FailCall(sim::Command::FlashSlopeLength, 1);
    bench.handset.FailCall(sim::Command::FlashCafc, 2);
    ScriptedAfc action;
    bench.Prepare(&action, "[DIAG CONTROL]\nResend Diag. Command=1\n");
    rig::RunResult r = bench.Run(&action);
    ASSERT_TRUE(r.threw);
    EXPECT_EQ(T(103, 4, 1), r.triple);
    EXPECT_EQ(4u, bench.Entries("HT_WriteData").size());
}

TEST(Flash, IgnoredFailureStillReportsSuccess) {
    rig::Bench bench;
    bench.handset.FailCall(sim::Command::FlashCafc, 1);
    ScriptedAfc action;
    bench.Prepare(&action, "[DIAG CONTROL]\nThrow  Diag. Exception=0\n");
    rig::RunResult r = bench.Run(&action);
    ASSERT_FALSE(r.threw);
    EXPECT_EQ(1u, bench.Entries("HT_WriteData").size());
    EXPECT_EQ("Save params|0|0|0|-|2|1|1", testing_support::Describe(bench.Items()[2]));
    EXPECT_EQ(5u, bench.Lines().size());
    EXPECT_EQ(rig::Triple{}, r.triple);
}

TEST(Flash, ResultLinesPrintSignedValues) {
    rig::Bench bench;
    ScriptedAfc action;
    action.cdac = 65533;
    action.slopeLength = 40000;
    bench.Prepare(&action, "[AFC-COMMON]\n");
    bench.Run(&action);
    EXPECT_EQ(resultLine("CDAC", -3), bench.Lines()[2]);
    EXPECT_EQ(resultLine("slope_length", 40000 - 65536), bench.Lines()[4]);
    EXPECT_EQ("HT_WriteData_Flash_AFC_CDAC(65533)",
              bench.Entries("HT_WriteData_Flash_AFC_CDAC")[0]);
}

TEST(Frame, MissingDriverOrRecordEndsTheRunCleanly) {
    {
        rig::Bench bench;
        ScriptedAfc action;
        NOTIFY_TARGET items = testing_support::ItemTarget();
        action.SetCallBack(1, &items);
        ACTION_PARAM p{};
        p.chipType = 1;
        p.calibrationRecord = bench.record.data();
        action.InitAction(&p);
        rig::RunResult r = bench.Run(&action);
        ASSERT_TRUE(r.threw);
        EXPECT_EQ("< SCRIPTED >RF tester driver is not set", r.message);
        EXPECT_EQ(T(9, 22), r.triple);
        EXPECT_TRUE(bench.log.Entries().size() == 1 && bench.Items().size() == 1);
    }
    {
        rig::Bench bench;
        ScriptedAfc action;
        NOTIFY_TARGET items = testing_support::ItemTarget();
        action.SetCallBack(1, &items);
        action.SetDriver(2, 1, static_cast<IRfTester*>(&bench.rf));
        rig::RunResult r = bench.Run(&action);
        ASSERT_TRUE(r.threw);
        EXPECT_EQ("< SCRIPTED >calibration record address is null", r.message);
        EXPECT_EQ(T(9, 7), r.triple);
        EXPECT_EQ(1u, bench.Items().size());
        EXPECT_TRUE(bench.Entries("RF.").empty());
    }
}

TEST(Frame, FunctionTableTesterGivesTheSameRun) {
    EXPECT_EQ(runScripted(1, false), runScripted(1, true));
}

} // namespace
