// Replaying a host's log: populations written as the station writes them,
// read back, fitted and calibrated again by the library.
#include "analysis/Judge.h"
#include "config/ConfigCheck.h"
#include "logs/HostLog.h"
#include "support/Parse.h"
#include "replay/Replay.h"
#include "reports/Report.h"
#include "session/Session.h"
#include "support/StationChips.h"
#include "replay/Sweep.h"
#include "support/TempFile.h"
#include "platform/ini.h"
#include "StationRun.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace station;

struct Written {
    std::string log;
    long passed = 0;
    std::set<std::pair<unsigned, unsigned>> failures; // operation, code
    std::vector<bool> faultFailed;                    // failed through an injected station fault
};

// A population as the station's --log writes it: crystals spread wide enough
// to miss every window, and every tenth unit with a station fault of each kind.
Written writePopulation(sim::Chip chip, double noiseHz, int units, const std::string& config,
                        sim::CrystalParams nominal, sim::CrystalSpread spread, bool faults) {
    Written w;
    Session s;
    EXPECT_TRUE(s.Open(VANTOR_LIBRARY)) << s.Error();
    EXPECT_TRUE(s.Create(ActionId(chip), chip)) << s.Error();
    TempFile file("the test configuration");
    std::string error;
    EXPECT_TRUE(file.Write(config, &error)) << error;
    EXPECT_TRUE(s.Init(1, 1, file.Path(), OMRA_DRIVER_KIND_OBJECT)) << s.Error();
    StationClock clock;
    UseClock(&clock);
    nominal.noiseHz = noiseHz;
    sim::Random draw(17 + static_cast<uint64_t>(chip));
    for (int i = 0; i < units; ++i) {
        Faults f;
        if (faults && i % 10 == 3)
            f.flashCommand = 1;
        if (faults && i % 10 == 6)
            f.rfMeasurement = 2 + (i / 10) % 3;
        if (faults && i % 10 == 8)
            f.afcCommand = 3;
        UnitResult r = s.Run(sim::DrawCrystal(nominal, spread, draw), draw.Next(), f, &clock, true);
        AppendHostLog(&w.log, r);
        w.passed += r.passed ? 1 : 0;
        if (!r.passed && r.hasTriple)
            w.failures.insert({r.triple.operation, r.triple.code});
        bool station = r.hasTriple && (r.triple.operation == 103 || r.triple.operation == 131);
        w.faultFailed.push_back(!r.passed && station);
    }
    UseClock(nullptr);
    return w;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

ReplaySetup setup() {
    ReplaySetup s;
    s.libraryPath = VANTOR_LIBRARY;
    return s;
}

struct Replayed {
    HostLog log;
    std::vector<CrystalFit> fits;
    std::vector<std::string> faults;
    std::vector<ReplayOutcome> outcomes;
};

// configs[0] is the configuration the log was made with.
Replayed replay(const std::string& text, const std::vector<std::string>& configs) {
    Replayed r;
    r.log = ReadHostLog(text);
    r.fits = FitUnits(r.log);
    std::string error;
    EXPECT_TRUE(FindStationFaults(setup(), r.log, r.fits, configs[0], &r.faults, &error)) << error;
    EXPECT_TRUE(ReplayLog(setup(), r.log, r.fits, r.faults, configs, &r.outcomes, &error)) << error;
    return r;
}

class ReplayPopulation : public ::testing::TestWithParam<std::tuple<sim::Chip, double>> {};

TEST_P(ReplayPopulation, ReproducesVerdictsAndFlashValues) {
    const sim::Chip chip = std::get<0>(GetParam());
    const double noise = std::get<1>(GetParam());
    const int units = 400;
    sim::CrystalSpread spread{chip == sim::Chip::VT300 ? 9000.0 : 4500.0, 150, 2.5};
    // A CAFC window narrow enough that units miss it (their CDAC leaves up
    // to one CDAC step of error for the CAFC to take up).
    std::string config = DefaultConfigText();
    if (chip == sim::Chip::VT318)
        config = ini::WriteKey(config, "CRYSTAL_VT318", "CAFC    Range", "60");
    if (chip == sim::Chip::LN2040) {
        config = ini::WriteKey(config, "LN2040 AFC", "CALI_CAFC_MIN", "8940");
        config = ini::WriteKey(config, "LN2040 AFC", "CALI_CAFC_MAX", "9060");
    }
    Written w =
        writePopulation(chip, noise, units, config, sim::NominalCrystal(chip), spread, true);
    // Every way the chip fails, and every station fault, is in the log.
    std::set<std::pair<unsigned, unsigned>> kinds = {{103, 4}, {131, 4}, {131, 5}, {140, 34}};
    if (chip == sim::Chip::VT300) {
        kinds.insert({140, 28});
    } else {
        kinds.insert({137, 31});
        kinds.insert({138, 32});
    }
    for (const auto& k : kinds)
        EXPECT_EQ(1u, w.failures.count(k)) << "no failure (" << k.first << ", " << k.second << ")";

    Replayed r = replay(w.log, {config});
    ASSERT_EQ(static_cast<size_t>(units), r.log.units.size());
    EXPECT_EQ(0, r.log.unread);
    ASSERT_EQ(1u, r.outcomes.size());
    const ReplayOutcome& o = r.outcomes[0];
    EXPECT_EQ(w.passed, o.logPassed);
    // Station faults are found as such, or have too few points to say; no
    // unit that failed through its crystal is taken for one.
    for (size_t i = 0; i < r.log.units.size(); ++i) {
        if (!r.faults[i].empty()) {
            EXPECT_TRUE(w.faultFailed[i]) << "unit " << i + 1 << ": " << r.faults[i];
        } else if (w.faultFailed[i]) {
            EXPECT_EQ(CrystalFit::TooFewPoints, r.fits[i].status) << "unit " << i + 1;
        }
    }
    EXPECT_GT(o.units - o.apart, units / 2);
    if (noise == 0) {
        EXPECT_EQ(0, o.changed) << (o.changedUnits.empty() ? "" : o.changedUnits[0].reason);
        EXPECT_EQ(o.logPassed, o.replayPassed);
        EXPECT_EQ(o.cafc.units, o.cafc.unchanged);
        EXPECT_EQ(o.cdac.units, o.cdac.unchanged);
        EXPECT_EQ(o.logPoints, o.replayPoints);
    } else {
        EXPECT_LE(o.changed, units / 50);
        EXPECT_GE(o.cafc.min, -2);
        EXPECT_LE(o.cafc.max, 2);
        EXPECT_GE(o.cdac.min, -1);
        EXPECT_LE(o.cdac.max, 1);
    }
    EXPECT_GT(o.cafc.units, 0);
}

INSTANTIATE_TEST_SUITE_P(Chips, ReplayPopulation,
                         ::testing::Combine(::testing::ValuesIn(AllChips()),
                                            ::testing::Values(0.0, 3.0)),
                         [](const ::testing::TestParamInfo<std::tuple<sim::Chip, double>>& p) {
                             return std::string(sim::ChipName(std::get<0>(p.param))) +
                                    (std::get<1>(p.param) == 0 ? "_noiseless" : "_noisy");
                         });

TEST(StationChips, AreTheRegistryRowsInTheSimulatorsOrder) {
    ASSERT_EQ(vantor::Chips().size(), AllChips().size());
    for (const sim::Chip& chip : AllChips()) {
        std::string label = Row(chip).label;
        for (char& c : label)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(label, sim::ChipName(chip));
        EXPECT_EQ(&chip, FindChip(label)) << label;
    }
}

TEST(HostLogReader, PrefixedAndMixedChipsAreToldApart) {
    // A line making every product into one log, unit after unit in turn,
    // each line behind the host's time stamp and station id.
    const std::vector<sim::Chip>& chips = AllChips();
    const size_t n = chips.size();
    std::vector<std::vector<std::vector<std::string>>> units(n);
    long passed = 0;
    for (size_t c = 0; c < n; ++c) {
        Written w = writePopulation(chips[c], 3.0, 12, DefaultConfigText(),
                                    sim::NominalCrystal(chips[c]), {3000, 40, 1.0}, false);
        for (const std::string& l : lines(w.log)) {
            if (l.find("_PFER_0,") != std::string::npos)
                units[c].emplace_back();
            units[c].back().push_back(l);
        }
        passed += w.passed;
    }
    std::string mixed;
    for (size_t i = 0; i < 12; ++i)
        for (size_t c = 0; c < n; ++c)
            for (const std::string& l : units[(c + i) % n][i])
                mixed += "2026-12-09 08:" + std::to_string(10 + i) + ":0" + std::to_string(c) +
                         ".125 [station " + std::to_string((c + i) % n + 1) + "] " + l + "\r\n";
    Replayed r = replay(mixed, {DefaultConfigText()});
    EXPECT_EQ(0, r.log.unread) << (r.log.unreadExamples.empty() ? ""
                                                                : r.log.unreadExamples[0].text);
    ASSERT_EQ(12 * n, r.log.units.size());
    std::vector<long> perChip(n, 0);
    for (const LoggedUnit& u : r.log.units)
        ++perChip[ChipIndex(u.chip)];
    for (size_t c = 0; c < n; ++c)
        EXPECT_EQ(12, perChip[c]) << Row(chips[c]).label;
    ASSERT_EQ(1u, r.outcomes.size());
    EXPECT_EQ(passed, r.outcomes[0].logPassed);
    EXPECT_EQ(0, r.outcomes[0].changed);
    EXPECT_EQ(0, r.outcomes[0].apart);
}

TEST(HostLogReader, BrokenLinesAreCountedAndShownNotFatal) {
    Written w = writePopulation(sim::Chip::VT318, 0, 6, DefaultConfigText(),
                                sim::NominalCrystal(sim::Chip::VT318), {3000, 40, 1.0}, false);
    std::vector<std::string> in = lines(w.log);
    const std::vector<std::string> broken = {
        "station 4 restarted",
        "VT318_AFC_PFER_0,EGSM900,62,62,10,0,-,0,0,55,7000,0,-,12.5",       // cut short
        "VT318_AFC_PFER_0,EGSM900,62,62,10,0,-,0,0,55,7000,0,-,abc,-,Hz,-", // no number
        "VT318_AFC_PFER_7,EGSM900,62,62,10,0,-,0,0,55,7000,0,-,1.0,-,Hz,-", // no unit to join
        std::string(vantor::kNvStructName) + ".CDAC,-,-,-,-,-,-,-,-,-,-,-,-,x,-,-,-",
        "",
    };
    std::string text = broken[0] + "\n";
    for (size_t i = 0; i < in.size(); ++i) {
        text += in[i] + "\n";
        if (i == 2 || i == 9)
            text += broken[i == 2 ? 1 : 2] + "\n";
    }
    text += broken[3] + "\n" + broken[4] + "\n" + broken[5] + "\n" + "\xff\xfe\x01 binary";
    HostLog log = ReadHostLog(text);
    EXPECT_EQ(6u, log.units.size());
    EXPECT_EQ(6, log.unread);
    ASSERT_EQ(5u, log.unreadExamples.size());
    EXPECT_EQ(1, log.unreadExamples[0].number);
    EXPECT_EQ("station 4 restarted", log.unreadExamples[0].text);
    EXPECT_EQ(5, log.unreadExamples[1].number);
    long passed = 0;
    for (const LoggedUnit& u : log.units)
        passed += u.Passed() ? 1 : 0;
    EXPECT_EQ(w.passed, passed);
}

// Points no crystal gives, as a damaged or hand-edited log may hold them: a
// fine pair at one CAFC (no slope), and one a rounding step apart across the
// whole CAFC range (a CAFC far beyond any field). Judged values stay finite.
TEST(JudgeUnit, ImpossiblePointsGiveOnlyFiniteValues) {
    const std::string pfer = "VT318_AFC_PFER_";
    auto point = [&](int n, int cdac, int cafc, const char* fe) {
        return pfer + std::to_string(n) + ",EGSM900,62,62,10,0,-,0,0," + std::to_string(cdac) +
               "," + std::to_string(cafc) + ",0,-," + fe + ",-,Hz,-\n";
    };
    const std::string coarse = point(0, 55, 7000, "1574.87") + point(1, 47, 7000, "-2858.19");
    const std::vector<std::string> logs = {
        coarse + point(2, 52, 6000, "-5551.23") + point(3, 52, 6000, "5395.03"),
        coarse + point(2, 52, 0, "1") + point(3, 52, 65535, "1.0000000000000002"),
    };
    const ConfigReport windows = CheckConfig(DefaultConfigText(), sim::Chip::VT318);
    for (const std::string& text : logs) {
        HostLog log = ReadHostLog(text);
        ASSERT_EQ(1u, log.units.size()) << text;
        JudgedUnit j = JudgeUnit(log.units[0], windows);
        EXPECT_FALSE(j.passed);
        EXPECT_FALSE(j.failure.empty());
        for (int v = 0; v < 3; ++v)
            EXPECT_TRUE(!j.has[v] || std::isfinite(j.value[v])) << "value " << v << " of\n" << text;
    }
}

TEST(Sweep, YieldStepsWhereTheSlopeWindowReachesTheUnits) {
    // Every unit has a CAFC slope of 10.5 Hz/code: the window 7 +- R takes
    // them in from R = 4 on, beyond the configured 3.
    sim::CrystalParams steep = sim::NominalCrystal(sim::Chip::VT318);
    steep.cafcSlopeHz = 10.5;
    Written w =
        writePopulation(sim::Chip::VT318, 0, 20, DefaultConfigText(), steep, {300, 5, 0.0}, false);
    EXPECT_EQ(0, w.passed);
    SweepSpec sweep = ParseSweep("CRYSTAL_VT318/Slope Range=0:6:1");
    std::vector<double> values = sweep.Values();
    ASSERT_EQ(7u, values.size());
    std::vector<std::string> configs;
    for (double v : values)
        configs.push_back(SweptConfig(DefaultConfigText(), sweep, v));
    EXPECT_NE(std::string::npos, configs[5].find("Slope Range=5\r\n"));
    Replayed r = replay(w.log, configs);
    ASSERT_EQ(7u, r.outcomes.size());
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(0.0, r.outcomes[i].YieldBefore());
        EXPECT_EQ(values[i] >= 4 ? 100.0 : 0.0, r.outcomes[i].YieldAfter()) << values[i];
    }
    double current = 0;
    ASSERT_TRUE(SweepCurrent(DefaultConfigText(), sweep, &current));
    EXPECT_EQ(3.0, current);
    std::string svg = SweepSvg(sweep, values, r.outcomes, &current, "VT318 slope window");
    EXPECT_NE(std::string::npos, svg.find("<polyline"));
    EXPECT_NE(std::string::npos, svg.find("now 3"));
    EXPECT_THROW(ParseSweep("CRYSTAL_VT318/Slope Range=6:0:1"), UsageError);
    EXPECT_THROW(ParseSweep("Slope Range=0:6:1"), UsageError);
}

TEST(StationCommand, LogWrittenByThePopulationReplaysToTheSameYield) {
    const std::string dir = stationtest::TestDir() + "/";
    const std::string log = dir + "replay-cmd.log", out = dir + "replay-cmd.txt";
    const std::string exe = std::string("'") + STATION_EXE + "'";
    ASSERT_EQ(0, std::system((exe + " line --units 60 --chip ln2040 --spread-slope 2 --log '" +
                              log + "' >/dev/null")
                                 .c_str()));
    ASSERT_EQ(0, std::system((exe + " replay '" + log + "' >'" + out + "'").c_str()));
    std::ifstream in(out);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos, text.find("Units      60 (LN2040 60)")) << text;
    EXPECT_NE(std::string::npos, text.find("Changed    0 units change verdict")) << text;
    // Both yields on the line are the same number of units.
    size_t at = text.find("Yield      log ");
    ASSERT_NE(std::string::npos, at);
    long logPassed = -1, replayPassed = -2;
    ASSERT_EQ(2, std::sscanf(text.c_str() + at, "Yield      log %ld of %*d (%*f %%), replay %ld",
                             &logPassed, &replayPassed));
    EXPECT_EQ(logPassed, replayPassed) << text.substr(at, 80);
    std::remove(log.c_str());
    std::remove(out.c_str());
}

// --replay --json: the log, one object per unit that changes verdict, the summary.
TEST(StationCommand, ReplayAsJsonLinesNamesEveryChangedUnit) {
    const std::string dir = stationtest::TestDir() + "/";
    const std::string log = dir + "replay-json.log", out = dir + "replay-json.txt";
    const std::string config = dir + "replay-json.ini";
    const std::string exe = std::string("'") + STATION_EXE + "'";
    ASSERT_EQ(0, std::system((exe + " line --units 60 --chip ln2040 --spread-slope 2 --log '" +
                              log + "' >/dev/null")
                                 .c_str()));
    std::ofstream(config) << "[LN2040 AFC]\nCALI_CAFC_SLOPE_MIN=6\n"; // fails the flatter half
    ASSERT_EQ(0, std::system(
                     (exe + " replay '" + log + "' --config '" + config + "' --json >'" + out + "'")
                         .c_str()));
    std::ifstream in(out);
    std::vector<std::string> objects;
    for (std::string l; std::getline(in, l);)
        objects.push_back(l);
    ASSERT_GE(objects.size(), 2u);
    EXPECT_EQ(0u, objects.front().find("{\"type\":\"log\",")) << objects.front();
    EXPECT_NE(std::string::npos, objects.front().find("\"units\":60,\"chips\":{\"LN2040\":60}"));
    const std::string& summary = objects.back();
    ASSERT_EQ(0u, summary.find("{\"type\":\"replay\",")) << summary;
    size_t at = summary.find("\"changed\":");
    ASSERT_NE(std::string::npos, at);
    long changed = -1;
    ASSERT_EQ(1, std::sscanf(summary.c_str() + at, "\"changed\":%ld", &changed));
    EXPECT_GT(changed, 0);
    ASSERT_EQ(static_cast<size_t>(changed) + 2, objects.size());
    for (size_t i = 1; i + 1 < objects.size(); ++i) {
        EXPECT_EQ(0u, objects[i].find("{\"type\":\"changed\",")) << objects[i];
        EXPECT_NE(std::string::npos,
                  objects[i].find("\"chip\":\"LN2040\",\"log\":\"PASS\",\"replay\":\"FAIL\""))
            << objects[i];
    }
    std::remove(log.c_str());
    std::remove(out.c_str());
    std::remove(config.c_str());
}

} // namespace
