// The three chip calibrations end to end on scripted frequency errors, and on
// simulated nominal units.
#include "Rig.h"

#include "afc/LN2040.h"
#include "afc/VantorAfc.h"
#include "afc/Vt318.h"
#include "common/Convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using rig::T;
using Points = std::vector<std::pair<unsigned, unsigned>>;

namespace {

// The items of a run without the per-measurement ones.
std::vector<std::string> resultItems(const rig::Bench& bench) {
    std::vector<std::string> out;
    for (const auto& item : bench.Items())
        if (item.name.rfind("CH: ", 0) != 0)
            out.push_back(testing_support::Describe(item));
    return out;
}

std::vector<std::string> flashWrites(const rig::Bench& bench) {
    return bench.Entries("HT_WriteData");
}

std::vector<uint32_t> pauses(size_t n) {
    return std::vector<uint32_t>(n, 200);
}

const std::string kNv =
    "calibration_param_T.rf_param_dsp_use.rf_common_param_dsp_use.nimb2_RF_AFC_STRUCT.";

template <class Action> struct ChipRun {
    rig::Bench bench;
    Action action;
    rig::RunResult result;
    ChipRun(std::vector<double> fe, const std::string& config = "", int32_t chipType = 1) {
        bench.rf.ScriptFe(std::move(fe));
        bench.Prepare(&action, "[AFC-COMMON]\n" + config, chipType);
        result = bench.Run(&action);
    }
};

// --- Number conversions ---------------------------------------------------------

TEST(Conversions, Fix16RoundsHalvesUpAndKeepsLow16Bits) {
    EXPECT_EQ(4, conv::fix16(4.49));
    EXPECT_EQ(5, conv::fix16(4.5));
    EXPECT_EQ(65534, conv::fix16(-3.2));
    EXPECT_EQ(0, conv::fix16(-0.5));
    EXPECT_EQ(1, conv::fix16(65536.6));
    EXPECT_EQ(0, conv::fix16(std::numeric_limits<double>::infinity()));
    EXPECT_EQ(0, conv::fix16(-std::numeric_limits<double>::infinity()));
    EXPECT_EQ(0, conv::fix16(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(0, conv::fix16(1e30));
    EXPECT_EQ(0, conv::fix16(-1e30));
    EXPECT_EQ(0, conv::fix16(9223372036854775807.0));
}

TEST(Conversions, Trunc16TruncatesTowardZero) {
    EXPECT_EQ(54, conv::trunc16(54.9));
    EXPECT_EQ(65533, conv::trunc16(-3.2));
    EXPECT_EQ(0, conv::trunc16(-0.99));
    EXPECT_EQ(4681, conv::trunc16(32768.0 / 7));
    EXPECT_EQ(0, conv::trunc16(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(0, conv::trunc16(-9.3e18));
}

// --- VT300 ------------------------------------------------------------------------

TEST(Vt300, PositiveErrorTakesTheSecondPointBelow) {
    ChipRun<CVantorAfc> r({800, -7200});
    ASSERT_FALSE(r.result.threw) << r.result.message;
    EXPECT_EQ((Points{{3, 4000}, {3, 3000}}), r.bench.Points());
    EXPECT_EQ(pauses(1), r.bench.Pauses());
    EXPECT_EQ((std::vector<std::string>{"Slope|4|8|16|-|2|1|1", "CAFC|0|3900|0|10Hz/bit|4|2|1",
                                        "CDAC|0|3|0|CDAC|4|3|1", "Save params|0|0|0|-|2|1|1",
                                        "|0|0|0|-|3|1|1"}),
              resultItems(r.bench));
    EXPECT_EQ((std::vector<std::string>{"HT_WriteData_Flash_AFC_CAFC(3900)",
                                        "HT_WriteData_Flash_AFC_CDAC(3)",
                                        "HT_WriteData_Flash_AFC_slope_length(4096)"}),
              flashWrites(r.bench));
    ASSERT_EQ(5u, r.bench.Lines().size());
    EXPECT_EQ(0u, r.bench.Lines()[0].find("VT300_AFC_PFER_0,EGSM900,62,62,10,"));
    EXPECT_EQ(kNv + "slope_length,-,-,-,-,-,-,-,-,-,-,-,-,4096,-,-,-", r.bench.Lines()[2]);
    EXPECT_EQ(kNv + "CDAC,-,-,-,-,-,-,-,-,-,-,-,-,3,-,-,-", r.bench.Lines()[3]);
    EXPECT_EQ(kNv + "CAFC,-,-,-,-,-,-,-,-,-,-,-,-,3900,-,-,-", r.bench.Lines()[4]);
    EXPECT_EQ(3900, r.bench.U16(OMRA_CAL_RESULT_CAFC));
    EXPECT_EQ(3, r.bench.U16(OMRA_CAL_RESULT_CDAC));
    EXPECT_EQ(4096, r.bench.U16(OMRA_CAL_RESULT_SLOPE_LENGTH));
    EXPECT_EQ(3900, r.bench.U16(OMRA_CAL_MEAS_CAFC));
}

TEST(Vt300, ZeroOrNegativeErrorTakesTheSecondPointAbove) {
    ChipRun<CVantorAfc> zero({0, 8000});
    EXPECT_EQ((Points{{3, 4000}, {3, 5000}}), zero.bench.Points());
    EXPECT_EQ(4000, zero.bench.U16(OMRA_CAL_RESULT_CAFC));
    ChipRun<CVantorAfc> neg({-500, 7500});
    EXPECT_EQ((Points{{3, 4000}, {3, 5000}}), neg.bench.Points());
    EXPECT_EQ(4063, neg.bench.U16(OMRA_CAL_RESULT_CAFC)); // 4000 + 500 / 8, rounded
}

TEST(Vt300, OffsetLimitAtAndOneHertzPast) {
    const std::string cfg = "[CRYSTAL_VT300]\nFreq. Offset Limit=20000\n";
    ChipRun<CVantorAfc> at({20000, 12000}, cfg + "Freq. Error Limit=0\n");
    EXPECT_NE(T(140, 28), at.result.triple);
    EXPECT_EQ(2u, at.bench.Points().size());

    ChipRun<CVantorAfc> past({20001, 12000});
    ASSERT_TRUE(past.result.threw);
    EXPECT_EQ("PFER out-of-range! 20001.00. |Limit|: 20000.00, CDAC: 3, CAFC: 4000",
              past.result.message);
    EXPECT_EQ(T(140, 28), past.result.triple);
    EXPECT_EQ(1u, past.bench.Points().size()); // before the second measurement
    EXPECT_TRUE(past.bench.Pauses().empty());
    EXPECT_EQ((std::vector<std::string>{"|0|0|0|-|3|1|1"}), resultItems(past.bench));

    ChipRun<CVantorAfc> below({-20001, 12000});
    EXPECT_EQ(T(140, 28), below.result.triple);
    ChipRun<CVantorAfc> nan({std::numeric_limits<double>::quiet_NaN(), 0});
    EXPECT_EQ(T(140, 28), nan.result.triple);
}

TEST(Vt300, FractionalSlopesRoundThroughFix16) {
    ChipRun<CVantorAfc> pass({-449, 4041}); // 4.49 gives 4
    ASSERT_FALSE(pass.result.threw) << pass.result.message;
    EXPECT_EQ("Slope|4|4|16|-|2|1|1", resultItems(pass.bench)[0]);
    EXPECT_EQ(4100, pass.bench.U16(OMRA_CAL_RESULT_CAFC));
    EXPECT_EQ(conv::fix16(32767.0 / 4.49), pass.bench.U16(OMRA_CAL_RESULT_SLOPE_LENGTH));

    ChipRun<CVantorAfc> fail({-349, 3141}); // 3.49 gives 3
    EXPECT_EQ("Too big CAFC slope! 3. [4, 16]", fail.result.message);
}

TEST(Vt300, HeadroomBelowTheCafc) {
    ChipRun<CVantorAfc> at({19000, 11000}); // CAFC 1625: 8 * 1625 = 13000
    ASSERT_FALSE(at.result.threw) << at.result.message;
    EXPECT_EQ(1625, at.bench.U16(OMRA_CAL_RESULT_CAFC));

    ChipRun<CVantorAfc> past({19008, 11008}); // CAFC 1624
    ASSERT_TRUE(past.result.threw);
    EXPECT_EQ("(afc * slope = 12992) < 13000!", past.result.message);
    EXPECT_EQ(T(140, 34), past.result.triple);
    EXPECT_TRUE(flashWrites(past.bench).empty());
    // The results are stored before the check; the record keeps them.
    EXPECT_EQ(1624, past.bench.U16(OMRA_CAL_RESULT_CAFC));
    EXPECT_EQ(1624, past.bench.U16(OMRA_CAL_MEAS_CAFC));
}

TEST(Vt300, HeadroomAboveTheCafc) {
    const std::string cfg = "[CRYSTAL_VT300]\nFreq. Offset Limit=40000\n";
    ChipRun<CVantorAfc> at({-20528, -12528}, cfg); // CAFC 6566
    ASSERT_FALSE(at.result.threw) << at.result.message;
    EXPECT_EQ(6566, at.bench.U16(OMRA_CAL_RESULT_CAFC));

    ChipRun<CVantorAfc> past({-20536, -12536}, cfg);
    EXPECT_EQ("((8191 - afc) * slope = 12992) < 13000!", past.result.message);
    EXPECT_EQ(T(140, 34), past.result.triple);

    ChipRun<CVantorAfc> beyond({-34000, -26000}, cfg); // CAFC 8250: negative headroom
    EXPECT_EQ("((8191 - afc) * slope = -472) < 13000!", beyond.result.message);
}

TEST(Vt300, ZeroSlopeNeverReachesTheFlash) {
    ChipRun<CVantorAfc> chip0({}, "", 0);
    ASSERT_TRUE(chip0.result.threw);
    EXPECT_EQ("Too big CAFC slope! 0. [4, 16]", chip0.result.message);
    EXPECT_TRUE(chip0.bench.Entries("HT_").empty());

    const std::string noLimits = "[CRYSTAL_VT300]\nMin CAFC Slope=0\nFreq. Error Limit=0\n";
    ChipRun<CVantorAfc> flat({100, 100}, noLimits);
    ASSERT_TRUE(flat.result.threw);
    EXPECT_EQ(T(140, 34), flat.result.triple);
    EXPECT_EQ("Too big CAFC slope! 0. [0, 16]", flat.result.message);
    EXPECT_EQ(0, flat.bench.Items()[2].pass); // the slope item shows the failure
    EXPECT_TRUE(flashWrites(flat.bench).empty());

    ChipRun<CVantorAfc> sameCafc({100, 300}, noLimits + "Next CAFC Distance=0\n");
    EXPECT_EQ((Points{{3, 4000}, {3, 4000}}), sameCafc.bench.Points());
    EXPECT_EQ(T(140, 34), sameCafc.result.triple);
    EXPECT_TRUE(flashWrites(sameCafc.bench).empty());
}

TEST(Vt300, ConfiguredCdacIsUsedThroughoutAndWritten) {
    ChipRun<CVantorAfc> r({800, -7200}, "[CRYSTAL_VT300]\nDefault CDAC=7\nDefault CAFC=4100\n");
    EXPECT_EQ((Points{{7, 4100}, {7, 3100}}), r.bench.Points());
    EXPECT_EQ(7, r.bench.U16(OMRA_CAL_RESULT_CDAC));
}

TEST(Vt300, ConfigurationKeysAndDefaults) {
    rig::Bench bench;
    CVantorAfc a;
    bench.Prepare(&a, "[AFC-COMMON]\nPCL=5\nTCH=70000\n[CRYSTAL_VT300]\nDefault CDAC=65539\n"
                      "Max CAFC Slope=20\nFreq. Error Limit=-1\nNext CAFC Distance=7\n");
    EXPECT_EQ(5, a.Pcl());
    EXPECT_EQ(70000 - 65536, a.Tch()); // cut to 16 bits
    EXPECT_EQ(3, a.GetSettings().defaultCdac);
    EXPECT_EQ(4000, a.GetSettings().defaultCafc);
    EXPECT_EQ(7, a.GetSettings().nextCafcDistance);
    EXPECT_EQ(20000.0, a.GetSettings().freqOffsetLimit);
    EXPECT_EQ(20, a.GetSettings().maxCafcSlope);
    EXPECT_EQ(4, a.GetSettings().minCafcSlope);
    EXPECT_EQ(4294967295.0, a.GetSettings().freqErrorLimit); // read as unsigned 32-bit
}

// --- VT318 ------------------------------------------------------------------------

TEST(Vt318, FirstAttemptPasses) {
    ChipRun<CVt318> r({2820, -1980, -7180, 6820});
    ASSERT_FALSE(r.result.threw) << r.result.message;
    EXPECT_EQ((Points{{55, 7000}, {47, 7000}, {50, 6000}, {50, 8000}}), r.bench.Points());
    EXPECT_EQ(pauses(3), r.bench.Pauses());
    EXPECT_EQ(
        (std::vector<std::string>{"CDAC Slope|0|600|0|-|4|3|0", "CDAC|40|50|70|CDAC|2|1|1",
                                  "CDAC|0|50|63|CDAC|2|1|1", "CAFC Slope|4|7|10|-|2|1|1",
                                  "Slope Length|0|4681|0|-|4|3|1", "CAFC|6000|7025|8000|CAFC|2|1|1",
                                  "Save params|0|0|0|-|2|1|1", "|0|0|0|-|3|1|1"}),
        resultItems(r.bench));
    EXPECT_EQ((std::vector<std::string>{"HT_WriteData_Flash_AFC_CAFC(7025)",
                                        "HT_WriteData_Flash_AFC_CDAC(50)",
                                        "HT_WriteData_Flash_AFC_slope_length(4681)"}),
              flashWrites(r.bench));
    ASSERT_EQ(7u, r.bench.Lines().size());
    EXPECT_EQ(0u, r.bench.Lines()[3].find("VT318_AFC_PFER_3,"));
    EXPECT_EQ(kNv + "CDAC,-,-,-,-,-,-,-,-,-,-,-,-,50,-,-,-", r.bench.Lines()[4]);
    EXPECT_EQ(kNv + "CAFC,-,-,-,-,-,-,-,-,-,-,-,-,7025,-,-,-", r.bench.Lines()[5]);
    EXPECT_EQ(kNv + "slope_length,-,-,-,-,-,-,-,-,-,-,-,-,4681,-,-,-", r.bench.Lines()[6]);
    EXPECT_EQ(50, r.bench.U16(OMRA_CAL_RESULT_CDAC));
    EXPECT_EQ(7025, r.bench.U16(OMRA_CAL_MEAS_CAFC));
}

TEST(Vt318, CdacAbove63TriesAgainAtAHigherCafc) {
    // Attempt 1 computes CDAC 66: inside [40, 70], above 63.
    ChipRun<CVt318> r({-6600, -11400, 2820, -1980, -7180, 6820});
    ASSERT_FALSE(r.result.threw) << r.result.message;
    EXPECT_EQ((Points{{55, 7000}, {47, 7000}, {55, 8000}, {47, 8000}, {50, 7000}, {50, 9000}}),
              r.bench.Points());
    EXPECT_EQ(pauses(5), r.bench.Pauses());
    std::vector<std::string> items = resultItems(r.bench);
    EXPECT_EQ("CDAC|40|66|70|CDAC|2|1|1", items[1]);
    EXPECT_EQ("CDAC|0|66|63|CDAC|2|1|0", items[2]);
    // The CAFC window of the second attempt is centred on its own CAFC.
    EXPECT_EQ("CAFC|7000|8025|9000|CAFC|2|1|1", items[8]);
}

TEST(Vt318, ThreeMissesFailTheRun) {
    ChipRun<CVt318> r({100, 100, 100, 100, 100, 100, 100, 100});
    ASSERT_TRUE(r.result.threw);
    EXPECT_EQ("CDAC 0 Exceed Range [40, 70]!", r.result.message);
    EXPECT_EQ(T(137, 31), r.result.triple);
    EXPECT_EQ((Points{{55, 7000}, {47, 7000}, {55, 8000}, {47, 8000}, {55, 9000}, {47, 9000}}),
              r.bench.Points());
    EXPECT_EQ(pauses(6), r.bench.Pauses());
    EXPECT_TRUE(flashWrites(r.bench).empty());
    EXPECT_EQ(3u, r.bench.Entries("ITEM CDAC|").size());
}

TEST(Vt318, ChipTypeZeroFailsAfterThreeAttempts) {
    ChipRun<CVt318> r({}, "", 0);
    EXPECT_EQ(T(137, 31), r.result.triple);
    EXPECT_EQ(6u, r.bench.Lines().size());
    EXPECT_TRUE(r.bench.Entries("HT_").empty());
}

TEST(Vt318, SlopeWindowBounds) {
    ChipRun<CVt318> low({2820, -1980, -4000, 4000}); // 4
    ASSERT_FALSE(low.result.threw) << low.result.message;
    EXPECT_EQ(8192, low.bench.U16(OMRA_CAL_RESULT_SLOPE_LENGTH));
    EXPECT_EQ(7000, low.bench.U16(OMRA_CAL_RESULT_CAFC));
    ChipRun<CVt318> high({2820, -1980, -10000, 10000}); // 10
    EXPECT_FALSE(high.result.threw) << high.result.message;
    ChipRun<CVt318> above({2820, -1980, -10010, 10010}); // 10.01
    EXPECT_EQ("CAFC Slope: 10.01 Exceed Range [4, 10]!", above.result.message);
    EXPECT_EQ(T(140, 34), above.result.triple);
    EXPECT_TRUE(flashWrites(above.bench).empty());
    ChipRun<CVt318> below({2820, -1980, -3990, 3990}); // 3.99
    EXPECT_EQ("CAFC Slope: 3.99 Exceed Range [4, 10]!", below.result.message);
}

TEST(Vt318, ComputedCdacOf63PassesBothWindows) {
    ChipRun<CVt318> r({-800, -1600, -7000, 7000});
    ASSERT_FALSE(r.result.threw) << r.result.message;
    std::vector<std::string> items = resultItems(r.bench);
    EXPECT_EQ("CDAC|40|63|70|CDAC|2|1|1", items[1]);
    EXPECT_EQ("CDAC|0|63|63|CDAC|2|1|1", items[2]);
    EXPECT_EQ("HT_WriteData_Flash_AFC_CDAC(63)", flashWrites(r.bench).at(1));
}

TEST(Vt318, CafcWindowBounds) {
    ChipRun<CVt318> at({2820, -1980, 0, 14000}); // 8000 - 14000 / 7 = 6000
    ASSERT_FALSE(at.result.threw) << at.result.message;
    EXPECT_EQ(6000, at.bench.U16(OMRA_CAL_RESULT_CAFC));
    ChipRun<CVt318> past({2820, -1980, 7, 14007}); // 5999
    ASSERT_TRUE(past.result.threw);
    EXPECT_EQ("CAFC Range: 5999 Exceed Range [6000, 8000]!", past.result.message);
    EXPECT_EQ(T(138, 32), past.result.triple);
    EXPECT_EQ(5999, past.bench.U16(OMRA_CAL_MEAS_CAFC));
    EXPECT_TRUE(flashWrites(past.bench).empty());
}

TEST(Vt318, ConfigurationKeysWithTheirBlanks) {
    rig::Bench bench;
    CVt318 a;
    EXPECT_EQ(55, a.GetSettings().defaultCdac); // the load default before any load
    bench.Prepare(&a, "[CRYSTAL_VT318]\nDefault CDAC=40\nDefault CAFC=6000\nCDAC    Range=9\n"
                      "CAFC Range=77\nDelta   CAFC=700\nSlope Range=2\n");
    EXPECT_EQ(40, a.GetSettings().defaultCdac);
    EXPECT_EQ(6000, a.GetSettings().defaultCafc);
    EXPECT_EQ(9, a.GetSettings().cdacRange);
    EXPECT_EQ(1000, a.GetSettings().cafcRange); // "CAFC Range" with one blank is another key
    EXPECT_EQ(700, a.GetSettings().deltaCafc);
    EXPECT_EQ(2, a.GetSettings().slopeRange);
}

// --- LN2040 -----------------------------------------------------------------------

TEST(Ln2040, NominalRun) {
    ChipRun<CLN2040> r({-1260, 2340, -8610, 7890});
    ASSERT_FALSE(r.result.threw) << r.result.message;
    EXPECT_EQ((Points{{39, 9000}, {43, 9000}, {40, 7500}, {40, 10500}}), r.bench.Points());
    EXPECT_EQ(pauses(3), r.bench.Pauses());
    EXPECT_EQ(
        (std::vector<std::string>{"CDAC Slope|0|900|0|Slope|4|1|0", "CDAC|32|40|47|CDAC|2|1|1",
                                  "CAFC Slope|3|5.5|8|-|2|1|1", "Slope Length|0|5958|0|-|4|3|1",
                                  "CAFC|5500|9065|12500|CAFC|2|1|1", "Save params|0|0|0|-|2|1|1",
                                  "|0|0|0|-|3|1|1"}),
        resultItems(r.bench));
    EXPECT_EQ((std::vector<std::string>{"HT_WriteData_Flash_AFC_CAFC(9065)",
                                        "HT_WriteData_Flash_AFC_CDAC(40)",
                                        "HT_WriteData_Flash_AFC_slope_length(5958)"}),
              flashWrites(r.bench));
    EXPECT_EQ(kNv + "CDAC,-,-,-,-,-,-,-,-,-,-,-,-,40,-,-,-", r.bench.Lines()[4]);
    EXPECT_EQ(0u, r.bench.Lines()[0].find("LN2040_PFER_0,"));
}

TEST(Ln2040, CdacStepDirection) {
    ChipRun<CLN2040> down({900, -2700, -8610, 7890});
    EXPECT_EQ(35u, down.bench.Points()[1].first);
    EXPECT_EQ(38, down.bench.U16(OMRA_CAL_RESULT_CDAC)); // 39 - 900 / 900
    ChipRun<CLN2040> zero({0, 3600, -8250, 8250});
    EXPECT_EQ(43u, zero.bench.Points()[1].first);
}

TEST(Ln2040, CdacWindowBounds) {
    // CDAC slope 900: 39 - FE0 / 900.
    ChipRun<CLN2040> low({6300, 2700, -8250, 8250}); // 32
    EXPECT_FALSE(low.result.threw) << low.result.message;
    ChipRun<CLN2040> high({-7200, -3600, -8250, 8250}); // 47
    EXPECT_FALSE(high.result.threw) << high.result.message;
    ChipRun<CLN2040> under({7200, 3600, -8250, 8250}); // 31
    EXPECT_EQ("CDAC 31 Exceed Range [32, 47]!", under.result.message);
    EXPECT_EQ(T(137, 31), under.result.triple);
    EXPECT_EQ(2u, under.bench.Points().size());         // no CAFC measurement
    ChipRun<CLN2040> over({-8100, -4500, -8250, 8250}); // 48
    EXPECT_EQ("CDAC 48 Exceed Range [32, 47]!", over.result.message);
    ChipRun<CLN2040> negative({38250, 34650}); // -3.5 rounds to -3
    EXPECT_EQ("CDAC 65533 Exceed Range [32, 47]!", negative.result.message);
}

TEST(Ln2040, FlatCdacCharacteristicNeverPasses) {
    ChipRun<CLN2040> r({100, 100});
    EXPECT_EQ("CDAC 0 Exceed Range [32, 47]!", r.result.message);
    ChipRun<CLN2040> wide({100, 100, -8250, 8250}, "[LN2040 AFC]\nCALI_CDAC_MIN=0\n");
    ASSERT_TRUE(wide.result.threw);
    EXPECT_EQ("CDAC 0 Exceed Range [0, 47]!", wide.result.message);
    EXPECT_EQ(T(137, 31), wide.result.triple);
    EXPECT_EQ(0, wide.bench.Items()[3].pass);
    EXPECT_TRUE(flashWrites(wide.bench).empty());
    ChipRun<CLN2040> chip0({}, "", 0);
    EXPECT_EQ(T(137, 31), chip0.result.triple);
    EXPECT_TRUE(chip0.bench.Entries("HT_").empty());
}

TEST(Ln2040, CafcSlopeWindowBounds) {
    ChipRun<CLN2040> three({-1260, 2340, -4500, 4500});
    ASSERT_FALSE(three.result.threw) << three.result.message;
    ChipRun<CLN2040> eight({-1260, 2340, -12000, 12000});
    ASSERT_FALSE(eight.result.threw) << eight.result.message;
    ChipRun<CLN2040> four({-1260, 2340, -6000, 6000});
    EXPECT_EQ(8192, four.bench.U16(OMRA_CAL_RESULT_SLOPE_LENGTH));
    ChipRun<CLN2040> over({-1260, 2340, -12030, 12030});
    EXPECT_EQ("CAFC Slope: 8.02 Exceed Range [3, 8]!", over.result.message);
    EXPECT_EQ(T(140, 34), over.result.triple);
    ChipRun<CLN2040> step0({-1260, 2340, 5, 9}, "[LN2040 AFC]\nDEFAULT_CAFC_STEP=0\n");
    EXPECT_EQ((Points{{39, 9000}, {43, 9000}, {40, 9000}, {40, 9000}}), step0.bench.Points());
    EXPECT_EQ(T(140, 34), step0.result.triple);
    ChipRun<CLN2040> flat({-1260, 2340, 50, 50}, "[LN2040 AFC]\nCALI_CAFC_SLOPE_MIN=-1\n");
    EXPECT_EQ(T(140, 34), flat.result.triple);
    EXPECT_TRUE(flashWrites(flat.bench).empty());
}

TEST(Ln2040, CafcWindowBounds) {
    // slope 4 (FE3 - FE2 = 12000): CAFC = 7500 - FE2 / 4.
    ChipRun<CLN2040> low({-1260, 2340, 8000, 20000}); // 5500
    EXPECT_FALSE(low.result.threw) << low.result.message;
    ChipRun<CLN2040> high({-1260, 2340, -20000, -8000}); // 12500
    EXPECT_FALSE(high.result.threw) << high.result.message;
    ChipRun<CLN2040> past({-1260, 2340, -20004, -8004}); // 12501
    EXPECT_EQ("CAFC Range: 12501 Exceed Range [5500, 12500]!", past.result.message);
    EXPECT_EQ(T(138, 32), past.result.triple);
    EXPECT_EQ(12501, past.bench.U16(OMRA_CAL_MEAS_CAFC));
}

// --- Runs that fail on one rule ---------------------------------------------------

struct FaultCase {
    const char* name;
    void (*check)(const FaultCase&);
    std::vector<double> fe;
    const char* config;
    const char* message;
    rig::Triple triple;
    Points points;
    size_t item;
    const char* itemText;
};

// The run throws the case's message and triple and flashes nothing.
template <class Action> void failsWith(const FaultCase& c) {
    ChipRun<Action> r(c.fe, c.config);
    ASSERT_TRUE(r.result.threw);
    EXPECT_EQ(c.message, r.result.message);
    EXPECT_EQ(c.triple, r.result.triple);
    EXPECT_TRUE(flashWrites(r.bench).empty());
    if (!c.points.empty()) {
        EXPECT_EQ(c.points, r.bench.Points());
    }
    if (c.itemText != nullptr) {
        EXPECT_EQ(c.itemText, resultItems(r.bench).at(c.item));
    }
}

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class ChipFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ChipFault, ThrowsItsMessageAndTripleAndFlashesNothing) {
    GetParam().check(GetParam());
}

// One failing run: the points and one result item are checked when given.
FaultCase fault(const char* name, void (*check)(const FaultCase&), std::vector<double> fe,
                const char* config, const char* message, rig::Triple triple, Points points = {},
                size_t item = 0, const char* itemText = nullptr) {
    return {name, check, std::move(fe), config, message, triple, std::move(points), item, itemText};
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ChipFault,
    ::testing::Values(
        // Slope -3.2 shows as a large unsigned slope.
        fault("Vt300FallingCharacteristic", &failsWith<CVantorAfc>, {100, 3300}, "",
              "Too big CAFC slope! 65534. [4, 16]", T(140, 34), {}, 0, "Slope|4|65534|16|-|2|1|0"),
        // A computed CDAC of -3 is taken as unsigned.
        fault("Vt318NegativeCdac", &failsWith<CVt318>, {34800, 30000, 34800, 30000, 34800, 30000},
              "", "CDAC 65533 Exceed Range [40, 70]!", T(137, 31), {}, 1,
              "CDAC|40|65533|70|CDAC|2|1|0"),
        fault("Vt318ThirdAttemptAbove63", &failsWith<CVt318>, {100, 100, 100, 100, -6600, -11400},
              "", "CDAC 66 Exceed Range [0, 63]!", T(137, 31)),
        fault("Vt318DeltaCafcZero", &failsWith<CVt318>, {2820, -1980, 5, 9},
              "[CRYSTAL_VT318]\nDelta   CAFC=0\n", "CAFC Slope is zero!", T(140, 34),
              {{55, 7000}, {47, 7000}, {50, 7000}, {50, 7000}}),
        // A zero CAFC slope fails even inside a window that starts at 0.
        fault("Vt318ZeroCafcSlopeInAWideWindow", &failsWith<CVt318>, {2820, -1980, 50, 50},
              "[CRYSTAL_VT318]\nSlope Range=7\n", "CAFC Slope: 0.00 Exceed Range [0, 14]!",
              T(140, 34))),
    [](const ::testing::TestParamInfo<FaultCase>& c) { return std::string(c.param.name); });

// --- Judged values of results from which nothing follows ----------------------

// The last judged item of the name: its value and verdict.
const testing_support::Item* lastJudged(const rig::Bench& bench, const std::string& name) {
    const testing_support::Item* found = nullptr;
    for (const auto& item : bench.Items())
        if (item.name == name && item.kind == OMRA_KIND_JUDGED)
            found = &item;
    return found;
}

// A run that fails on a result from which nothing follows: its judged item
// carries the given value (NaN where the computed one lies inside the window)
// and never passes, and nothing reaches the flash.
template <class Action>
void expectJudged(const char* what, std::vector<double> fe, const std::string& config,
                  int32_t chipType, const char* name, double value) {
    SCOPED_TRACE(what);
    ChipRun<Action> r(std::move(fe), config, chipType);
    EXPECT_TRUE(r.result.threw);
    const testing_support::Item* item = lastJudged(r.bench, name);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(0, item->pass);
    if (std::isnan(value))
        EXPECT_TRUE(std::isnan(item->value)) << item->value;
    else
        EXPECT_EQ(value, item->value);
    EXPECT_TRUE(flashWrites(r.bench).empty());
}

TEST(DegenerateResults, CarryTheComputedValueUnlessItWouldPass) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> flat318(6, 300.0);
    expectJudged<CVantorAfc>("VT300 chip type 0", {}, "", 0, "Slope", 0.0);
    expectJudged<CVantorAfc>("VT300 flat, window from 0", {100, 100},
                             "[CRYSTAL_VT300]\nMin CAFC Slope=0\nFreq. Error Limit=0\n", 1, "Slope",
                             nan);
    expectJudged<CVt318>("VT318 flat coarse stage", flat318, "", 1, "CDAC", 0.0);
    expectJudged<CVt318>("VT318 flat coarse stage, window from -5", flat318,
                         "[CRYSTAL_VT318]\nDefault CDAC=5\nCDAC    Range=10\n", 1, "CDAC", nan);
    expectJudged<CVt318>("VT318 equal fine errors", {2820, -1980, 50, 50}, "", 1, "CAFC Slope",
                         0.0);
    expectJudged<CVt318>("VT318 equal fine errors, window from 0", {2820, -1980, 50, 50},
                         "[CRYSTAL_VT318]\nSlope Range=7\n", 1, "CAFC Slope", nan);
    expectJudged<CLN2040>("LN2040 flat coarse stage", {500, 500}, "", 1, "CDAC", 0.0);
    expectJudged<CLN2040>("LN2040 flat coarse stage, window from 0", {500, 500},
                          "[LN2040 AFC]\nCALI_CDAC_MIN=0\n", 1, "CDAC", nan);
    expectJudged<CLN2040>("LN2040 equal fine errors", {6300, 2700, 700, 700}, "", 1, "CAFC Slope",
                          0.0);
    expectJudged<CLN2040>("LN2040 equal fine errors, window from 0", {6300, 2700, 700, 700},
                          "[LN2040 AFC]\nCALI_CAFC_SLOPE_MIN=0\n", 1, "CAFC Slope", nan);
}

// --- Simulated nominal units -------------------------------------------------------

template <class Action> void nominalUnitPasses(sim::Chip chip) {
    for (uint64_t seed = 1; seed <= 5; ++seed) {
        rig::Bench bench(sim::NominalCrystal(chip), seed);
        Action action;
        bench.Prepare(&action, "[AFC-COMMON]\n");
        rig::RunResult r = bench.Run(&action);
        ASSERT_FALSE(r.threw) << sim::ChipName(chip) << " seed " << seed << ": " << r.message;
        ASSERT_TRUE(bench.handset.flashed[0] && bench.handset.flashed[1] &&
                    bench.handset.flashed[2]);
        double residual = bench.handset.TrueFe(bench.handset.flash[1], bench.handset.flash[0]);
        EXPECT_LT(std::fabs(residual), 40.0) << sim::ChipName(chip) << " seed " << seed;
    }
}

struct NominalCase {
    sim::Chip chip;
    void (*passes)(sim::Chip);
};
class NominalUnit : public ::testing::TestWithParam<NominalCase> {};

TEST_P(NominalUnit, Passes) {
    GetParam().passes(GetParam().chip);
}

INSTANTIATE_TEST_SUITE_P(
    SimulatedUnits, NominalUnit,
    ::testing::Values(NominalCase{sim::Chip::VT300, &nominalUnitPasses<CVantorAfc>},
                      NominalCase{sim::Chip::VT318, &nominalUnitPasses<CVt318>},
                      NominalCase{sim::Chip::LN2040, &nominalUnitPasses<CLN2040>}),
    [](const ::testing::TestParamInfo<NominalCase>& c) {
        return std::string(sim::ChipName(c.param.chip));
    });

TEST(SimulatedUnits, SameSeedSameRun) {
    auto run = [](uint64_t seed) {
        rig::Bench bench(sim::NominalCrystal(sim::Chip::VT318), seed);
        CVt318 action;
        bench.Prepare(&action, "[AFC-COMMON]\n");
        bench.Run(&action);
        return bench.Lines();
    };
    EXPECT_EQ(run(42), run(42));
    EXPECT_NE(run(42), run(43));
}

} // namespace
