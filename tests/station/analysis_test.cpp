// The line's analysis in time on synthetic readings: biases from golden
// units, pairs and single units, changes, shifts and what the text says
// when the logs lack serials; the readings' series and the golden file.
#include "analysis/Timeline.h"
#include "support/StationChips.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>

using namespace station;

namespace {

const TimeMs kStart = [] {
    TimeMs t = kNoTime;
    ParseTime("2026-12-07T06:00", &t);
    return t;
}();
constexpr int kBand = 1, kChannel = 62; // EGSM900, as the simulated line

std::string imei(long n) {
    std::string s = std::to_string(356938035000000LL + n);
    return s;
}

// A line of `stations` testers, one reading a unit of the crystals spread
// 3 kHz, each tester reading with its own error and 3 Hz of noise.
struct SyntheticLine {
    explicit SyntheticLine(size_t stations) : bias(stations, 0.0), a(), gen(17) {
        for (size_t s = 0; s < stations; ++s) {
            a.stations.emplace_back();
            StationStats& st = a.stations.back();
            st.name = "station-0" + std::to_string(s + 1);
            st.band = kBand;
            st.channel = kChannel;
            st.referenceByChip.assign(AllChips().size(), Moments());
            st.values.resize(AllChips().size()); // no window: no capability
        }
        a.biasLimitPpm = 0.02; // 18 Hz at the carrier
    }
    // One test of a unit; its crystal's offset is `offset`.
    void Test(TimeMs t, int station, long serial, double offset, int chip = 0, int attempt = 1) {
        LineReading r;
        r.value = offset + bias[static_cast<size_t>(station)] + noise(gen);
        r.hasValue = r.passed = true;
        r.time = t;
        if (serial >= 0)
            r.serial = KeyOfSerial(imei(serial));
        r.station = station;
        r.chip = chip;
        r.attempt = attempt;
        StationStats& s = a.stations[static_cast<size_t>(station)];
        r.unit = ++s.units;
        ++s.passed;
        r.line = r.unit * 7;
        r.tag = static_cast<long long>(readings.size());
        if (!golden.Find(r.serial))
            s.referenceByChip[static_cast<size_t>(chip)].Add(r.value);
        readings.push_back(r);
    }
    void Run(const TimelineParams& p = TimelineParams()) {
        Timeline line(a.stations.size(), golden.Empty() ? nullptr : &golden, p);
        for (const LineReading& r : readings)
            line.Add(r);
        std::string error;
        auto find = [&](long long tag, LineReading* out) {
            *out = readings.at(static_cast<size_t>(tag));
            return true;
        };
        ASSERT_TRUE(line.Finish(&a, find, &error)) << error;
    }
    double Crystal() { return spread(gen); }

    std::vector<double> bias;
    LineAnalysis a;
    GoldenUnits golden;
    std::vector<LineReading> readings;
    std::mt19937 gen;
    std::normal_distribution<double> noise{0, 3}, spread{0, 3000};
};

std::string printed(const LineAnalysis& a) {
    // A temporary file: Windows' C runtime has no stream into memory.
    FILE* f = std::tmpfile();
    if (f == nullptr)
        return "";
    PrintAnalysis(f, a);
    std::string s(static_cast<size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    const size_t got = std::fread(&s[0], 1, s.size(), f);
    std::fclose(f);
    s.resize(got);
    return s;
}

} // namespace

TEST(Readings, SeriesSpillsAndReadsBackInOrderAndByIndex) {
    ReadingSeries series;
    std::string error;
    const size_t n = ReadingSeries::kInMemory * 2 + 100; // past the head, into the file
    for (size_t i = 0; i < n; ++i) {
        Reading r;
        r.value = static_cast<double>(i) / 4;
        r.unit = static_cast<long long>(i) + 1;
        r.time = kStart + static_cast<TimeMs>(i);
        ASSERT_TRUE(series.Add(r, &error)) << error;
    }
    ASSERT_EQ(n, series.Size());
    ReadingSeries::Cursor cursor(&series);
    Reading r, at;
    size_t i = 0;
    while (cursor.Next(&r, &error)) {
        ASSERT_EQ(static_cast<long long>(i) + 1, r.unit);
        if (i % 997 == 0) { // a random read between buffered ones keeps the cursor's place
            ASSERT_TRUE(series.At(n - 1 - i, &at, &error)) << error;
            EXPECT_EQ(static_cast<long long>(n - i), at.unit);
        }
        ++i;
    }
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_EQ(n, i);
    EXPECT_FALSE(series.At(n, &at, &error));
}

TEST(Readings, SerialKeysKeepDigitsAndTellTextApart) {
    EXPECT_EQ("356938035643809", SerialText(KeyOfSerial("356938035643809")));
    EXPECT_EQ("000000000000001", SerialText(KeyOfSerial("000000000000001")));
    EXPECT_FALSE(KeyOfSerial("000000000000001") == KeyOfSerial("0000000000000001"));
    EXPECT_EQ(SerialKey::kHashed, KeyOfSerial("SN-77").digits);
    EXPECT_FALSE(KeyOfSerial("SN-77") == KeyOfSerial("SN-78"));
    EXPECT_FALSE(KeyOfSerial("").Known());
}

TEST(Readings, GoldenFileAndListReadOrRefusedWithTheLine) {
    const std::string path = ::testing::TempDir() + "golden-test.csv";
    GoldenUnits g;
    std::string error;
    auto write = [&](const char* text) { std::ofstream(path, std::ios::binary) << text; };
    write("serial,reference_hz\n356938035643809,2511.25\n356938035643810,-40\n");
    ASSERT_TRUE(ReadGolden(path, &g, &error)) << error;
    EXPECT_TRUE(g.withReferences);
    ASSERT_NE(nullptr, g.Find(KeyOfSerial("356938035643809")));
    EXPECT_EQ(2511.25, *g.Find(KeyOfSerial("356938035643809")));
    const std::pair<const char*, const char*> bad[] = {
        {"serial,reference_hz\n356938035643809,x\n", "line 2"},
        {"serial,reference_hz\n356938035643809,1\n356938035643809,2\n", "line 3"},
        {"serial;reference\n356938035643809,1\n", "line 1"}};
    for (const auto& b : bad) {
        write(b.first);
        EXPECT_FALSE(ReadGolden(path, &g, &error)) << b.first;
        EXPECT_NE(std::string::npos, error.find(b.second)) << error;
    }
    ASSERT_TRUE(ReadGolden("356938035643809,356938035643810", &g, &error)) << error;
    EXPECT_FALSE(g.withReferences);
    EXPECT_EQ(2u, g.units.size());
    EXPECT_FALSE(ReadGolden(::testing::TempDir() + "no-such-golden.csv", &g, &error));
    std::remove(path.c_str());
}

// Golden units: with references the off station reads its own bias and the
// others stay where they are (absolute); serials alone compare the stations
// on each shift's rounds (against the rest: +45, the others -15).
class GoldenReadings : public ::testing::TestWithParam<bool> {};

TEST_P(GoldenReadings, GiveTheOffStationsBias) {
    const bool references = GetParam();
    SyntheticLine line(4);
    line.bias = {0, 45, 0, 0};
    std::vector<double> crystals;
    for (long g = 0; g < 3; ++g) {
        crystals.push_back(line.Crystal());
        line.golden.units[KeyOfSerial(imei(900000 + g))] = references ? crystals.back() : NAN;
    }
    line.golden.withReferences = references;
    long serial = 0;
    for (int shift = 0; shift < 9; ++shift) {
        const TimeMs t0 = kStart + shift * kMsPerShift;
        for (int s = 0; s < 4; ++s)
            for (long g = 0; g < 3; ++g)
                line.Test(t0 + 60000 * (s * 3 + g), s, 900000 + g,
                          crystals[static_cast<size_t>(g)]);
        for (int u = 0; u < 400; ++u)
            line.Test(t0 + 3600000 + u * 60000, u % 4, serial++, line.Crystal());
    }
    line.Run();
    const LineAnalysis& a = line.a;
    EXPECT_EQ(references, a.absolute);
    EXPECT_EQ(9 * 4 * 3, a.goldenReadings);
    for (size_t s = 0; s < 4; ++s) {
        const StationRow& r = a.rows[s];
        ASSERT_TRUE(r.golden.known) << s;
        const double expected = references ? line.bias[s] : s == 1 ? 45 : -15;
        EXPECT_NEAR(expected, r.golden.hz, 4 * r.golden.seHz + 0.5) << s;
        EXPECT_LT(r.golden.seHz, 2.5) << s; // the three references' own noise: 1.7
        EXPECT_EQ(references ? "golden" : "golden+singles", r.method);
        EXPECT_EQ(s == 1, r.flagged) << s << " " << r.biasHz;
        EXPECT_FALSE(r.goldenPoints.empty());
    }
    // Every shift: four stations and the line, golden runs apart.
    ASSERT_EQ(9u * 5, a.shifts.size());
    EXPECT_EQ(-1, a.shifts[4].station);
    EXPECT_EQ(400, a.shifts[4].units);
    EXPECT_EQ(100, a.shifts[1].units);
    EXPECT_NEAR(45, a.shifts[1].bias.hz, 15);
}

INSTANTIATE_TEST_SUITE_P(LineBias, GoldenReadings, ::testing::Values(true, false));

// Units read on two stations (retests, audits): least squares over the
// pairs finds a -25 Hz tester within a few Hz though single units spread 3 kHz.
TEST(LineBias, PairsRecoverAStationsErrorAgainstTheRest) {
    SyntheticLine line(4);
    line.bias = {0, 0, -25, 0};
    std::uniform_int_distribution<int> station(0, 3);
    long serial = 0;
    for (int u = 0; u < 4000; ++u) {
        const TimeMs t = kStart + u * 20000LL;
        const double crystal = line.Crystal();
        const int first = station(line.gen);
        line.Test(t, first, serial, crystal);
        if (u % 5 == 0) // an audit a few minutes later on another station
            line.Test(t + 300000, (first + 1 + u / 5 % 3) % 4, serial, crystal, 0, 2);
        ++serial;
    }
    line.Run();
    const LineAnalysis& a = line.a;
    EXPECT_EQ(800, a.pairs);
    EXPECT_FALSE(a.absolute);
    for (size_t s = 0; s < 4; ++s) {
        const StationRow& r = a.rows[s];
        ASSERT_TRUE(r.pairs.known);
        // Against the rest of the line: -25, and the others +25/3.
        EXPECT_NEAR(s == 2 ? -25 : 25 / 3.0, r.pairs.hz, 3) << s;
        EXPECT_LT(r.pairs.seHz, 1.0);
        EXPECT_GT(r.singles.seHz, 20 * r.pairs.seHz); // the crystals' spread
        EXPECT_EQ("pairs+singles", r.method);
    }
    EXPECT_TRUE(a.rows[2].flagged);
    EXPECT_FALSE(a.rows[0].flagged);
    // First tests and their passes per shift: audits are not first tests.
    long units = 0, first = 0;
    for (const ShiftRow& r : a.shifts)
        if (r.station < 0) {
            units += r.units;
            first += r.firstTests;
        }
    EXPECT_EQ(4800, units);
    EXPECT_EQ(4000, first);
}

// A tester that steps shows in its shifts' pair biases: one alarm, on that
// station, dated in the shift of the step, and its level afterwards.
TEST(LineBias, StepInAShiftsPairBiasAlarmedThere) {
    SyntheticLine line(3);
    std::uniform_int_distribution<int> station(0, 2);
    long serial = 0;
    const int shifts = 30, stepAt = 18;
    for (int shift = 0; shift < shifts; ++shift) {
        line.bias[1] = shift >= stepAt ? 40 : 0;
        for (int u = 0; u < 300; ++u) {
            const TimeMs t = kStart + shift * kMsPerShift + u * 90000LL;
            const double crystal = line.Crystal();
            const int first = station(line.gen);
            line.Test(t, first, serial, crystal);
            if (u % 3 == 0)
                line.Test(t + 60000, (first + 1 + u % 2) % 3, serial, crystal, 0, 2);
            ++serial;
        }
    }
    TimelineParams p;
    p.windowHours = 1; // a retest comes minutes later: the shift's pairs stay in it
    line.Run(p);
    const LineAnalysis& a = line.a;
    ASSERT_EQ(1u, a.stations[1].alarms.size()) << a.stations[0].alarms.size();
    const DriftAlarm& d = a.stations[1].alarms[0];
    EXPECT_EQ("pairs", d.method);
    EXPECT_NEAR(static_cast<double>(stepAt), static_cast<double>(ShiftOf(d.time) - ShiftOf(kStart)),
                2);
    EXPECT_EQ(15u, d.serial.size());
    EXPECT_GT(d.shiftHz, 15);
    const DriftTrend& trend = a.rows[1].trend;
    ASSERT_TRUE(trend.known);
    EXPECT_NEAR(0, trend.hzPerDay, 4 * trend.seHzPerDay + 1);
}

// A changeover from one chip to another, whose crystals sit 2 kHz apart,
// is no bias and no drift: stations are compared and watched within a chip.
TEST(LineBias, SinglesWithinAChipIgnoreAChangeover) {
    SyntheticLine line(2);
    for (int u = 0; u < 20000; ++u) {
        const int s = u % 2;
        // Station 1 changes over early, station 2 late.
        const int chip = u > (s == 0 ? 4000 : 16000) ? 1 : 0;
        line.Test(kNoTime, s, -1, line.Crystal() + (chip == 1 ? 2000 : 0), chip, 0);
    }
    line.Run();
    const LineAnalysis& a = line.a;
    EXPECT_FALSE(a.hasTimes);
    EXPECT_FALSE(a.hasSerials);
    EXPECT_TRUE(a.shifts.empty());
    for (size_t s = 0; s < 2; ++s) {
        const StationRow& r = a.rows[s];
        ASSERT_TRUE(r.singles.known);
        EXPECT_NEAR(0, r.singles.hz, 4 * r.singles.seHz) << s;
        EXPECT_EQ("singles", r.method);
        EXPECT_FALSE(r.flagged);
        EXPECT_TRUE(a.stations[s].alarms.empty()) << s << ": " << a.stations[s].alarms[0].unit;
    }
    // Without serials the text says so, and what a pair would tell.
    const std::string text = printed(a);
    EXPECT_NE(std::string::npos, text.find("the logs give no serials")) << text;
    EXPECT_NE(std::string::npos, text.find("tells the bias as well as")) << text;
    EXPECT_NE(std::string::npos, text.find("the logs give no times")) << text;
}
