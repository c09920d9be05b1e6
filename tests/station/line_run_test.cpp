// The simulated line as it runs: its clock and shifts, the handsets'
// serials, golden units, retests and audits, tester faults in time, and the
// host prefix of every logged line.
#include "line/PrefixWriter.h"
#include "line/Serial.h"
#include "logs/Prefix.h"
#include "support/Time.h"

#include "StationRun.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace station {
namespace {

using stationtest::Ran;

const std::string& dir() {
    return stationtest::TestDir();
}

Ran station(const std::string& args) {
    return stationtest::station(args + " --no-progress");
}

std::vector<std::string> fileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

// One logged line: its prefix's fields and the library's line.
struct Logged {
    TimeMs time = kNoTime;
    std::string station, serial, text;
    int attempt = 0;
};

// A station's log; a line without the prefix fails the test.
std::vector<Logged> readLog(const std::string& path) {
    static const std::regex prefix(
        "^(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}) (\\S+) (\\d{15}) (\\d+) (.*)$");
    std::vector<Logged> log;
    for (const std::string& l : fileLines(path)) {
        std::smatch m;
        if (!std::regex_match(l, m, prefix)) {
            ADD_FAILURE() << path << ": no host prefix: " << l;
            continue;
        }
        Logged g;
        EXPECT_TRUE(ParseTime(m[1], &g.time)) << l;
        g.station = m[2];
        g.serial = m[3];
        g.attempt = std::stoi(m[4]);
        g.text = m[5];
        log.push_back(g);
    }
    return log;
}

// One test as the log shows it: where its lines run together.
struct LoggedTest {
    TimeMs start = kNoTime;
    std::string serial;
    int attempt = 0;
    double firstFeHz = NAN; // its first PFER line's frequency error
};

double pferHz(const std::string& text) {
    std::vector<std::string> cols;
    std::stringstream ss(text);
    for (std::string c; std::getline(ss, c, ',');)
        cols.push_back(c);
    return cols.size() > 13 ? std::stod(cols[13]) : NAN;
}

std::vector<LoggedTest> testsOf(const std::vector<Logged>& log) {
    std::vector<LoggedTest> tests;
    for (const Logged& l : log) {
        if (tests.empty() || l.serial != tests.back().serial || l.attempt != tests.back().attempt)
            tests.push_back({l.time, l.serial, l.attempt, NAN});
        if (std::isnan(tests.back().firstFeHz) && l.text.find("_PFER_0,") != std::string::npos)
            tests.back().firstFeHz = pferHz(l.text);
    }
    return tests;
}

// Five deviations of the difference of two noisy readings of one unit.
constexpr double kNoiseHz = 25;

std::string stationLog(const std::string& folder, int station) {
    char name[32];
    std::snprintf(name, sizeof name, "/station-%02d.log", station);
    return folder + name;
}

bool golden(const std::string& serial) {
    return serial.compare(0, 8, std::to_string(kGoldenTac)) == 0;
}

TimeMs at(const std::string& text) {
    TimeMs t = kNoTime;
    EXPECT_TRUE(ParseTime(text, &t)) << text;
    return t;
}

// --- serials -----------------------------------------------------------------

TEST(Serial, LuhnDigitOfKnownImeis) {
    for (const char* imei : {"356938035643809", "490154203237518", "352099001761481"})
        EXPECT_EQ(imei[14] - '0', LuhnDigit(std::string(imei, 14))) << imei;
    EXPECT_EQ("356938035643809", Imei(kProductionTac, 564380));
}

TEST(Serial, NextTacOnceTheSerialNumbersAreUsedUp) {
    EXPECT_EQ("35693803999999", Imei(kProductionTac, 999999).substr(0, 14));
    EXPECT_EQ("35693804000000", Imei(kProductionTac, 1000000).substr(0, 14));
    for (long n : {0L, 17L, 999999L, 1000000L, 54321987L}) {
        const std::string imei = Imei(kProductionTac, n);
        ASSERT_EQ(15u, imei.size());
        EXPECT_EQ(imei[14] - '0', LuhnDigit(imei.substr(0, 14))) << imei;
    }
}

TEST(Prefix, TheFastWriterWritesTheHostPrefix) {
    PrefixWriter fast;
    // Across midnight and the year's end, before 1970, and attempts of two digits.
    for (const char* from : {"2026-12-07T23:59:59.990", "2026-12-31T23:59:59.999",
                             "1969-12-31T23:59:59.998", "2026-12-07T06:00"}) {
        for (TimeMs step = 0; step < 3; ++step) {
            const TimeMs t = at(from) + step;
            for (int attempt : {1, 2, 12}) {
                std::string expected, written;
                AppendHostPrefix(&expected, t, "station-07", "356938035643809", attempt);
                fast.Append(&written, t, "station-07", "356938035643809", attempt);
                EXPECT_EQ(expected, written);
            }
        }
    }
}

// --- golden units, the prefix, and the tester's faults over time --------------

// Two stations, the second's tester 50 Hz off, three golden units at each
// shift's start over a day of tests.
class GoldenLine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        run = station("line --units 600 --stations 2 --golden 3 --takt 240 --seed 7 "
                      "--tester-bias 50@2 --retest 1 --json --log '" +
                      folder() + "'");
    }
    static std::string folder() { return dir() + "/golden"; }
    static Ran run;
};
Ran GoldenLine::run;

TEST_F(GoldenLine, ReferenceReadingsInTheirFileAndOnEachTester) {
    ASSERT_EQ(0, run.status) << run.out;
    const std::vector<std::string> rows = fileLines(folder() + "/golden.csv");
    ASSERT_EQ(4u, rows.size());
    EXPECT_EQ("serial,reference_hz", rows[0]);
    std::map<std::string, double> reference;
    for (size_t i = 1; i < rows.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(rows[i], m, std::regex("^(\\d{15}),(-?\\d+\\.\\d{3})$")))
            << rows[i];
        EXPECT_EQ(Imei(kGoldenTac, static_cast<long>(i)), m[1].str());
        reference[m[1]] = std::stod(m[2]);
    }
    for (int s = 1; s <= 2; ++s) {
        long seen = 0;
        for (const LoggedTest& t : testsOf(readLog(stationLog(folder(), s)))) {
            if (!golden(t.serial))
                continue;
            ++seen;
            ASSERT_EQ(1u, reference.count(t.serial)) << t.serial;
            EXPECT_EQ(1, t.attempt);
            const double testerHz = s == 2 ? 50 : 0;
            // Both readings carry the measurement's noise (some 3.5 Hz each).
            EXPECT_NEAR(reference[t.serial], t.firstFeHz - testerHz, kNoiseHz)
                << t.serial << " on station " << s << " at " << FormatTime(t.start);
        }
        EXPECT_GE(seen, 3 * 2) << "golden runs at two shifts' starts at least";
    }
}

TEST_F(GoldenLine, EveryLineCarriesTheHostPrefixInTimeOrder) {
    ASSERT_EQ(0, run.status) << run.out;
    std::map<std::string, int> units; // serial: production tests at attempt 1
    for (int s = 1; s <= 2; ++s) {
        const std::vector<Logged> log = readLog(stationLog(folder(), s));
        ASSERT_FALSE(log.empty());
        // The first line comes a moment into the first test.
        EXPECT_GE(log.front().time, at("2026-12-07T06:00"));
        EXPECT_LT(log.front().time, at("2026-12-07T06:00:01"));
        for (size_t i = 0; i < log.size(); ++i) {
            EXPECT_EQ("station-0" + std::to_string(s), log[i].station);
            EXPECT_EQ(log[i].serial[14] - '0', LuhnDigit(log[i].serial.substr(0, 14)));
            if (i > 0) {
                ASSERT_LE(log[i - 1].time, log[i].time) << "line " << i + 1;
            }
        }
        for (const LoggedTest& t : testsOf(log))
            if (!golden(t.serial) && t.attempt == 1)
                ++units[t.serial];
    }
    EXPECT_EQ(600u, units.size()) << "one serial a unit";
    for (const auto& u : units)
        EXPECT_EQ(1, u.second) << u.first << " tested first more than once";
}

TEST_F(GoldenLine, ShiftStartsGetGoldenRunsFirst) {
    ASSERT_EQ(0, run.status) << run.out;
    // 600 tests and more of 4 minutes on two stations: 06:00 to past 02:00 the next day.
    for (int s = 1; s <= 2; ++s) {
        const std::vector<LoggedTest> tests = testsOf(readLog(stationLog(folder(), s)));
        std::map<long long, std::vector<const LoggedTest*>> byShift;
        for (const LoggedTest& t : tests)
            byShift[ShiftOf(t.start)].push_back(&t);
        ASSERT_EQ(3u, byShift.size()) << "station " << s;
        for (const auto& shift : byShift) {
            const std::vector<const LoggedTest*>& in = shift.second;
            ASSERT_GE(in.size(), 3u);
            for (size_t i = 0; i < 3; ++i)
                EXPECT_EQ(Imei(kGoldenTac, static_cast<long>(i + 1)), in[i]->serial)
                    << "station " << s << ", " << ShiftName(shift.first) << " shift, test " << i;
            // Each shift's first tests start once the shift has begun, within a
            // test or two of it (the one under way then).
            EXPECT_LT(in[0]->start - ShiftStart(shift.first), 2 * 240000);
            long goldenRuns = 0;
            for (const LoggedTest* t : in)
                goldenRuns += golden(t->serial);
            EXPECT_EQ(3, goldenRuns) << "no golden run within the shift";
        }
    }
    EXPECT_NE(std::string::npos, run.out.find("\"type\":\"line\"")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("\"shifts\":3,")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("\"golden_runs\":18,")) << run.out;
}

// A tester fault over time as golden units before every 10 production tests
// read it: what the tester adds at a time since the start.
struct TimedFault {
    const char* name;
    const char* args;
    std::function<double(double hoursSinceStart)> testerHz;
};

class TimedFaults : public ::testing::TestWithParam<TimedFault> {};

TEST_P(TimedFaults, GoldenReadingsFollowTheTester) {
    const std::string log = dir() + "/" + GetParam().name + ".log";
    Ran r = station(std::string("line --units 300 --seed 5 --golden 1 --golden-every 10 "
                                "--start 2026-12-07T22:00 ") +
                    GetParam().args + " --log '" + log + "'");
    ASSERT_EQ(0, r.status) << r.out;
    const std::vector<std::string> rows = fileLines(dir() + "/golden.csv");
    ASSERT_EQ(2u, rows.size());
    const double reference = std::stod(rows[1].substr(rows[1].find(',') + 1));
    long seen = 0;
    for (const LoggedTest& t : testsOf(readLog(log))) {
        if (!golden(t.serial))
            continue;
        ++seen;
        const double hours = static_cast<double>(t.start - at("2026-12-07T22:00")) / 3600000;
        EXPECT_NEAR(reference + GetParam().testerHz(hours), t.firstFeHz, kNoiseHz)
            << FormatTime(t.start);
    }
    EXPECT_EQ(30, seen);
}

INSTANTIATE_TEST_SUITE_P(
    Line, TimedFaults,
    ::testing::Values(
        // 330 tests of a minute: the step at 23:00 falls in the run's first third.
        TimedFault{"step", "--takt 60 --tester-step 80@2026-12-07T23:00",
                   [](double h) { return h >= 1 ? 80.0 : 0.0; }},
        // 330 tests of 10 minutes: 2.3 days of a tester drifting 120 Hz a day.
        TimedFault{"drift", "--takt 600 --tester-drift 120", [](double h) { return 120 * h / 24; }},
        TimedFault{"drift-elsewhere", "--takt 600 --stations 1 --tester-drift 120@1",
                   [](double h) { return 120 * h / 24; }}),
    [](const ::testing::TestParamInfo<TimedFault>& p) {
        std::string n = p.param.name;
        for (char& c : n)
            if (c == '-')
                c = '_';
        return n;
    });

// --- retests and audits --------------------------------------------------------

struct Where {
    const char* retestOn;
    int elsewhere; // a retest's station differs from the failed test's (1), never (0), may (-1)
};

void PrintTo(const Where& w, std::ostream* os) {
    *os << w.retestOn;
}
class Retest : public ::testing::TestWithParam<Where> {};

TEST_P(Retest, OnTheChosenStationWithTheNextAttempt) {
    const std::string folder = dir() + "/retest-" + GetParam().retestOn;
    Ran r = station(std::string("line --units 300 --stations 3 --seed 11 --spread-slope 1.5 "
                                "--retest 2 --retest-on ") +
                    GetParam().retestOn + " --log '" + folder + "'");
    ASSERT_EQ(0, r.status) << r.out;
    // Every test of a serial: station, attempt and start.
    struct Seen {
        int station;
        int attempt;
        TimeMs start;
    };
    std::map<std::string, std::vector<Seen>> tests;
    for (int s = 1; s <= 3; ++s)
        for (const LoggedTest& t : testsOf(readLog(stationLog(folder, s))))
            tests[t.serial].push_back({s, t.attempt, t.start});
    long retested = 0;
    std::map<int, long> retestsOn;
    for (auto& kv : tests) {
        std::vector<Seen>& seen = kv.second;
        std::sort(seen.begin(), seen.end(),
                  [](const Seen& a, const Seen& b) { return a.attempt < b.attempt; });
        for (size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(static_cast<int>(i + 1), seen[i].attempt) << kv.first;
            if (i == 0)
                continue;
            ++retested;
            ++retestsOn[seen[i].station];
            if (GetParam().elsewhere >= 0) {
                EXPECT_EQ(GetParam().elsewhere == 1, seen[i].station != seen[i - 1].station)
                    << kv.first;
            }
            EXPECT_GE(seen[i].start, seen[i - 1].start + 30000) << "after the failed test";
        }
    }
    EXPECT_GT(retested, 5);
    // Spread over the line as the failures are: no station takes them all.
    for (const auto& kv : retestsOn)
        EXPECT_LE(kv.second, retested * 6 / 10) << "station " << kv.first;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex("Retested   (\\d+) tests .*, (\\d+) on")))
        << r.out;
    EXPECT_EQ(retested, std::stol(m[1]));
    if (GetParam().elsewhere >= 0) {
        EXPECT_EQ(GetParam().elsewhere == 1 ? retested : 0, std::stol(m[2]));
    }
}

INSTANTIATE_TEST_SUITE_P(Line, Retest,
                         ::testing::Values(Where{"same", 0}, Where{"other", 1}, Where{"any", -1}),
                         [](const ::testing::TestParamInfo<Where>& p) {
                             return std::string(p.param.retestOn);
                         });

// Golden units and audits draw from streams of their own.
TEST(LineRun, GoldenUnitsAndAuditsLeaveTheProductionUnitsAsTheyWere) {
    auto units = [](const std::string& out) {
        std::string kept;
        std::istringstream in(out);
        for (std::string l; std::getline(in, l);)
            if (l.rfind("{\"type\":\"unit\"", 0) == 0)
                kept += l.substr(0, l.find(",\"time_s\"")) + "\n";
        return kept;
    };
    const std::string plain =
        units(station("line --units 200 --stations 3 --seed 21 --spread-slope 1.5 --json").out);
    Ran more = station("line --units 200 --stations 3 --seed 21 --spread-slope 1.5 --json "
                       "--golden 2 --golden-every 7 --audit 0.4");
    ASSERT_EQ(0, more.status) << more.out;
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(plain, units(more.out));
    std::smatch m;
    ASSERT_TRUE(
        std::regex_search(more.out, m, std::regex("\"audits\":(\\d+),\"audits_passed\":(\\d+)")))
        << more.out;
    EXPECT_GT(std::stol(m[1]), 40) << "about 0.4 of the passed units";
    EXPECT_LT(std::stol(m[1]), 100);
}

TEST(LineRun, AuditOnAnotherStationAsTheSecondAttempt) {
    const std::string folder = dir() + "/audit";
    ASSERT_EQ(0,
              station("line --units 100 --stations 2 --seed 3 --audit 0.5 --log '" + folder + "'")
                  .status);
    std::map<std::string, std::map<int, int>> stationOf; // serial: attempt: station
    for (int s = 1; s <= 2; ++s)
        for (const LoggedTest& t : testsOf(readLog(stationLog(folder, s))))
            stationOf[t.serial][t.attempt] = s;
    long audited = 0;
    for (const auto& kv : stationOf) {
        ASSERT_EQ(1u, kv.second.count(1)) << kv.first;
        if (kv.second.count(2) == 0)
            continue;
        ++audited;
        EXPECT_NE(kv.second.at(1), kv.second.at(2)) << kv.first;
    }
    EXPECT_GT(audited, 25);
    EXPECT_LT(audited, 75);
}

// --- bad command lines ----------------------------------------------------------

struct Bad {
    const char* args;
    const char* says;
};

class BadLine : public ::testing::TestWithParam<Bad> {};

TEST_P(BadLine, RefusedNamingTheOption) {
    Ran r = station(std::string("line --units 10 ") + GetParam().args);
    EXPECT_EQ(2, r.status) << r.out;
    EXPECT_NE(std::string::npos, r.out.find(GetParam().says)) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Line, BadLine,
    ::testing::Values(
        Bad{"--takt 0", "--takt must be a number of seconds"},
        Bad{"--takt -3", "--takt must be a number of seconds"}, Bad{"--takt soon", "--takt"},
        Bad{"--start 2026-13-07T06:00", "--start takes a time YYYY-MM-DDTHH:MM"},
        Bad{"--start tomorrow", "--start takes a time"}, Bad{"--golden 101", "--golden"},
        Bad{"--golden 2 --golden-every hourly", "--golden-every takes 'shift' or a number"},
        Bad{"--golden 2 --golden-every 0", "--golden-every"},
        Bad{"--retest 1 --retest-on next", "--retest-on takes same, other or any"},
        Bad{"--retest 1 --retest-on other", "--retest-on other needs another station"},
        Bad{"--stations 2 --audit 1.5", "--audit must be a share from 0 to 1"},
        Bad{"--stations 2 --audit -0.1", "--audit must be a share from 0 to 1"},
        Bad{"--audit 0.1", "--audit measures a unit again on another station"},
        Bad{"--tester-step 50@noon", "--tester-step WHEN takes a test number"},
        Bad{"--tester-step 50@2026-12-07T25:00", "--tester-step WHEN"},
        Bad{"--tester-step 50", "--tester-step takes HZ@WHEN[@STATION]"},
        Bad{"--stations 2 --tester-drift 5@3", "names station 3 of a line of 2"},
        Bad{"--stations 2 --tester-step 5@2026-12-07T08:00@4", "names station 4"},
        Bad{"--tester-drift fast", "--tester-drift HZ"},
        Bad{"--units 3 --takt 86400 --start 9999-12-31T00:00", "past the year 9999"}));

} // namespace
} // namespace station
