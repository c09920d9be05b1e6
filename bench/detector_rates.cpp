// The change detectors' false alarms and detection delays on simulated data,
// for docs/station-detectors.md: SelfStartingCusum on crystal offsets (3 kHz
// deviation) with and without a step, and FindChanges on shift series (errors
// of 0.5-3 Hz). Plain program; run from the optimised build:
//   detector_rates [streams=100] [series=2000]
#include "analysis/Change.h"

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

using namespace station;

// One-sided CUSUM run length of N(0,1) values by Siegmund's approximation.
double SiegmundRunLength(double k, double h) {
    const double d = -k, b = h + 1.166;
    return (std::exp(-2 * d * b) + 2 * d * b - 1) / (2 * d * d);
}

struct StreamResult {
    long alarms = 0;
    long long readings = 0;
};

StreamResult CleanStreams(double k, double h, int streams, long length) {
    StreamResult r;
    for (int s = 1; s <= streams; ++s) {
        std::mt19937_64 rng(1000 + s);
        std::normal_distribution<double> normal(1200, 3000);
        SelfStartingCusum cusum(k, h);
        for (long i = 0; i < length; ++i) {
            SelfStartingCusum::Alarm a;
            r.alarms += cusum.Add(normal(rng), i, &a) ? 1 : 0;
        }
        r.readings += length;
    }
    return r;
}

double Median(std::vector<double> v) {
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Quantile(std::vector<double> v, double q) {
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

void SinglesSteps(int streams) {
    std::printf("\nSelfStartingCusum (k %.2f, h %.0f), step at reading 20000 of 120000, "
                "%d streams each\n",
                SelfStartingCusum::kSlack, SelfStartingCusum::kLimit, streams);
    std::printf("%8s %8s %10s %10s %10s %14s %12s\n", "step Hz", "found", "delay med", "delay 90%",
                "start med", "|start| med", "shift med");
    for (double step : {150.0, 300.0, 600.0, 1500.0, 3000.0, -600.0}) {
        constexpr long kAt = 20000, kLength = 120000;
        std::vector<double> delays, starts, startErrors, shifts;
        long early = 0;
        for (int s = 1; s <= streams; ++s) {
            std::mt19937_64 rng(5000 + s);
            std::normal_distribution<double> normal(1200, 3000);
            SelfStartingCusum cusum;
            for (long i = 0; i < kLength; ++i) {
                SelfStartingCusum::Alarm a;
                if (!cusum.Add(normal(rng) + (i >= kAt ? step : 0), i, &a))
                    continue;
                if (a.raised < kAt) {
                    ++early;
                    continue;
                }
                delays.push_back(static_cast<double>(a.raised - kAt));
                starts.push_back(static_cast<double>(a.start - kAt));
                startErrors.push_back(std::fabs(static_cast<double>(a.start - kAt)));
                shifts.push_back(a.shift);
                break;
            }
        }
        std::printf("%8.0f %4zu/%-3d %10.0f %10.0f %10.0f %14.0f %12.0f%s\n", step, delays.size(),
                    streams, Median(delays), Quantile(delays, 0.9), Median(starts),
                    Median(startErrors), Median(shifts), early ? "  (alarms before the step)" : "");
    }
}

std::vector<Estimate> ShiftSeries(std::mt19937_64& rng, size_t n, double understated,
                                  double between, size_t stepAt, double step) {
    std::uniform_real_distribution<double> se(0.5, 3);
    std::normal_distribution<double> normal;
    std::vector<Estimate> series(n);
    for (size_t i = 0; i < n; ++i) {
        series[i].time = ShiftStart(20000 + static_cast<long long>(i));
        series[i].se = se(rng);
        series[i].value = 4 + understated * series[i].se * normal(rng) + between * normal(rng) +
                          (i >= stepAt ? step : 0);
    }
    return series;
}

void CleanSeries(int count) {
    std::printf("\nFindChanges (k %.1f, h %.0f) on clean series of 1000 shifts, errors 0.5-3 Hz, "
                "%d series each\n",
                kChangeSlack, kChangeLimit, count);
    std::printf("%28s %8s %16s\n", "errors", "alarms", "series alarming");
    struct Case {
        const char* name;
        double understated, between;
    };
    for (const Case& c :
         {Case{"as stated", 1, 0}, Case{"understated x1.5", 1.5, 0}, Case{"understated x2", 2, 0},
          Case{"+1 Hz between shifts", 1, 1}, Case{"+3 Hz between shifts", 1, 3}}) {
        long alarms = 0, alarming = 0;
        for (int s = 1; s <= count; ++s) {
            std::mt19937_64 rng(9000 + s);
            const size_t n =
                FindChanges(ShiftSeries(rng, 1000, c.understated, c.between, 1000, 0)).size();
            alarms += static_cast<long>(n);
            alarming += n > 0 ? 1 : 0;
        }
        std::printf("%28s %8ld %15.2f%%\n", c.name, alarms, 100.0 * alarming / count);
    }
}

void SeriesSteps(int count) {
    std::printf("\nFindChanges: a step at shift 100 of 200, errors 0.5-3 Hz, %d series each\n",
                count);
    std::printf("%8s %8s %12s %12s %14s %12s\n", "step Hz", "found", "delay med", "delay 90%",
                "start exact", "shift med");
    for (double step : {2.0, 3.0, 5.0, 10.0, 20.0, -20.0}) {
        std::vector<double> delays, shifts;
        long exact = 0;
        for (int s = 1; s <= count; ++s) {
            std::mt19937_64 rng(7000 + s);
            for (const Change& c : FindChanges(ShiftSeries(rng, 200, 1, 0, 100, step))) {
                if (c.raised < 100)
                    continue;
                delays.push_back(static_cast<double>(c.raised) - 100);
                shifts.push_back(c.shift);
                exact += c.start == 100 ? 1 : 0;
                break;
            }
        }
        std::printf("%8.0f %4zu/%-4d %12.0f %12.0f %13.1f%% %12.1f\n", step, delays.size(), count,
                    Median(delays), Quantile(delays, 0.9), 100.0 * exact / count, Median(shifts));
    }
}

// A step soon after a series starts, while the detector still learns its
// level: at shift 3 (the first one judged) up to 12, of 40 shifts.
void EarlySteps(int count) {
    std::printf("\nFindChanges: a 20 Hz step early in a series of 40 shifts, errors 0.5-3 Hz, "
                "%d series each\n",
                count);
    std::printf("%8s %8s %12s %14s %10s\n", "step at", "found", "delay med", "start exact",
                "early");
    for (size_t at : {3, 4, 5, 6, 8, 12}) {
        std::vector<double> delays;
        long exact = 0, early = 0;
        for (int s = 1; s <= count; ++s) {
            std::mt19937_64 rng(5000 + s);
            for (const Change& c : FindChanges(ShiftSeries(rng, 40, 1, 0, at, 20))) {
                if (c.raised < at) {
                    ++early;
                    continue;
                }
                delays.push_back(static_cast<double>(c.raised - at));
                exact += c.start == at ? 1 : 0;
                break;
            }
        }
        std::printf("%8zu %4zu/%-4d %12.0f %13.1f%% %10ld\n", at, delays.size(), count,
                    Median(delays), 100.0 * exact / count, early);
    }
}

// The cost of one reading through the detector, the readings made beforehand.
void Speed() {
    std::mt19937_64 rng(1);
    std::normal_distribution<double> normal(1200, 3000);
    std::vector<double> readings(10000000);
    for (double& v : readings)
        v = normal(rng);
    SelfStartingCusum cusum;
    long alarms = 0;
    const std::clock_t t0 = std::clock(); // CPU time: the machine may be shared
    for (size_t i = 0; i < readings.size(); ++i) {
        SelfStartingCusum::Alarm a;
        alarms += cusum.Add(readings[i], static_cast<long long>(i), &a) ? 1 : 0;
    }
    const double s = static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
    std::printf("\nSelfStartingCusum: %.1f ns of CPU a reading over %zu readings (%ld alarms)\n",
                1e9 * s / static_cast<double>(readings.size()), readings.size(), alarms);
}

} // namespace

int main(int argc, char** argv) {
    const int streams = argc > 1 ? std::atoi(argv[1]) : 100;
    const int series = argc > 2 ? std::atoi(argv[2]) : 2000;
    if (streams < 1 || series < 1) {
        std::fprintf(stderr, "usage: detector_rates [streams >= 1] [series >= 1]\n");
        return 2;
    }
    std::printf("SelfStartingCusum on clean streams of 100000 readings, %d streams a row\n",
                streams);
    std::printf("%6s %6s %12s %8s %16s %18s\n", "k", "h", "readings", "alarms", "run length",
                "Siegmund (2-sided)");
    const double k = SelfStartingCusum::kSlack;
    for (double h : {20.0, 40.0, 60.0, 80.0, 100.0, SelfStartingCusum::kLimit}) {
        const StreamResult r = CleanStreams(k, h, streams, 100000);
        const double predicted = SiegmundRunLength(k, h) / 2;
        std::printf("%6.2f %6.0f %12lld %8ld %16.3g %18.3g\n", k, h, r.readings, r.alarms,
                    r.alarms ? static_cast<double>(r.readings) / r.alarms : INFINITY, predicted);
    }
    SinglesSteps(std::max(10, streams / 2));
    CleanSeries(series);
    SeriesSteps(std::max(100, series / 4));
    EarlySteps(std::max(100, series / 4));
    Speed();
    return 0;
}
