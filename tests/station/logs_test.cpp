// The log reader's own pieces and the thread runner, natively and under
// Wine: numbers read as the C runtime reads them, lines cut wherever they
// fall, and parts run side by side on threads, the first failure named.
#include "logs/HostLog.h"
#include "logs/LogSource.h"
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
