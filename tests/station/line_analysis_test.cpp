// A line as it runs, analysed from its hosts' logs: golden units, retests on
// other stations, tester steps and aging in time, clean lines, a foreign
// host's prefix and a product changeover.
#include "StationRun.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using stationtest::kind;
using stationtest::Ran;
using stationtest::station;
using stationtest::TestDir;

// A line's logs and their analysis as JSON; the logs are removed afterwards.
struct Analysed {
    std::vector<std::map<std::string, std::string>> stations, drift;
    std::string json;
};

// `analyse` names the logs' folder as {logs}; `edit`, when given, is a shell
// command run in that folder before the analysis (a host writing otherwise).
Analysed lineAndAnalyse(const std::string& name, const std::string& line, std::string analyse,
                        const std::string& edit = "") {
    const std::string logs = TestDir() + "/" + name;
    Ran r = station("line " + line + " --no-progress --log '" + logs + "'");
    EXPECT_EQ(0, r.status) << r.out;
    if (!edit.empty()) {
        EXPECT_EQ(0, std::system(("cd '" + logs + "' && " + edit).c_str())) << edit;
    }
    for (size_t at; (at = analyse.find("{logs}")) != std::string::npos;)
        analyse.replace(at, 6, logs);
    Ran a = station("analyse '" + logs + "' --json " + analyse);
    EXPECT_EQ(0, a.status) << a.out;
    std::system(("rm -rf '" + logs + "'").c_str());
    return {kind(a.out, "station"), kind(a.out, "drift"), a.out};
}

double number(const std::string& raw) {
    return std::stod(raw);
}

// Only the station `flagged` (1-based; 0 none) is named.
void expectNamedAlone(const Analysed& a, int flagged) {
    for (size_t i = 0; i < a.stations.size(); ++i)
        EXPECT_EQ(static_cast<int>(i) + 1 == flagged ? "true" : "false",
                  a.stations[i].at("flagged"))
            << "station " << i + 1 << " bias " << a.stations[i].at("bias_hz") << " +- "
            << a.stations[i].at("bias_se_hz");
}

} // namespace

namespace {

const char* const kGolden = " --golden '{logs}/golden.csv'";

// Golden units on four stations whose second tester reads 30 Hz high:
// named from the first shift alone, and placed within 8 Hz over two days.
TEST(LineInTime, GoldenUnitsNameABiasedTesterInItsFirstShift) {
    for (const char* units : {"3800", "23000"}) {
        const Analysed r =
            lineAndAnalyse(std::string("golden-") + units,
                           std::string("--units ") + units +
                               " --stations 4 --golden 2 --tester-bias 30@2 --seed 7",
                           std::string("--bias-limit 0.02") + kGolden);
        ASSERT_EQ(4u, r.stations.size()) << r.json;
        expectNamedAlone(r, 2);
        EXPECT_NEAR(30, number(r.stations[1].at("bias_hz")), 8) << units << " units";
        EXPECT_EQ("\"golden\"", r.stations[1].at("bias_method")) << units;
        EXPECT_TRUE(r.drift.empty()) << r.json;
    }
}

// No golden units: failed units retested on another station tell a -25 Hz
// tester apart within 6 Hz.
TEST(LineInTime, PairsAloneNameABiasedTester) {
    const Analysed r = lineAndAnalyse(
        "pairs", "--units 40000 --stations 4 --retest 2 --retest-on other --tester-bias -25@3",
        "--bias-limit 0.02");
    ASSERT_EQ(4u, r.stations.size()) << r.json;
    expectNamedAlone(r, 3);
    EXPECT_NEAR(-25, number(r.stations[2].at("bias_hz")), 6);
    EXPECT_NE(std::string::npos, r.stations[2].at("bias_method").find("pairs"));
}

// A step of +20 Hz on station 1 on day 2: alarmed on station 1 alone, from a
// time within one shift of the step. At 10:00 the step falls in the fourth
// shift, while the detector still learns the station's level.
struct StepCase {
    const char *step, *earliest, *latest; // 8 hours either side
};
void PrintTo(const StepCase& c, std::ostream* os) {
    *os << c.step;
}
class LineStep : public ::testing::TestWithParam<StepCase> {};

TEST_P(LineStep, AlarmedFromWithinAShiftOfIt) {
    const StepCase c = GetParam();
    const Analysed r = lineAndAnalyse("step",
                                      std::string("--units 45000 --stations 4 --golden 2 --retest "
                                                  "2 --seed 5 --tester-step 20@") +
                                          c.step + "@1",
                                      kGolden);
    const auto& drift = r.drift;
    ASSERT_EQ(1u, drift.size()) << r.json;
    EXPECT_EQ("\"station-01\"", drift[0].at("station"));
    const std::string time = drift[0].at("time");
    EXPECT_GE(time, std::string("\"") + c.earliest) << time;
    EXPECT_LE(time, std::string("\"") + c.latest) << time;
    EXPECT_NEAR(20, number(drift[0].at("shift_hz")), 6);
}

INSTANTIATE_TEST_SUITE_P(
    Day2, LineStep,
    ::testing::Values(StepCase{"2026-12-08T10:00", "2026-12-08T02:00", "2026-12-08T18:00"},
                      StepCase{"2026-12-08T18:00", "2026-12-08T10:00", "2026-12-09T02:00"}));

// A host whose serials are not IMEIs: the alarm names the serial as written.
TEST(LineInTime, AnAlarmNamesASerialThatIsNoImei) {
    // "... station-01 353000000000011 1 " becomes "... station-01 A353000000000011 1 ".
    const Analysed r = lineAndAnalyse(
        "serials", "--units 20000 --stations 2 --golden 2 --tester-step 20@2026-12-08T10:00@1",
        std::string("--prefix '{time} {station} {serial} {attempt} '") + kGolden,
        "sed -E -i 's/^([^ ]+ [^ ]+ )([0-9]+)/\\1A\\2/' station-*.log && "
        "sed -E -i 's/^([0-9])/A\\1/' golden.csv");
    const auto& drift = r.drift;
    ASSERT_EQ(1u, drift.size()) << r.json;
    EXPECT_EQ("\"station-01\"", drift[0].at("station"));
    EXPECT_EQ(0u, drift[0].at("serial").find("\"A3530000")) << drift[0].at("serial");
}

// A tester aging 10 Hz a day over a week: its rate within 2 Hz a day, and the
// day its projected bias reaches the 0.1 ppm limit (90 Hz: about day 9).
TEST(LineInTime, AgingRateAndTheDateItCrossesTheLimit) {
    const Analysed r = lineAndAnalyse("aging",
                                      "--units 80000 --stations 4 --golden 2 "
                                      "--tester-drift 10@4",
                                      std::string("--bias-limit 0.1") + kGolden);
    const auto& stations = r.stations;
    ASSERT_EQ(4u, stations.size()) << r.json;
    EXPECT_NEAR(10, number(stations[3].at("drift_hz_per_day")), 2);
    const std::string date = stations[3].at("limit_date");
    EXPECT_GE(date, "\"2026-12-15") << date;
    EXPECT_LE(date, "\"2026-12-17") << date;
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ("null", stations[i].at("limit_date")) << i;
}

// Clean lines: nothing named and no alarm, with golden units and retests,
// and from single units alone over several seeds (the third alarmed once
// when the detector's target came from a station's first 1000 units).
TEST(LineInTime, CleanLinesRaiseNoAlarm) {
    const Analysed golden =
        lineAndAnalyse("clean-golden", "--units 400000 --stations 4 --golden 2 --retest 2", "");
    expectNamedAlone(golden, 0);
    EXPECT_TRUE(golden.drift.empty()) << golden.json;
    for (const char* seed : {"3", "4"}) {
        const Analysed singles = lineAndAnalyse(
            "clean-singles", std::string("--units 200000 --stations 4 --seed ") + seed, "");
        expectNamedAlone(singles, 0);
        EXPECT_TRUE(singles.drift.empty()) << "seed " << seed << "\n" << singles.json;
    }
}

// A station that changes over from VT318 to LN2040 phones: no drift, and its
// bias compared chip by chip.
TEST(LineInTime, AProductChangeoverIsNoDrift) {
    const std::string logs = TestDir() + "/changeover";
    ASSERT_EQ(0, std::system(("mkdir -p '" + logs + "'").c_str()));
    ASSERT_EQ(
        0,
        station("line --units 4000 --chip vt318 --no-progress --log '" + logs + "/a.log'").status);
    ASSERT_EQ(0, station("line --units 4000 --chip ln2040 --start 2026-12-09T06:00 --seed 2 "
                         "--no-progress --log '" +
                         logs + "/b.log'")
                     .status);
    ASSERT_EQ(0, std::system(("cat '" + logs + "/a.log' '" + logs + "/b.log' > '" + logs +
                              "/station-01.log' && rm '" + logs + "/a.log' '" + logs + "/b.log'")
                                 .c_str()));
    Ran a = station("analyse '" + logs + "' --json");
    ASSERT_EQ(0, a.status) << a.out;
    EXPECT_TRUE(kind(a.out, "drift").empty()) << a.out;
    std::system(("rm -rf '" + logs + "'").c_str());
}

// A foreign host's prefix read through a template gives what the station's
// own prefix gives; without the template its lines are read as unprefixed.
TEST(LineInTime, AForeignPrefixReadThroughATemplate) {
    const std::string logs = TestDir() + "/foreign";
    ASSERT_EQ(0, station("line --units 3000 --stations 2 --retest 2 --retest-on other "
                         "--tester-bias 40@2 --no-progress --log '" +
                         logs + "'")
                     .status);
    const Ran own = station("analyse '" + logs + "' --json");
    ASSERT_EQ(0, own.status) << own.out;
    // "2026-12-07T06:00:00.069 station-02 353... 1 " becomes
    // "[07/12/2026 06:00:00.069] ST=station-02 SN:353... try 1 | ".
    ASSERT_EQ(0,
              std::system(("cd '" + logs +
                           "' && for f in station-*.log; do sed -E "
                           "'s#^([0-9]{4})-([0-9]{2})-([0-9]{2})T([^ ]*) ([^ ]*) ([^ ]*) ([^ ]*) "
                           "#[\\3/\\2/\\1 \\4] ST=\\5 SN:\\6 try \\7 | #' \"$f\" > \"$f.x\" && "
                           "mv \"$f.x\" \"$f\"; done")
                              .c_str()));
    const Ran foreign = station("analyse '" + logs +
                                "' --json --prefix '[{time:%d/%m/%Y %H:%M:%S.%f}] ST={station} "
                                "SN:{serial} try {attempt} | '");
    ASSERT_EQ(0, foreign.status) << foreign.out;
    const auto a = kind(own.out, "station"), b = kind(foreign.out, "station");
    ASSERT_EQ(2u, b.size()) << foreign.out;
    for (size_t i = 0; i < 2; ++i)
        for (const char* field : {"name", "units", "bias_hz", "bias_se_hz", "bias_method"})
            EXPECT_EQ(a[i].at(field), b[i].at(field)) << field;
    const Ran plain = station("analyse '" + logs + "' --json");
    EXPECT_EQ(0, plain.status) << plain.out;
    EXPECT_NE(std::string::npos, kind(plain.out, "station")[1].at("bias_method").find("singles"));
    std::system(("rm -rf '" + logs + "'").c_str());
}

} // namespace
