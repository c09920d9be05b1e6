// The analysis page of a large line: the overview, the small charts on shared
// scales, the shifts and the details under their names, from an analysis made
// up here (24 stations, three weeks of shifts), and its look in Chromium.
#include "reports/Html.h"
#include "support/StationChips.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

namespace station {
namespace {

constexpr int kStations = 24, kShifts = 63;
constexpr int kFlagged = 4, kAging = 10, kEscaped = 23;
const TimeMs kStart = DaysFromCivil(2026, 11, 16) * kMsPerDay + 6 * 3600000LL;

// A line of 24 testers on EGSM900 channel 62 (a limit of 45 Hz): even ones
// run golden units, odd ones only production; the fifth reads 70 Hz high,
// the eleventh ages 3 Hz a day and stepped once, the last has a name to escape.
LineAnalysis bigLine(bool serials, bool times) {
    LineAnalysis a;
    a.config = "line <demo> & co";
    a.hasSerials = serials;
    a.hasTimes = times;
    a.absolute = true;
    a.driftSlack = 0.5;
    a.driftLimit = 5;
    a.stations.resize(kStations);
    Window cdac{true, 10, 40};
    a.line.values.resize(AllChips().size());
    a.line.values[0][kCdacValue].Setup(cdac);
    for (int i = 0; i < kStations; ++i) {
        StationStats& s = a.stations[static_cast<size_t>(i)];
        s.name = i == kEscaped ? "st<24>&\"x\""
                               : "station-" + std::string(i < 9 ? "0" : "") + std::to_string(i + 1);
        s.band = 1;
        s.channel = 62;
        s.units = 4000 + 10 * i;
        s.passed = s.units - 40 - i;
        s.failures["CDAC out of window"].count = 30 + i;
        s.values.resize(AllChips().size());
        s.values[0][kCdacValue].Setup(cdac);
        for (int u = 0; u < 50; ++u)
            s.values[0][kCdacValue].Add(20 + (u * 7 + i) % 9);
        s.unread = i == 2 ? 3 : 0;
        if (i == 2)
            s.unreadExamples.push_back({17, "garbled <line> & more"});
        for (int c = 0; c < 40; ++c) {
            const double level = (i == kFlagged ? 70 : 0) + (c % 5) - 2;
            s.chart.push_back({c * 100L, 100, 100 * level});
            s.reference.Add(level);
            s.reference.Add(level + 4);
        }
        a.line.units += s.units;
        a.line.values[0][kCdacValue].Merge(s.values[0][kCdacValue]);
        a.line.passed += s.passed;
    }
    a.stations[kAging].alarms.push_back({2100, 21000, 2300, 24,
                                         times ? kStart + 12 * kMsPerDay + 3600000 : kNoTime,
                                         serials ? "356938035643809" : "", "golden", -1});
    a.line.failures["CDAC out of window"].count = 999;
    for (int i = 0; i < kStations; ++i) {
        StationRow r;
        r.stats = &a.stations[static_cast<size_t>(i)];
        r.biasHz = i == kFlagged ? 70 : (i % 7) * 3 - 9;
        r.seHz = 4 + i % 3;
        r.biasPpm = r.biasHz / 902.4;
        r.sePpm = r.seHz / 902.4;
        r.flagged = i == kFlagged;
        r.method = i % 2 == 0 ? "golden+pairs" : "pairs";
        if (i % 2 == 0 && times) {
            r.golden = {true, r.biasHz, 2, 63};
            for (int g = 0; g < 3 * 21; ++g)
                r.goldenPoints.push_back(
                    {kStart + g * kMsPerShift + 600000,
                     r.biasHz + (g % 4) - 1.5 + (i == kAging && g > 36 ? 3.0 * (g - 36) / 3 : 0)});
        }
        if (i == kAging && times) {
            r.trend = {true, 3.0, 0.4, 0, kStart + 12 * kMsPerDay, kStart + 27 * kMsPerDay};
            r.trend.levelHz = r.biasHz;
        }
        a.rows.push_back(r);
    }
    if (times)
        for (int sh = 0; sh < kShifts; ++sh) {
            const long long shift = ShiftOf(kStart) + sh;
            ShiftRow line;
            line.shift = shift;
            for (int i = 0; i < kStations; ++i) {
                ShiftRow row;
                row.shift = shift;
                row.station = i;
                row.units = 60;
                row.passed = 58 - (sh % 4 == 0 ? 2 : 0);
                row.firstTests = 55;
                row.firstPassed = 52 - sh % 3;
                const double aged = i == kAging && sh > 36 ? (sh - 36) : 0;
                row.bias = {true, a.rows[static_cast<size_t>(i)].biasHz + (sh % 3) - 1 + aged, 6,
                            10};
                row.method = "pairs";
                a.shifts.push_back(row);
                line.units += row.units;
                line.passed += row.passed;
                line.firstTests += row.firstTests;
                line.firstPassed += row.firstPassed;
            }
            a.shifts.push_back(line);
        }
    return a;
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The text between the first `from` at or after `at` and the next `to`.
std::string between(const std::string& text, const std::string& from, const std::string& to,
                    size_t at = 0) {
    size_t b = text.find(from, at);
    if (b == std::string::npos)
        return std::string();
    size_t e = text.find(to, b);
    return text.substr(b, e == std::string::npos ? std::string::npos : e - b);
}

// The overview's rows, each as its raw cells.
std::vector<std::vector<std::string>> overviewRows(const std::string& page) {
    const std::string table = between(page, "<table id=\"overview\">", "</table>");
    std::vector<std::vector<std::string>> rows;
    for (size_t at = table.find("<tr", 1); at != std::string::npos;
         at = table.find("<tr", at + 1)) {
        const std::string row = table.substr(at, table.find("</tr>", at) - at);
        std::vector<std::string> cells;
        for (size_t c = row.find("<td"); c != std::string::npos; c = row.find("<td", c + 1))
            cells.push_back(row.substr(c, row.find("</td>", c) - c));
        if (!cells.empty())
            rows.push_back(cells);
    }
    return rows;
}

class BigLine : public ::testing::Test {
protected:
    static void SetUpTestSuite() { page = AnalysisPage(bigLine(true, true)); }
    static std::string page;
};
std::string BigLine::page;

TEST_F(BigLine, OverviewRowAStationWithIntervalSparklineDriftAndAlarm) {
    const auto rows = overviewRows(page);
    ASSERT_EQ(static_cast<size_t>(kStations), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& r = rows[i];
        ASSERT_EQ(12u, r.size()) << i;
        EXPECT_NE(std::string::npos, r[5].find("<circle")) << "no interval mark in row " << i;
        EXPECT_NE(std::string::npos, r[10].find("<polyline")) << "no sparkline in row " << i;
        EXPECT_NE(std::string::npos, r[11].find(i == kFlagged ? "BIASED" : ">ok")) << i;
        EXPECT_EQ(i % 2 == 0 ? "golden+pairs" : "pairs", r[6].substr(r[6].find('>') + 1)) << i;
    }
    EXPECT_EQ(1u, count(page, "<tr class=\"flagged\">"));
    EXPECT_NE(std::string::npos, rows[kFlagged][3].find("+70.0 &plusmn; 5.0"));
    EXPECT_NE(std::string::npos, rows[kAging][7].find("+3.00 &plusmn; 0.40"));
    EXPECT_NE(std::string::npos, rows[kAging][8].find("2026-12-13"));
    EXPECT_NE(std::string::npos, rows[kAging][9].find("<b>1</b>: 11-28 07:00, +24 Hz"));
    EXPECT_EQ(">-", rows[kAging - 1][7].substr(rows[kAging - 1][7].size() - 2)) << "no trend";
}

TEST_F(BigLine, ChartsOnSharedScalesWithAlarmAndTrendToTheLimit) {
    const std::string grid = between(page, "<div class=\"grid\">", "<h2");
    ASSERT_EQ(static_cast<size_t>(kStations), count(grid, "<div class=\"chart"));
    EXPECT_EQ(12u, count(grid, "golden readings 63"));
    EXPECT_EQ(12u, count(grid, "reference-point error"));
    // The biased tester's chart says so in words, not by its frame's colour alone.
    EXPECT_EQ(1u, count(grid, "<div class=\"chart flagged\">"));
    EXPECT_EQ(1u, count(grid, "\xe2\x96\xb2 BIASED"));
    // One scale for every golden chart: the biased tester's readings reach
    // 71.5 Hz, and 5 % more is the edge of each.
    for (size_t at = grid.find("<svg"); at != std::string::npos; at = grid.find("<svg", at + 1)) {
        const std::string chart = between(grid, "<svg", "</svg>", at);
        if (chart.find("golden readings") == std::string::npos)
            continue;
        EXPECT_TRUE(chart.find(">+75</text>") != std::string::npos &&
                    chart.find(">-75</text>") != std::string::npos)
            << chart.substr(0, 600);
    }
    const std::string aging = between(grid, "station-11", "</svg>");
    EXPECT_NE(std::string::npos, aging.find("alarm +24 Hz"));
    EXPECT_NE(std::string::npos, aging.find("limit 2026-12-13"));
    EXPECT_NE(std::string::npos, aging.find("stroke-dasharray=\"6,4\"")) << "no projection";
    EXPECT_NE(std::string::npos, aging.find("+3.00 \xc2\xb1 0.40 Hz/day"));
    EXPECT_NE(std::string::npos, page.find("alarm: from unit 2100 (line 21000), 2026-11-28 07:00, "
                                           "serial 356938035643809"));
}

TEST(Page, OneWildReadingDoesNotSqueezeTheOtherCharts) {
    LineAnalysis a = bigLine(true, true);
    a.rows[0].goldenPoints[5].hz = 5000;
    a.shifts[7].bias.hz = -5000;
    const std::string page = AnalysisPage(a);
    // Four limits of 45.12 Hz: the edge of every golden and shift chart.
    EXPECT_EQ(12u, count(between(page, "<div class=\"grid\">", "<h2"), ">+180</text>"));
    EXPECT_EQ(24u, count(between(page, "<div class=\"grid small\">", "<details>"), ">+180</text>"));
}

TEST_F(BigLine, ShiftsChartedAndTabledUnderDetails) {
    const std::string shifts = between(page, "<h2 id=\"shifts\">", "<h2 id=\"failures\">");
    ASSERT_FALSE(shifts.empty());
    EXPECT_NE(std::string::npos, shifts.find("first-pass yield"));
    EXPECT_EQ(static_cast<size_t>(kStations),
              count(between(shifts, "<div class=\"grid small\">", "<details>"), "<svg"));
    const std::string table = between(shifts, "<details><summary>", "</details>");
    EXPECT_EQ(static_cast<size_t>(kShifts * (kStations + 1)), count(table, "<tr") - 1);
    // The line's first shift: 1440 tests, 1344 passed, 1320 first tests, 1248 passed first.
    EXPECT_NE(std::string::npos,
              table.find("<td class=\"l\">2026-11-16 06:00</td><td class=\"l\">early</td><td "
                         "class=\"l\">line</td><td>1440</td><td>93.33</td><td>94.55</td>"));
    EXPECT_NE(std::string::npos, table.find(">night</td>"));
}

TEST_F(BigLine, DetailsPerStationAndEveryTextEscaped) {
    EXPECT_EQ(static_cast<size_t>(kStations), count(page, "<details class=\"station\">"));
    const std::string third =
        between(page, "<details class=\"station\"><summary>station-03", "</details>");
    EXPECT_NE(std::string::npos, third.find("3 unread"));
    EXPECT_NE(std::string::npos, third.find("line 17: <code>garbled &lt;line&gt; &amp; more"));
    EXPECT_NE(std::string::npos, third.find("<td class=\"l\">station-03</td>"));
    EXPECT_EQ(std::string::npos, page.find("st<24>"));
    EXPECT_EQ(std::string::npos, page.find("<demo>"));
    EXPECT_GE(count(page, "st&lt;24&gt;&amp;&quot;x&quot;"), 4u);
    EXPECT_EQ(std::string::npos, page.find("single-units")) << "serials and times were given";
    EXPECT_EQ(std::string::npos, page.find("<script"));
}

struct Logs {
    bool serials, times;
    const char* says;
};
void PrintTo(const Logs& logs, std::ostream* out) {
    *out << logs.says;
}
class WithoutSerialsOrTimes : public ::testing::TestWithParam<Logs> {};

TEST_P(WithoutSerialsOrTimes, NoticeSaysTheBiasesRestOnSingleUnits) {
    const Logs g = GetParam();
    const std::string page = AnalysisPage(bigLine(g.serials, g.times));
    const std::string notice = between(page, "<div id=\"single-units\"", "</div>");
    ASSERT_FALSE(notice.empty());
    EXPECT_NE(std::string::npos, notice.find(g.says));
    EXPECT_EQ(!g.serials, notice.find("rests on single units") != std::string::npos);
    // Without times the golden units have no chart of their own and no shifts show.
    EXPECT_EQ(g.times, page.find("<h2 id=\"shifts\">") != std::string::npos);
    EXPECT_EQ(g.times ? 12u : 24u, count(page, "reference-point error</text>"));
}

INSTANTIATE_TEST_SUITE_P(Page, WithoutSerialsOrTimes,
                         ::testing::Values(Logs{false, true, "no serials."},
                                           Logs{true, false, "no times."},
                                           Logs{false, false, "no serials and no times."}),
                         [](const ::testing::TestParamInfo<Logs>& logs) {
                             return std::string(logs.param.serials ? "" : "NoSerials") +
                                    (logs.param.times ? "" : "NoTimes");
                         });

TEST(Page, OfNoStationIsAWholePage) {
    const std::string page = AnalysisPage(LineAnalysis());
    EXPECT_NE(std::string::npos, page.find("<p>No alarm.</p>"));
    EXPECT_EQ(0u, overviewRows(page).size());
    EXPECT_EQ(0u, count(page, "<div class=\"chart"));
    EXPECT_EQ(std::string::npos, page.find("nan"));
    EXPECT_EQ(0, page.compare(page.size() - 15, 15, "</body></html>\n"));
}

// --- in a real browser -----------------------------------------------------------

int chromium(const std::string& args) {
    char profile[] = "/tmp/page-test-chromium-XXXXXX";
    if (::mkdtemp(profile) == nullptr)
        return -1;
    int s = std::system(("timeout 180 /usr/bin/chromium --headless --no-sandbox --disable-gpu "
                         "--disable-quic --no-first-run --disable-background-networking "
                         "--disable-component-update --disable-sync --user-data-dir='" +
                         std::string(profile) + "' " + args + " >/dev/null 2>&1")
                            .c_str());
    std::system(("rm -rf '" + std::string(profile) + "'").c_str());
    return WIFEXITED(s) ? WEXITSTATUS(s) : -1;
}

long fileSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<long>(in.tellg()) : -1;
}

// The page's top (the overview), its charts and its shifts as a laptop shows
// them, left in SHOTS_DIR to look at. A part below the top is shot through a
// frame scrolled to it: the headless browser draws a scrolled window blank.
TEST(BigLinePage, ScreenshotsInChromium) {
    if (::access("/usr/bin/chromium", X_OK) != 0)
        GTEST_SKIP() << "no /usr/bin/chromium: the page is not rendered (scripts/deps.sh "
                        "installs it)";
    const std::string shots = SHOTS_DIR, page = shots + "/line-page-24.html";
    {
        std::ofstream out(page, std::ios::binary);
        out << AnalysisPage(bigLine(true, true));
        ASSERT_TRUE(out.good());
    }
    for (const std::string part : {"", "drift", "shifts", "capability"}) {
        const std::string name = "line-page-24" + (part.empty() ? "" : "-" + part);
        std::string target = page;
        if (!part.empty()) {
            target = shots + "/" + name + ".html";
            std::ofstream frame(target, std::ios::binary);
            frame << "<!DOCTYPE html><html><body style=\"margin:0;overflow:hidden\"><iframe "
                     "src=\"line-page-24.html#"
                  << part
                  << "\" "
                     "style=\"display:block;border:0;width:1280px;height:1100px\"></iframe></"
                     "body></html>";
            ASSERT_TRUE(frame.good());
        }
        const std::string shot = shots + "/" + name + ".png";
        std::remove(shot.c_str());
        ASSERT_EQ(0, chromium("--window-size=1280,1100 --screenshot='" + shot + "' 'file://" +
                              target + "'"));
        EXPECT_GT(fileSize(shot), 20000) << "a blank screenshot: " << shot;
    }
}

} // namespace
} // namespace station
