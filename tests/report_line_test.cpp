// The printf-free report formatting gives printf's bytes: "%f" of every kind
// of double, "%lld", and the PFER and result lines against their formats.
#include "common/AfcActionBase.h"
#include "common/ReportLine.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

std::string printfFixed(double v) {
    char buf[400];
    int n = std::snprintf(buf, sizeof buf, "%f", v);
    return std::string(buf, static_cast<size_t>(n));
}

// FormatFixed against snprintf, text and length, and through Format.
void expectFixedAsPrintf(double v) {
    char buf[400];
    int n = report::FormatFixed(v, buf, sizeof buf);
    std::string expected = printfFixed(v);
    ASSERT_EQ(expected, std::string(buf)) << "%a: " << std::hexfloat << v;
    ASSERT_EQ(static_cast<int>(expected.size()), n);
    std::string line;
    report::Format(&line, "x%f", v);
    ASSERT_EQ("x" + expected, line);
}

std::vector<double> edgeValues() {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> v = {0.0,
                             -0.0,
                             1.0,
                             -1.0,
                             0.5,
                             0.0000005,
                             -0.0000005,
                             0.0000015,
                             0.0000025,
                             0.0000004999999,
                             1e-7,
                             -1e-7,
                             0.0078125, // exact ties at the sixth decimal: to even
                             0.0234375,
                             -0.0078125,
                             1.0 / 128 + 1,
                             999999.9999995,
                             9999999.9999995,
                             0.9999995,
                             123456.7890125,
                             4294967295.0,
                             4294967296.5,
                             1e13,
                             1.8e13,
                             1.8446744073709e13,
                             1.8446744073710e13,
                             1e14,
                             1e15,
                             -1e15,
                             1e16,
                             9007199254740993.0,
                             1e22,
                             1e23,
                             1e300,
                             -1e300,
                             DBL_MAX,
                             -DBL_MAX,
                             DBL_MIN,
                             -DBL_MIN,
                             std::numeric_limits<double>::denorm_min(),
                             -std::numeric_limits<double>::denorm_min(),
                             std::ldexp(1.0, -64),
                             std::ldexp(1.0, -65),
                             std::ldexp(3.0, -66),
                             static_cast<double>(FLT_MAX),
                             static_cast<double>(-FLT_MAX),
                             static_cast<double>(FLT_MIN),
                             static_cast<double>(std::numeric_limits<float>::denorm_min()),
                             static_cast<double>(-7123.456f),
                             static_cast<double>(0.1f),
                             0.1,
                             -0.1,
                             inf,
                             -inf,
                             nan,
                             -nan};
    return v;
}

TEST(ReportFixed, EdgeValuesAsPrintf) {
    for (double v : edgeValues())
        expectFixedAsPrintf(v);
}

TEST(ReportFixed, RandomValuesAsPrintf) {
    std::mt19937_64 draw(20261209);
    std::uniform_int_distribution<int> exponent(-40, 50);
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    for (int i = 0; i < 20000; ++i) {
        // Every magnitude, every bit pattern, the measured errors (floats),
        // and halves and near-halves of the sixth decimal.
        double scaled = std::ldexp(mantissa(draw), exponent(draw));
        uint64_t bits = draw();
        double pattern = 0;
        std::memcpy(&pattern, &bits, sizeof pattern);
        double fe = static_cast<double>(static_cast<float>(std::ldexp(mantissa(draw), 16)));
        double tie = static_cast<double>(static_cast<int64_t>(draw() % 2000000001) - 1000000000) /
                     std::ldexp(1.0, 7 + static_cast<int>(draw() % 20));
        for (double v :
             {scaled, pattern, fe, tie, std::nextafter(tie, 1e300), std::nextafter(tie, -1e300)})
            expectFixedAsPrintf(v);
    }
}

TEST(ReportFixed, ShortBufferCutsAsSnprintf) {
    for (double v : {-1234.5678, 0.0078125, 1e20, -0.0}) {
        for (size_t size : {0, 1, 2, 5, 9, 12, 13}) {
            char ours[16], theirs[16];
            std::memset(ours, 'z', sizeof ours);
            std::memset(theirs, 'z', sizeof theirs);
            int n = report::FormatFixed(v, size == 0 ? nullptr : ours, size);
            int m = std::snprintf(size == 0 ? nullptr : theirs, size, "%f", v);
            EXPECT_EQ(m, n) << v << " in " << size;
            EXPECT_EQ(0, std::memcmp(ours, theirs, sizeof ours)) << v << " in " << size;
        }
    }
}

TEST(ReportFixed, OtherRoundingModesAsPrintf) {
    const int mode = std::fegetround();
    for (int m : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(0, std::fesetround(m));
        for (double v : {0.1, -0.1, 0.0078125, 2.0 / 3, -1e-9, 12345.6789})
            expectFixedAsPrintf(v);
    }
    std::fesetround(mode);
}

TEST(ReportInt, AsPrintf) {
    std::mt19937_64 draw(7);
    std::vector<long long> values = {0,       1,       -1,        9,         10,    -10,
                                     INT_MAX, INT_MIN, LLONG_MAX, LLONG_MIN, 65535, -32768};
    for (int i = 0; i < 2000; ++i)
        values.push_back(static_cast<long long>(draw() >> (draw() % 64)) * (i % 2 ? -1 : 1));
    for (long long v : values) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%lld", v);
        std::string line = "old text";
        report::Format(&line, "a,%lld", v);
        ASSERT_EQ(std::string("a,") + buf, line);
    }
}

TEST(ReportFormat, TextPercentAndArgumentsInOrder) {
    std::string line = "old text";
    report::Format(&line, "");
    EXPECT_EQ("", line);
    report::Format(&line, "no conversions");
    EXPECT_EQ("no conversions", line);
    char expected[128];
    std::snprintf(expected, sizeof expected, "%d%% of %s: %f%%, %hd;%ld", 93, "units", -0.25,
                  static_cast<short>(-7), 123456789L);
    report::Format(&line, "%d%% of %s: %f%%, %hd;%ld", 93, "units", -0.25, static_cast<short>(-7),
                   123456789L);
    EXPECT_EQ(std::string(expected), line);
}

// The lines against the formats they replace, over random fields.
TEST(ReportLines, PferAndResultLinesAsTheirFormats) {
    std::mt19937_64 draw(11);
    std::string line;
    for (int i = 0; i < 5000; ++i) {
        auto u16 = [&] { return static_cast<uint16_t>(draw()); };
        int counter = static_cast<int>(draw() % 100000) - (i % 7 == 0 ? 50000 : 0);
        int32_t d = static_cast<int32_t>(draw());
        uint16_t ch = u16(), pcl = u16(), a = u16(), b = u16(), cdac = u16(), cafc = u16(),
                 c = u16();
        double fe = i % 3 == 0 ? static_cast<double>(static_cast<float>(
                                     std::ldexp(static_cast<double>(static_cast<int32_t>(draw())),
                                                -static_cast<int>(draw() % 40))))
                               : std::ldexp(static_cast<double>(static_cast<int64_t>(draw())),
                                            static_cast<int>(draw() % 200) - 100);
        const char* band = i % 2 ? "EGSM900" : "-";
        char expected[512];
        std::snprintf(expected, sizeof expected,
                      "%s_PFER_%d,%s,%d,%d,%d,%d,-,%d,%d,%d,%d,%d,-,%f,-,%s,-", "VT318_AFC",
                      counter, band, ch, ch, pcl, d, a, b, cdac, cafc, c, fe, "Hz");
        vantor::FormatPferLine(&line, "VT318_AFC", counter, band, ch, pcl, d, a, b, cdac, cafc, c,
                               fe);
        ASSERT_EQ(std::string(expected), line);

        int value = static_cast<int16_t>(draw());
        const char* formats[] = {"%s.CDAC,-,-,-,-,-,-,-,-,-,-,-,-,%d,-,-,-",
                                 "%s.CAFC,-,-,-,-,-,-,-,-,-,-,-,-,%d,-,-,-",
                                 "%s.slope_length,-,-,-,-,-,-,-,-,-,-,-,-,%d,-,-,-"};
        const vantor::NvField fields[] = {vantor::NvField::Cdac, vantor::NvField::Cafc,
                                          vantor::NvField::SlopeLength};
        for (int f = 0; f < 3; ++f) {
            std::snprintf(expected, sizeof expected, formats[f], vantor::kNvStructName, value);
            vantor::FormatResultLine(&line, fields[f], value);
            ASSERT_EQ(std::string(expected), line);
        }
    }
}

} // namespace
