// The log reader's own pieces and the thread runner, natively and under
// Wine: numbers read as the C runtime reads them, lines cut wherever they
// fall, and parts run side by side on threads, the first failure named.
#include "logs/HostLog.h"
#include "logs/LogSource.h"
#include "logs/Prefix.h"
#include "support/Jobs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace station;

// The columns' numbers as the reader took them before it read plain
// decimals itself: through strtod and strtol, with the same refusals.
bool referenceDouble(const std::string& s, double* out) {
    if (s.empty() || s.size() > 40)
        return false;
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v) || s[0] == ' ')
        return false;
    *out = v;
    return true;
}

bool referenceLong(const std::string& s, long low, long high, long* out) {
    if (s.empty() || s.size() > 20)
        return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s.c_str(), &end, 10);
    if (errno != 0 || end != s.c_str() + s.size() || v < low || v > high || s[0] == ' ' ||
        s[0] == '+')
        return false;
    *out = v;
    return true;
}

// Both refuse, or both take the same double, bit for bit (the sign of zero too).
void expectSameDouble(const std::string& s) {
    double mine = 12345, theirs = 12345;
    const bool took = ParseLoggedDouble(s, &mine);
    ASSERT_EQ(referenceDouble(s, &theirs), took) << "'" << s << "'";
    if (took) {
        ASSERT_EQ(0, std::memcmp(&mine, &theirs, sizeof mine))
            << "'" << s << "': " << mine << " against strtod's " << theirs;
    }
}

void expectSameLong(const std::string& s, long low, long high) {
    long mine = 12345, theirs = 12345;
    const bool took = ParseLoggedLong(s, low, high, &mine);
    ASSERT_EQ(referenceLong(s, low, high, &theirs), took)
        << "'" << s << "' in " << low << ".." << high;
    if (took) {
        ASSERT_EQ(theirs, mine) << "'" << s << "'";
    }
}

TEST(LoggedNumbers, DecimalsAreStrtodsAtEveryEdge) {
    const char* const cases[] = {
        // The library's %f, and the edges of the plain form read without strtod.
        "0",
        "-0",
        "0.0",
        "-0.000000",
        "1",
        "-1",
        "1.5",
        "3048.546631",
        "-1733.833618",
        "0.1",
        "0.2",
        "0.3",
        "0.7",
        "123456789.123456",
        "999999999.999999",
        "9007199254740992",
        "9007199254740993",
        "-9007199254740993",
        "900719925474099.2",
        "900719925474099.3",
        "9007199254740.993",
        "0.9007199254740993",
        "1234567890123456789",
        "12345678901234567890",
        "0000000000000000001.5",
        "000000000000000000001",
        "0.0000000000000000000001",
        "0.00000000000000000000001",
        "1.0000000000000000000001",
        "4.9406564584124654",
        "2.2250738585072014",
        "1.7976931348623157",
        "0.30000000000000004",
        "5e-324",
        // Other forms strtod takes, and what the reader refuses.
        "1.",
        ".5",
        "-.5",
        "+1.5",
        " 1.5",
        "\t1.5",
        "1.5 ",
        "1e5",
        "1E-3",
        "-2.5e+3",
        "0x1p3",
        "0x1.8p1",
        "inf",
        "-inf",
        "INF",
        "nan",
        "NaN",
        "1e400",
        "-1e400",
        "1e-400",
        "",
        "-",
        "+",
        ".",
        "-.",
        "1.2.3",
        "1,5",
        "--1",
        "1-",
        "1..2",
        "abc",
        "12a",
        "0x",
        "1234567890123456789012345678901234567890",
        "12345678901234567890123456789012345678901",
        "-000000000000000000000000000000000000001",
        "0.000000000000000000000000000000000000001",
    };
    for (const char* c : cases)
        expectSameDouble(c);
}

TEST(LoggedNumbers, DecimalsAreStrtodsOverManyValues) {
    std::mt19937_64 random(28);
    char buf[64];
    // Values of every size a log may hold, at every count of decimals.
    for (int i = 0; i < 40000; ++i) {
        std::uniform_real_distribution<double> mantissa(-10, 10);
        const double v = mantissa(random) * std::pow(10.0, static_cast<int>(random() % 19) - 6);
        const int decimals = static_cast<int>(random() % 23);
        std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
        expectSameDouble(buf);
    }
    // Digit strings with no pattern: near and beyond 2^53 and 19 digits.
    for (int i = 0; i < 200000; ++i) {
        std::string s = random() % 4 == 0 ? "-" : "";
        const int whole = static_cast<int>(random() % 21),
                  fraction = static_cast<int>(random() % 24);
        for (int d = 0; d < whole; ++d)
            s += static_cast<char>('0' + random() % 10);
        if (fraction > 0 || random() % 8 == 0)
            s += '.';
        for (int d = 0; d < fraction; ++d)
            s += static_cast<char>('0' + random() % 10);
        expectSameDouble(s);
    }
}

TEST(LoggedNumbers, IntegersAreStrtolsAtEveryEdge) {
    const char* const cases[] = {
        "0",
        "-0",
        "7",
        "007",
        "-1",
        "+1",
        " 1",
        "\t1",
        "1 ",
        "1\t",
        "55",
        "65535",
        "65536",
        "32767",
        "32768",
        "-32768",
        "-32769",
        "2147483647",
        "2147483648",
        "-2147483648",
        "4294967296",
        "999999999999999999",
        "-999999999999999999",
        "9223372036854775807",
        "9223372036854775808",
        "99999999999999999999",
        "00000000000000000007",
        "000000000000000000007",
        "0x10",
        "1e3",
        "1.0",
        "",
        "-",
        "+",
        "--1",
        "1-",
        "12a",
        "a12",
    };
    const long ranges[][2] = {{0, 0x7FFFFFFF}, {0, 65535}, {-32768, 32767}};
    for (const char* c : cases)
        for (const auto& r : ranges)
            expectSameLong(c, r[0], r[1]);
    std::mt19937_64 random(28);
    for (int i = 0; i < 100000; ++i) {
        std::string s = random() % 3 == 0 ? "-" : "";
        const int digits = static_cast<int>(random() % 21);
        for (int d = 0; d < digits; ++d)
            s += static_cast<char>('0' + random() % 10);
        const auto& r = ranges[random() % 3];
        expectSameLong(s, r[0], r[1]);
    }
}

// Lines of every length around the reader's eight-byte steps and across its
// buffer's refills: each comes back whole, CR and all, the last without a break.
TEST(PartReaderLines, EveryLineComesBackWhole) {
    std::mt19937 random(28);
    std::vector<std::string> lines;
    std::string text;
    size_t bytes = 0;
    for (size_t n = 0; bytes < (5u << 20); ++n) {
        const size_t length = n < 64 ? n % 20 : random() % (random() % 16 == 0 ? 3000 : 120);
        std::string line(length, 'x');
        for (char& c : line)
            c = static_cast<char>(' ' + random() % 95);
        if (length > 0 && random() % 5 == 0)
            line.back() = '\r';
        lines.push_back(line);
        text += line + "\n";
        bytes += length + 1;
    }
    lines.push_back("VT318_AFC_PFER_0 with no line break");
    text += lines.back();
    const std::string path = ::testing::TempDir() + "logs-test-lines.log";
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(nullptr, f);
        ASSERT_EQ(text.size(), std::fwrite(text.data(), 1, text.size(), f));
        ASSERT_EQ(0, std::fclose(f));
    }
    std::vector<LogInput> logs;
    std::string error;
    ASSERT_TRUE(ListLogs({path}, &logs, &error)) << error;
    LogPart whole;
    PartReader reader(logs[0], whole);
    ASSERT_TRUE(reader.Open()) << reader.Error();
    std::string_view line;
    size_t n = 0;
    while (reader.Next(&line)) {
        ASSERT_LT(n, lines.size());
        ASSERT_EQ(lines[n], line) << "line " << n + 1;
        ++n;
    }
    EXPECT_EQ(lines.size(), n);
    EXPECT_EQ("", reader.Error());
    EXPECT_EQ(static_cast<long long>(text.size()), reader.BytesRead());
    std::remove(path.c_str());
}

// Prefix templates that cannot be read, and what their error names.
struct BadTemplate {
    const char* text;
    const char* error;
};

class PrefixTemplateErrors : public ::testing::TestWithParam<BadTemplate> {};

TEST_P(PrefixTemplateErrors, NameTheFault) {
    PrefixTemplate t;
    std::string error;
    EXPECT_FALSE(PrefixTemplate::Parse(GetParam().text, &t, &error));
    EXPECT_NE(std::string::npos, error.find(GetParam().error)) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PrefixTemplateErrors,
    ::testing::Values(BadTemplate{"", "empty"},
                      BadTemplate{"{time} {host} ", "unknown field {host}"},
                      BadTemplate{"{time} {station", "unclosed brace at character 8"},
                      BadTemplate{"{station}{serial} ", "no text between two fields"},
                      BadTemplate{"{skip}{station} ", "no text between two fields"},
                      BadTemplate{"{station} {serial} {station} ", "{station} is there twice"},
                      BadTemplate{"{time} {time:%Y%m%d%H%M} ", "twice"},
                      BadTemplate{"{time:%Y-%m-%d %H:%M:%Q} ", "unknown %Q"},
                      BadTemplate{"{time:%Y-%m-%d %H:%M:%S %H} ", "%H twice"},
                      BadTemplate{"{time:%d.%m.%Y %H:%M:%f%S} ",
                                  "%f in the time format '%d.%m.%Y %H:%M:%f%S' must be followed"},
                      BadTemplate{"{time:%Y-%m-%d %H:%M:%S%} ", "lone %"},
                      BadTemplate{"{time:%H:%M:%S} ", "lacks %Y"},
                      BadTemplate{"{time:} ", "needs a format"}));

TEST(PrefixTemplateParse, TakesEveryFieldAndSkipMoreThanOnce) {
    PrefixTemplate t;
    std::string error;
    ASSERT_TRUE(PrefixTemplate::Parse(
        "{skip} {skip} {time:%Y%m%d%H%M%S} {station}/{serial}#{attempt}", &t, &error))
        << error;
    EXPECT_TRUE(t.HasStation());
    ASSERT_TRUE(PrefixTemplate::Parse("{time} {serial} ", &t, &error)) << error;
    EXPECT_FALSE(t.HasStation());
}

// A line matched against a template: whether it matches, and its fields and rest.
struct PrefixCase {
    const char* name;
    const char* templ;
    const char* line;
    bool matches;
    const char* time = ""; // FormatTime of the field, "" none
    const char* station = "";
    const char* serial = "";
    int attempt = 0;
    const char* rest = "";
};

class PrefixMatch : public ::testing::TestWithParam<PrefixCase> {};

TEST_P(PrefixMatch, GivesItsFields) {
    const PrefixCase& c = GetParam();
    PrefixTemplate t;
    std::string error;
    ASSERT_TRUE(PrefixTemplate::Parse(c.templ, &t, &error)) << error;
    PrefixFields f;
    size_t rest = 12345;
    ASSERT_EQ(c.matches, t.Match(c.line, &f, &rest));
    if (!c.matches)
        return;
    EXPECT_EQ(c.time, f.time == kNoTime ? std::string() : FormatTime(f.time));
    EXPECT_EQ(c.station, f.station);
    EXPECT_EQ(c.serial, f.serial);
    EXPECT_EQ(c.attempt, f.attempt);
    EXPECT_EQ(c.rest, std::string_view(c.line).substr(rest));
}

const char* const kUs = "{time:%d/%m/%Y %H:%M:%S.%f} [{station}] {serial} ";

INSTANTIATE_TEST_SUITE_P(
    Fields, PrefixMatch,
    ::testing::Values(
        PrefixCase{"Host", kHostPrefix, "2026-12-07T06:00:00.123 station-01 356938035643809 1 X,1",
                   true, "2026-12-07T06:00:00.123", "station-01", "356938035643809", 1, "X,1"},
        PrefixCase{"HostSeconds", kHostPrefix, "2024-02-29T23:59:59 st 3569 12 X", true,
                   "2024-02-29T23:59:59.000", "st", "3569", 12, "X"},
        PrefixCase{"HostLongFraction", kHostPrefix, "2026-12-07T06:00:00.98765 a b 2 X", true,
                   "2026-12-07T06:00:00.987", "a", "b", 2, "X"},
        PrefixCase{"FormatWithBlanks", kUs, "07/12/2026 14:05:09.1234567 [line 2 st 3] 35 VT", true,
                   "2026-12-07T14:05:09.123", "line 2 st 3", "35", 0, "VT"},
        PrefixCase{"FormatShortFraction", kUs, "31/12/2026 22:00:00.5 [s] 1 VT", true,
                   "2026-12-31T22:00:00.500", "s", "1", 0, "VT"},
        PrefixCase{"Skip", "{skip} {station}: ", "host-42 st-2: X", true, "", "st-2", "", 0, "X"},
        PrefixCase{"SkipEmpty", "<{skip}> {serial} ", "<> 99 X", true, "", "", "99", 0, "X"},
        PrefixCase{"StationLast", "{time} {station}", "2026-12-07T06:00:00.000 st-9 VT318_X", true,
                   "2026-12-07T06:00:00.000", "st-9", "", 0, " VT318_X"},
        PrefixCase{"AttemptLastAtTheEnd", "{station} {attempt}", "s 3", true, "", "s", "", 3, ""},
        PrefixCase{"TimeLast", "{station} {time}", "s 2026-12-07T06:00 X", false},
        PrefixCase{"TimeLastThenBlank", "{station} {time}", "s 2026-12-07T06:00:01 X", true,
                   "2026-12-07T06:00:01.000", "s", "", 0, " X"},
        PrefixCase{"NoSuchDay", kHostPrefix, "2026-02-29T06:00:00.000 s 1 1 X", false},
        PrefixCase{"NoSuchHour", kHostPrefix, "2026-02-28T24:00:00.000 s 1 1 X", false},
        PrefixCase{"AttemptZero", kHostPrefix, "2026-12-07T06:00:00.000 s 1 0 X", false},
        PrefixCase{"AttemptNotANumber", kHostPrefix, "2026-12-07T06:00:00.000 s 1 1a X", false},
        PrefixCase{"EmptyStation", kHostPrefix, "2026-12-07T06:00:00.000  1 1 X", false},
        PrefixCase{"TooFewFields", kHostPrefix, "2026-12-07T06:00:00.000 s 1", false},
        PrefixCase{"PlainLine", kHostPrefix, "VT318_AFC_PFER_0,EGSM900,62", false},
        PrefixCase{"OtherLiteral", kUs, "07/12/2026 14:05:09.1 (s) 35 VT", false},
        PrefixCase{"ShortYear", kUs, "07/12/26 14:05:09.1 [s] 35 VT", false},
        PrefixCase{"NoFraction", kUs, "07/12/2026 14:05:09 [s] 35 VT", false}),
    [](const ::testing::TestParamInfo<PrefixCase>& p) { return p.param.name; });

// A VT318 unit that passed, as the library logs it; its CAFC tells it apart.
std::vector<std::string> unitLines(int cafc) {
    const std::string nv = "calibration_param_T.rf_param_dsp_use.rf_common_param_dsp_use."
                           "nimb2_RF_AFC_STRUCT.";
    return {"VT318_AFC_PFER_0,EGSM900,62,62,10,0,-,0,0,55,7000,0,-,3048.546631,-,Hz,-",
            "VT318_AFC_PFER_1,EGSM900,62,62,10,0,-,0,0,47,7000,0,-,-1733.833618,-,Hz,-",
            "VT318_AFC_PFER_2,EGSM900,62,62,10,0,-,0,0,49,6000,0,-,-6912.705566,-,Hz,-",
            "VT318_AFC_PFER_3,EGSM900,62,62,10,0,-,0,0,49,8000,0,-,5858.809082,-,Hz,-",
            nv + "CDAC,-,-,-,-,-,-,-,-,-,-,-,-,49,-,-,-",
            nv + "CAFC,-,-,-,-,-,-,-,-,-,-,-,-," + std::to_string(cafc) + ",-,-,-",
            nv + "slope_length,-,-,-,-,-,-,-,-,-,-,-,-,5131,-,-,-"};
}

int cafcOf(const LoggedUnit& u) {
    return u.result[vantor::NvIndex(vantor::NvField::Cafc)];
}

std::string hostPrefix(TimeMs t, const std::string& station, const std::string& serial,
                       int attempt) {
    std::string out;
    AppendHostPrefix(&out, t, station, serial, attempt);
    return out;
}

std::vector<LoggedUnit> readUnits(const std::string& text, const PrefixTemplate& prefix,
                                  HostLog* counts = nullptr) {
    std::vector<LoggedUnit> units;
    UnitReader reader([&](LoggedUnit& u) { units.push_back(u); }, prefix);
    long n = 0;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        reader.Line(std::string_view(text).substr(at, end - at), ++n);
    reader.Finish();
    if (counts != nullptr)
        *counts = reader.Counts();
    return units;
}

// The host prefix is found on its own; a unit takes its first PFER line's,
// and a line without it, or with a damaged one, is read as before.
TEST(HostPrefix, IsFoundOnItsOwn) {
    TimeMs t0 = 0;
    ASSERT_TRUE(ParseTime("2026-12-07T06:00:00.123", &t0));
    std::string text;
    const std::vector<std::string> first = unitLines(7001);
    for (size_t i = 0; i < first.size(); ++i)
        text += hostPrefix(t0 + 1000 * static_cast<TimeMs>(i), "station-03", "356938035643809", 2) +
                first[i] + "\n";
    for (const std::string& l : unitLines(7002))
        text += l + "\n";
    for (const std::string& l : unitLines(7003))
        text += "2026-13-07T06:00:00.000 station-04 356938035643809 1 " + l + "\n";
    HostLog counts;
    const std::vector<LoggedUnit> units = readUnits(text, PrefixTemplate(), &counts);
    ASSERT_EQ(3u, units.size());
    EXPECT_EQ(0, counts.unread);
    EXPECT_EQ(7001, cafcOf(units[0]));
    EXPECT_EQ(t0, units[0].time);
    EXPECT_EQ("station-03", units[0].station);
    EXPECT_EQ("356938035643809", units[0].serial);
    EXPECT_EQ(2, units[0].attempt);
    for (size_t i : {1, 2}) {
        EXPECT_EQ(static_cast<int>(7001 + i), cafcOf(units[i]));
        EXPECT_TRUE(units[i].Passed());
        EXPECT_EQ(kNoTime, units[i].time);
        EXPECT_EQ("", units[i].station);
        EXPECT_EQ("", units[i].serial);
        EXPECT_EQ(0, units[i].attempt);
    }
}

// Stations' lines interleaved in one log, line by line and out of step: each
// station's units come whole, none cut by another's.
TEST(HostPrefix, KeepsInterleavedStationsApart) {
    std::map<std::string, std::vector<std::string>> lines;
    const char* const stations[] = {"station-01", "station-02", "station-03"};
    for (int s = 0; s < 3; ++s)
        for (int u = 0; u < 4; ++u)
            for (const std::string& l : unitLines(7000 + 10 * s + u))
                lines[stations[s]].push_back(hostPrefix(0, stations[s], std::to_string(u), 1) + l);
    // Station s starts 2 s lines late; all then take turns.
    std::string text;
    for (size_t i = 0; i < 40; ++i)
        for (int s = 0; s < 3; ++s)
            if (i >= 2u * s && i - 2 * s < lines[stations[s]].size())
                text += lines[stations[s]][i - 2 * s] + "\n";
    HostLog counts;
    const std::vector<LoggedUnit> units = readUnits(text, PrefixTemplate(), &counts);
    EXPECT_EQ(0, counts.unread);
    std::map<std::string, std::vector<int>> got;
    for (const LoggedUnit& u : units) {
        EXPECT_TRUE(u.Passed()) << u.station << " " << cafcOf(u);
        EXPECT_EQ(4u, u.points.size());
        got[u.station].push_back(cafcOf(u));
    }
    for (int s = 0; s < 3; ++s)
        EXPECT_EQ((std::vector<int>{7000 + 10 * s, 7001 + 10 * s, 7002 + 10 * s, 7003 + 10 * s}),
                  got[stations[s]])
            << stations[s];
}

// A foreign prefix: its units are read either way, their fields only with its template.
TEST(ForeignPrefix, IsReadOnlyWithItsTemplate) {
    std::string text;
    int n = 0;
    for (const char* station : {"A", "B"})
        for (const std::string& l : unitLines(7000 + n++))
            text += "07/12/2026 06:00:" + std::to_string(10 + n) + ".25 [" + station + "] SN" +
                    std::to_string(n) + " " + l + "\n";
    for (const LoggedUnit& u : readUnits(text, PrefixTemplate())) {
        EXPECT_TRUE(u.Passed());
        EXPECT_EQ("", u.station);
        EXPECT_EQ(kNoTime, u.time);
    }
    PrefixTemplate foreign;
    std::string error;
    ASSERT_TRUE(PrefixTemplate::Parse(kUs, &foreign, &error)) << error;
    const std::vector<LoggedUnit> units = readUnits(text, foreign);
    ASSERT_EQ(2u, units.size());
    EXPECT_EQ("A", units[0].station);
    EXPECT_EQ("SN1", units[0].serial);
    EXPECT_EQ("2026-12-07T06:00:11.250", FormatTime(units[0].time));
    EXPECT_EQ("B", units[1].station);
    EXPECT_EQ("SN2", units[1].serial);
}

// A log large enough to be cut: one station's is cut at unit starts; one
// whose prefixes name several stations is one part, and its units come whole.
TEST(CutLogs, KeepsALogOfSeveralStationsWhole) {
    for (int stations : {1, 2}) {
        std::string text;
        for (int u = 0; text.size() < (3u << 20); ++u)
            for (size_t i = 0; i < 7; ++i)
                for (int s = 0; s < stations; ++s)
                    text += hostPrefix(0, "station-" + std::to_string(s), std::to_string(u), 1) +
                            unitLines(7000 + u % 1000)[i] + "\n";
        const std::string path =
            ::testing::TempDir() + "logs-test-cut-" + std::to_string(stations) + ".log";
        {
            std::FILE* f = std::fopen(path.c_str(), "wb");
            ASSERT_NE(nullptr, f);
            ASSERT_EQ(text.size(), std::fwrite(text.data(), 1, text.size(), f));
            ASSERT_EQ(0, std::fclose(f));
        }
        std::vector<LogInput> logs;
        std::string error;
        ASSERT_TRUE(ListLogs({path}, &logs, &error)) << error;
        const std::vector<LogPart> parts = CutLogs(logs, 4);
        EXPECT_EQ(stations == 1 ? 3u : 1u, parts.size()) << stations << " stations";
        long units = 0, whole = 0;
        for (const LogPart& part : parts) {
            PartReader reader(logs[0], part);
            ASSERT_TRUE(reader.Open()) << reader.Error();
            UnitReader read(
                [&](LoggedUnit& u) {
                    ++units;
                    whole += u.Passed() && u.points.size() == 4 ? 1 : 0;
                },
                logs[0].prefix);
            std::string_view line;
            long n = 0;
            while (reader.Next(&line))
                read.Line(line, ++n);
            read.Finish();
        }
        EXPECT_EQ(static_cast<long>(std::count(text.begin(), text.end(), '\n') / 7), units);
        EXPECT_EQ(units, whole);
        std::remove(path.c_str());
    }
}

struct Shape {
    size_t count;
    int jobs;
};

class ThreadShapes : public ::testing::TestWithParam<Shape> {};

TEST_P(ThreadShapes, DoEveryPartOnce) {
    const Shape shape = GetParam();
    std::vector<int> done(shape.count, 0);
    std::string error;
    ASSERT_TRUE(RunThreads(
        shape.count, shape.jobs,
        [&](size_t i, std::string*) {
            ++done[i];
            return true;
        },
        &error))
        << error;
    EXPECT_EQ(std::vector<int>(shape.count, 1), done);
    EXPECT_EQ("", error);
}

INSTANTIATE_TEST_SUITE_P(Shapes, ThreadShapes,
                         ::testing::Values(Shape{0, 2}, Shape{1, 4}, Shape{5, 1}, Shape{37, 2},
                                           Shape{37, 8}, Shape{3, 200}));

TEST(Threads, RunSideBySide) {
    // Each part waits until `jobs` parts are under way: only threads that
    // run at once get there (a bound instead of a hang when they do not).
    constexpr int kJobs = 3;
    std::mutex m;
    std::condition_variable cv;
    int inside = 0;
    std::vector<std::thread::id> ids;
    std::string error;
    auto work = [&](size_t, std::string* why) {
        std::unique_lock<std::mutex> lock(m);
        ids.push_back(std::this_thread::get_id());
        ++inside;
        cv.notify_all();
        if (!cv.wait_for(lock, std::chrono::seconds(60), [&] { return inside >= kJobs; })) {
            *why = "the other parts never started";
            return false;
        }
        return true;
    };
    ASSERT_TRUE(RunThreads(kJobs, kJobs, work, &error)) << error;
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids.end(), std::adjacent_find(ids.begin(), ids.end()));
    EXPECT_EQ(static_cast<size_t>(kJobs), ids.size());
}

TEST(Threads, NameTheFirstPartThatFailedOrThrew) {
    for (int jobs : {1, 2, 4}) {
        std::string error;
        EXPECT_FALSE(RunThreads(
            20, jobs,
            [](size_t i, std::string* why) {
                if (i == 7)
                    throw std::runtime_error("part 8 cannot be read");
                if (i == 12)
                    *why = "part 13 is corrupt";
                return i != 12;
            },
            &error));
        EXPECT_EQ("part 8 cannot be read", error) << jobs << " jobs";
        EXPECT_FALSE(RunThreads(
            4, jobs, [](size_t i, std::string*) -> bool { throw static_cast<int>(i); }, &error));
        EXPECT_EQ("part 1 failed: an exception of no known type", error) << jobs << " jobs";
        EXPECT_FALSE(RunThreads(
            4, jobs, [](size_t i, std::string*) { return i != 2; }, &error));
        EXPECT_EQ("part 3 failed", error) << jobs << " jobs";
    }
}

#if !defined(_WIN32)
TEST(Processes, TurnAWorksExceptionIntoAFailedWorker) {
    std::vector<std::string> results;
    std::string error;
    EXPECT_FALSE(RunJobs(
        4, 2,
        [](size_t i) -> std::string {
            if (i == 1)
                throw std::runtime_error("part 1 cannot be read");
            return "fine";
        },
        &results, &error));
    EXPECT_EQ("a worker process failed", error);
}
#endif

} // namespace
