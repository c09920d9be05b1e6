// The change detectors and the trend over many simulated streams and series:
// how often a clean one raises an alarm, and where a step is found.
#include "analysis/Change.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>
#include <random>
#include <vector>

namespace {

using namespace station;

constexpr double kPi = 3.14159265358979323846;

double UpperTail(double z) {
    return 0.5 * std::erfc(z / std::sqrt(2.0));
}

// Student's upper tail in closed form for one, two and three degrees of freedom.
double ClosedFormTail(double t, long df) {
    if (df == 1)
        return 0.5 - std::atan(t) / kPi;
    if (df == 2)
        return 0.5 - t / (2 * std::sqrt(2 + t * t));
    const double u = t / std::sqrt(3.0);
    return 0.5 - (std::atan(u) + u / (1 + u * u)) / kPi;
}

TEST(StudentToNormal, KeepsTheTailOfSmallDegreesOfFreedom) {
    for (long df : {1L, 2L, 3L}) {
        for (double t : {0.1, 0.7, 1.0, 2.5, 6.0, 30.0}) {
            const double z = StudentToNormal(t, df);
            EXPECT_NEAR(std::log(UpperTail(z)), std::log(ClosedFormTail(t, df)), 1e-9)
                << "t " << t << ", df " << df;
            EXPECT_DOUBLE_EQ(-z, StudentToNormal(-t, df));
        }
    }
    EXPECT_EQ(0, StudentToNormal(0, 5));
}

TEST(StudentToNormal, LargeDegreesOfFreedomMeetTheTables) {
    // t quantiles of 0.975 (120 df) and 0.995 (100 df).
    EXPECT_NEAR(1.959964, StudentToNormal(1.979930, 120), 2e-5);
    EXPECT_NEAR(2.575829, StudentToNormal(2.625891, 100), 2e-5);
    EXPECT_NEAR(3.0, StudentToNormal(3.0, 100000000), 1e-6);
    // Lighter tails with more degrees of freedom, across the change of method.
    for (double t : {1.5, 3.0, 5.0, 8.0}) {
        for (long df = 50; df < 80; ++df)
            EXPECT_LT(StudentToNormal(t, df), StudentToNormal(t, df + 1)) << t << ", " << df;
    }
}

TEST(StudentToNormal, NonFiniteInputStaysBounded) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_GT(StudentToNormal(inf, 10), 8);
    EXPECT_LT(StudentToNormal(-inf, 100), -8);
    EXPECT_EQ(0, StudentToNormal(std::nan(""), 10));
    EXPECT_TRUE(std::isfinite(StudentToNormal(1e300, 3)));
}

// Crystal offsets of one chip: about 3 kHz deviation about an unknown mean.
struct Stream {
    explicit Stream(unsigned seed) : rng(seed) {}
    double Next() { return 1200 + 3000 * normal(rng); }
    std::mt19937_64 rng;
    std::normal_distribution<double> normal;
};

// A two-sided CUSUM on values known to be N(0,1), for the rate to match.
long PlainCusumAlarms(unsigned seed, long readings, double k, double h) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal;
    double up = 0, down = 0;
    long alarms = 0;
    for (long i = 0; i < readings; ++i) {
        const double z = normal(rng);
        up = std::max(0.0, up + z - k);
        down = std::max(0.0, down - z - k);
        if (up > h || down > h) {
            ++alarms;
            up = down = 0;
        }
    }
    return alarms;
}

TEST(SelfStartingCusum, RaisesFalseAlarmsAtTheRateOfKnownDeviations) {
    // With a low limit an alarm comes every ~170 readings, so much of the
    // stream is judged on a few readings since a restart: standardising by
    // what was seen must give the rate of a CUSUM told the true mean and
    // deviation (plain z scores give a third more), the readings learnt
    // after each restart aside.
    constexpr long kReadings = 1000000;
    constexpr double k = 0.5, h = 4;
    SelfStartingCusum cusum(k, h);
    Stream stream(7);
    long alarms = 0;
    for (long i = 0; i < kReadings; ++i) {
        SelfStartingCusum::Alarm a;
        if (cusum.Add(stream.Next(), i, &a)) {
            ++alarms;
            EXPECT_LE(a.start, a.raised);
        }
    }
    const long plain = PlainCusumAlarms(8, kReadings, k, h);
    ASSERT_GT(plain, 4000);
    const double runLength = static_cast<double>(kReadings) / plain;
    const double expected = kReadings / (runLength + SelfStartingCusum::kWarmUp);
    EXPECT_NEAR(static_cast<double>(alarms), expected, 0.06 * expected);
}

TEST(SelfStartingCusum, CleanStreamsStayQuietAtTheDefaults) {
    // 2e7 readings at about one alarm in 1.3e8: more than two means the
    // limit or the standardisation is wrong.
    long alarms = 0;
    for (unsigned seed = 1; seed <= 200; ++seed) {
        SelfStartingCusum cusum;
        Stream stream(seed);
        for (long i = 0; i < 100000; ++i) {
            SelfStartingCusum::Alarm a;
            alarms += cusum.Add(stream.Next(), i, &a) ? 1 : 0;
        }
    }
    EXPECT_LE(alarms, 2);
}

struct StepCase {
    double step;
    long startError;   // the median's bound
    double shiftError; // the median's, as a fraction of the step
};
void PrintTo(const StepCase& c, std::ostream* os) {
    *os << c.step << " Hz";
}

class SelfStartingStep : public ::testing::TestWithParam<StepCase> {};

TEST_P(SelfStartingStep, OneAlarmNearTheStepWithItsSize) {
    const double step = GetParam().step;
    constexpr long kAt = 40000, kReadings = 60000;
    std::vector<long> startErrors;
    std::vector<double> shifts;
    for (unsigned seed = 1; seed <= 20; ++seed) {
        SelfStartingCusum cusum;
        Stream stream(seed);
        long alarms = 0;
        for (long i = 0; i < kReadings; ++i) {
            SelfStartingCusum::Alarm a;
            if (!cusum.Add(stream.Next() + (i >= kAt ? step : 0), i, &a))
                continue;
            ++alarms;
            EXPECT_GE(a.raised, kAt) << "seed " << seed;
            startErrors.push_back(std::labs(static_cast<long>(a.start) - kAt));
            shifts.push_back(a.shift);
        }
        EXPECT_EQ(1, alarms) << "seed " << seed;
    }
    ASSERT_EQ(20u, startErrors.size());
    std::sort(startErrors.begin(), startErrors.end());
    std::sort(shifts.begin(), shifts.end());
    EXPECT_LE(startErrors[10], GetParam().startError);
    EXPECT_NEAR(step, shifts[10], GetParam().shiftError * std::fabs(step));
}

// A 300 Hz step's size rests on some thousand readings of 3 kHz deviation.
INSTANTIATE_TEST_SUITE_P(Steps, SelfStartingStep,
                         ::testing::Values(StepCase{300, 500, 0.4}, StepCase{-600, 150, 0.2},
                                           StepCase{1500, 30, 0.1}));

TEST(SelfStartingCusum, PassesOverNonFiniteReadings) {
    SelfStartingCusum cusum;
    Stream stream(3);
    const double inf = std::numeric_limits<double>::infinity();
    for (long i = 0; i < 20000; ++i) {
        SelfStartingCusum::Alarm a;
        const double v = i % 100 == 5 ? std::nan("") : i % 100 == 6 ? -inf : stream.Next();
        EXPECT_FALSE(cusum.Add(v, i, &a)) << i;
    }
}

// A station's bias per shift from golden units and pairs: errors of 0.5-3 Hz.
std::vector<Estimate> ShiftSeries(unsigned seed, size_t n, double understated, double between,
                                  size_t stepAt, double step) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> se(0.5, 3);
    std::normal_distribution<double> normal;
    std::vector<Estimate> series(n);
    for (size_t i = 0; i < n; ++i) {
        Estimate& e = series[i];
        e.time = ShiftStart(20000 + static_cast<long long>(i));
        e.se = se(rng);
        e.value =
            4 + understated * e.se * normal(rng) + between * normal(rng) + (i >= stepAt ? step : 0);
    }
    return series;
}

struct CleanCase {
    double understated, between;
    long maxAlarms;
};
void PrintTo(const CleanCase& c, std::ostream* os) {
    *os << "errors x" << c.understated << ", " << c.between << " Hz between shifts";
}

class CleanShiftSeries : public ::testing::TestWithParam<CleanCase> {};

TEST_P(CleanShiftSeries, RaiseFewAlarms) {
    // 1000 series of 100 shifts; about 1% of 1000-shift series alarm when
    // the errors are right, and errors understated (or a scatter between
    // shifts the errors leave out) are learnt from the series.
    const CleanCase c = GetParam();
    long alarms = 0;
    for (unsigned seed = 1; seed <= 1000; ++seed)
        alarms += static_cast<long>(
            FindChanges(ShiftSeries(seed, 100, c.understated, c.between, 100, 0)).size());
    EXPECT_LE(alarms, c.maxAlarms);
}

INSTANTIATE_TEST_SUITE_P(Errors, CleanShiftSeries,
                         ::testing::Values(CleanCase{1, 0, 2}, CleanCase{2, 0, 5},
                                           CleanCase{1, 2, 5}));

struct ShiftStepCase {
    double step;
    size_t at;      // the first estimate past the step
    size_t grace;   // estimates after it by which nearly every alarm is raised
    long maxMissed; // of 200 series
};
void PrintTo(const ShiftStepCase& c, std::ostream* os) {
    *os << c.step << " Hz at " << c.at;
}

class ShiftStep : public ::testing::TestWithParam<ShiftStepCase> {};

// At shift 3 the step meets the first estimate judged, against a level of
// three: the level's learnt scatter must not swallow it.
TEST_P(ShiftStep, FoundAtTheShiftItHappened) {
    const ShiftStepCase c = GetParam();
    long raisedLate = 0, missed = 0;
    std::vector<double> errors;
    for (unsigned seed = 1; seed <= 200; ++seed) {
        const std::vector<Change> changes = FindChanges(ShiftSeries(seed, 100, 1, 0, c.at, c.step));
        ASSERT_LE(changes.size(), 1u) << "seed " << seed;
        if (changes.empty()) {
            ++missed;
            continue;
        }
        EXPECT_EQ(c.at, changes[0].start) << "seed " << seed;
        EXPECT_GE(changes[0].raised, c.at);
        raisedLate += changes[0].raised > c.at + c.grace ? 1 : 0;
        // The new level rests on one or two estimates of up to 3 Hz error.
        EXPECT_NEAR(c.step, changes[0].shift, 10) << "seed " << seed;
        errors.push_back(std::fabs(changes[0].shift - c.step));
    }
    EXPECT_LE(missed, c.maxMissed);
    EXPECT_LE(raisedLate, 6);
    std::sort(errors.begin(), errors.end());
    EXPECT_LE(errors[errors.size() / 2], 2);
}

INSTANTIATE_TEST_SUITE_P(Steps, ShiftStep,
                         ::testing::Values(ShiftStepCase{20, 50, 1, 0},
                                           ShiftStepCase{-20, 50, 1, 0}, ShiftStepCase{20, 3, 3, 3},
                                           ShiftStepCase{-20, 3, 3, 3}));

TEST(FindChanges, PassesOverUnusableEstimatesAndKeepsTheirIndices) {
    std::vector<Estimate> series = ShiftSeries(5, 60, 1, 0, 30, 25);
    series[10].se = 0;
    series[20].value = std::nan("");
    series[31].se = -1;
    series[32].se = std::numeric_limits<double>::infinity();
    series[33].se = 1e-300;
    series[34].value = -1e300;
    const std::vector<Change> changes = FindChanges(series);
    ASSERT_EQ(1u, changes.size());
    EXPECT_EQ(30u, changes[0].start);
    EXPECT_NEAR(25, changes[0].shift, 4);
    EXPECT_TRUE(FindChanges({}).empty());
    EXPECT_TRUE(FindChanges(std::vector<Estimate>(3, Estimate{0, 1, 1})).empty());
}

TEST(FindChanges, LongSeriesJudgeOnTheirRecentLevel) {
    // Twenty years of shifts: the level rests on the last estimates alone.
    const std::vector<Change> changes = FindChanges(ShiftSeries(9, 20000, 1, 0, 19000, -20));
    ASSERT_FALSE(changes.empty());
    EXPECT_LE(changes.size(), 2u);
    EXPECT_EQ(19000u, changes.back().start);
    EXPECT_NEAR(-20, changes.back().shift, 10);
}

// Three shifts a day from 2026-12-07 06:00, level + rate * days, errors `se`.
std::vector<Estimate> TrendSeries(unsigned seed, int shifts, double level, double rate, double se,
                                  double understated) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal;
    TimeMs t0 = 0;
    EXPECT_TRUE(ParseTime("2026-12-07T06:00", &t0));
    std::vector<Estimate> series;
    for (int i = 0; i < shifts; ++i) {
        Estimate e;
        e.time = t0 + i * kMsPerShift;
        e.se = se;
        e.value = level + rate * i / 3.0 + understated * se * normal(rng);
        series.push_back(e);
    }
    return series;
}

TEST(FitTrend, AgingRateAndTheDateItReachesTheLimit) {
    // 10 Hz a day from 5 Hz reaches 100 Hz 9.5 days after the first shift.
    for (unsigned seed = 1; seed <= 50; ++seed) {
        const std::vector<Estimate> s = TrendSeries(seed, 21, 5, 10, 1, 1);
        const DriftTrend t = FitTrend(s, 100);
        ASSERT_TRUE(t.known);
        EXPECT_NEAR(10, t.hzPerDay, 2) << "seed " << seed;
        // The spread of 21 shifts' days: sum (i - 10)^2 / 9 = 770 / 9.
        const double nominal = 1 / std::sqrt(770.0 / 9);
        EXPECT_GE(t.seHzPerDay, nominal * (1 - 1e-9));
        EXPECT_LE(t.seHzPerDay, 1.6 * nominal);
        EXPECT_EQ(s.front().time, t.from);
        EXPECT_NEAR(5, t.levelHz, 2);
        const double days = static_cast<double>(t.limitDate - s.front().time) / kMsPerDay;
        EXPECT_NEAR(9.5, days, 0.3) << "seed " << seed;
    }
}

TEST(FitTrend, DateOnlyAheadOfAMeaningfulRate) {
    // Falling: the negative limit; already beyond: the last estimate's time;
    // no rate to speak of: none.
    const std::vector<Estimate> falling = TrendSeries(1, 21, -20, -10, 1, 1);
    const DriftTrend f = FitTrend(falling, 100);
    EXPECT_NEAR(-10, f.hzPerDay, 2);
    EXPECT_NEAR(8, static_cast<double>(f.limitDate - falling.front().time) / kMsPerDay, 0.3);
    EXPECT_EQ(falling.back().time, FitTrend(falling, 50).limitDate);
    const DriftTrend flat = FitTrend(TrendSeries(2, 21, 5, 0, 1, 1), 100);
    EXPECT_TRUE(flat.known);
    EXPECT_EQ(kNoTime, flat.limitDate);
    // Ten years away is no date to plan by.
    EXPECT_EQ(kNoTime, FitTrend(TrendSeries(3, 21, 0, 0.01, 0.0001, 1), 100).limitDate);
}

TEST(FitTrend, ScatterBeyondTheErrorsWidensTheRatesError) {
    const DriftTrend honest = FitTrend(TrendSeries(4, 30, 0, 10, 1, 1), 100);
    const DriftTrend understated = FitTrend(TrendSeries(4, 30, 0, 10, 1, 4), 100);
    EXPECT_GT(understated.seHzPerDay, 2.5 * honest.seHzPerDay);
}

TEST(FitTrend, UnknownWithTooFewEstimatesOrUnderADay) {
    EXPECT_FALSE(FitTrend(TrendSeries(1, 2, 0, 10, 1, 1), 100).known);
    EXPECT_FALSE(FitTrend(TrendSeries(1, 3, 0, 10, 1, 1), 100).known); // 16 hours
    EXPECT_TRUE(FitTrend(TrendSeries(1, 4, 0, 10, 1, 1), 100).known);
    std::vector<Estimate> noTimes = TrendSeries(1, 10, 0, 10, 1, 1);
    for (Estimate& e : noTimes)
        e.time = kNoTime;
    EXPECT_FALSE(FitTrend(noTimes, 100).known);
    EXPECT_FALSE(FitTrend({}, 100).known);
}

// An aging tester trips the change detector again and again: its trend rests
// on the whole ramp. After a step, even one a line could pass for, it rests on
// the estimates since the step.
TEST(TrendStart, ARampReadAsStepsKeepsItsWholeLength) {
    long whole = 0, acrossSmallSteps = 0;
    for (unsigned seed = 1; seed <= 50; ++seed) {
        const std::vector<Estimate> ramp = TrendSeries(seed, 60, 0, 10, 2.5, 1);
        const std::vector<Change> changes = FindChanges(ramp);
        ASSERT_FALSE(changes.empty()) << "seed " << seed;
        whole += TrendStart(ramp, changes) == 0 ? 1 : 0;

        std::vector<Estimate> stepped = TrendSeries(seed, 60, 0, 0, 2.5, 1);
        for (size_t i = 30; i < stepped.size(); ++i)
            stepped[i].value += 20 + 10 * static_cast<double>(i - 30) / 3;
        const std::vector<Change> steps = FindChanges(stepped);
        ASSERT_FALSE(steps.empty()) << "seed " << seed;
        const size_t from = TrendStart(stepped, steps);
        EXPECT_GE(from, 30u) << "seed " << seed;
        EXPECT_NEAR(
            10, FitTrend({stepped.begin() + static_cast<long>(from), stepped.end()}, 1e3).hzPerDay,
            2)
            << "seed " << seed;
    }
    for (unsigned seed = 1; seed <= 50; ++seed) {
        const std::vector<Estimate> small = ShiftSeries(seed, 200, 1, 0, 100, 3);
        const std::vector<Change> changes = FindChanges(small);
        ASSERT_FALSE(changes.empty()) << "seed " << seed;
        acrossSmallSteps += TrendStart(small, changes) < 90 ? 1 : 0;
    }
    EXPECT_GE(whole, 48);
    EXPECT_LE(acrossSmallSteps, 1);
    EXPECT_EQ(0u, TrendStart(TrendSeries(1, 60, 0, 10, 2.5, 1), {}));
}

} // namespace
