// The station over a simulated line's logs, run as a program: stations,
// tester bias and steps, capability, sweeps, gzip and broken input, the page.
#include "StationRun.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using stationtest::kind;
using stationtest::Ran;
using stationtest::station;

const std::string& dir() {
    return stationtest::TestDir();
}

// A line of four stations, crystals sorted to a 300 Hz offset spread, whose
// second tester reads 70 Hz off and whose third steps 60 Hz at its unit 5000.
class Line : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Ran r = station("line --units 40000 --stations 4 --spread-offset 300 --seed 3 "
                        "--tester-bias 70@2 --tester-step 60@5000@3 --log '" +
                        dir() + "/line'");
        ASSERT_EQ(0, r.status) << r.out;
        json = station("analyse '" + dir() + "/line' --json --jobs 2").out;
    }
    static std::string json;
};
std::string Line::json;

TEST_F(Line, BiasedTesterFlaggedAloneAndStepAlarmedSoonAfter) {
    auto stations = kind(json, "station");
    ASSERT_EQ(4u, stations.size()) << json;
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ("\"station-0" + std::to_string(i + 1) + "\"", stations[i]["name"]);
        EXPECT_EQ("10000", stations[i]["units"]);
        EXPECT_EQ(i == 1 ? "true" : "false", stations[i]["flagged"]) << stations[i]["bias_hz"];
    }
    // 70 Hz against the rest, whose stepped station stands 30 Hz high on average.
    EXPECT_NEAR(70 - 30 / 3.0, std::stod(stations[1]["bias_hz"]),
                4 * std::stod(stations[1]["bias_se_hz"]));
    EXPECT_NEAR(70 / 902.4, std::stod(stations[1]["bias_ppm"]), 0.03);
    auto drift = kind(json, "drift");
    ASSERT_EQ(1u, drift.size()) << json;
    EXPECT_EQ("\"station-03\"", drift[0]["station"]);
    long unit = std::stol(drift[0]["unit"]);
    EXPECT_GE(unit, 4000);
    EXPECT_LE(unit, 7000) << "the step began at 5000, alarmed from " << unit;
    EXPECT_LE(std::stol(drift[0]["alarm_unit"]), 7000) << "alarmed 2000 units after the step";
    EXPECT_GE(std::stol(drift[0]["alarm_unit"]), unit);
    // The CUSUM's own estimate of the shift, high as it is at an alarm.
    EXPECT_NEAR(60, std::stod(drift[0]["shift_hz"]), 50);
}

TEST_F(Line, CpkOfTheSlopeIsTheUnitsOwn) {
    // The CAFC slope of every unit from its fine pair, as the log has it.
    std::vector<double> slopes;
    for (int s = 1; s <= 4; ++s) {
        std::ifstream in(dir() + "/line/station-0" + std::to_string(s) + ".log");
        std::vector<std::vector<std::string>> pts;
        auto done = [&]() {
            size_t n = pts.size();
            if (n >= 4 && n % 2 == 0 && pts[n - 1][9] == pts[n - 2][9] &&
                pts[n - 1][10] != pts[n - 2][10])
                slopes.push_back((std::stod(pts[n - 1][13]) - std::stod(pts[n - 2][13])) /
                                 (std::stod(pts[n - 1][10]) - std::stod(pts[n - 2][10])));
            pts.clear();
        };
        for (std::string l; std::getline(in, l);) {
            if (l.find("_PFER_") == std::string::npos)
                continue;
            if (l.find("_PFER_0,") != std::string::npos)
                done();
            std::vector<std::string> cols;
            std::stringstream ss(l);
            for (std::string c; std::getline(ss, c, ',');)
                cols.push_back(c);
            pts.push_back(cols);
        }
        done();
    }
    ASSERT_GT(slopes.size(), 39000u);
    double mean = 0, mr = 0;
    for (double v : slopes)
        mean += v;
    mean /= slopes.size();
    for (size_t i = 1; i < slopes.size(); ++i)
        mr += std::fabs(slopes[i] - slopes[i - 1]);
    double within = mr / (slopes.size() - 1) / 1.128;
    double cpk = std::min(10 - mean, mean - 4) / (3 * within);
    for (auto& c : kind(json, "capability")) {
        if (c["station"] != "null" || c["value"] != "\"CAFC Slope\"")
            continue;
        EXPECT_EQ(std::to_string(slopes.size()), c["units"]);
        EXPECT_NEAR(cpk, std::stod(c["cpk"]), 0.01);
        return;
    }
    ADD_FAILURE() << "no line capability of the slope: " << json;
}

TEST(LineLogs, NoAlarmWithoutAStep) {
    Ran r = station(
        "line --units 200000 --stations 2 --spread-offset 300 --seed 5 --no-progress --log '" +
        dir() + "/quiet'");
    ASSERT_EQ(0, r.status) << r.out;
    Ran a = station("analyse '" + dir() + "/quiet' --json");
    ASSERT_EQ(0, a.status) << a.out;
    EXPECT_TRUE(kind(a.out, "drift").empty()) << a.out;
    std::system(("rm -rf '" + dir() + "/quiet'").c_str());
}

TEST(LineLogs, DriftAlarmedOnceWhereverTheJobsCutTheLog) {
    // One station's log: the cuts of 2 to 9 jobs fall before, at and after
    // the step and after its alarm.
    const std::string log = dir() + "/stepped.log";
    ASSERT_EQ(0, station("line --units 10000 --spread-offset 300 --seed 11 --tester-step 60@5000 "
                         "--no-progress --log '" +
                         log + "'")
                     .status);
    const auto alone = kind(station("analyse '" + log + "' --json --jobs 1").out, "drift");
    ASSERT_EQ(1u, alone.size());
    for (int jobs : {2, 3, 4, 5, 9}) {
        Ran r = station("analyse '" + log + "' --json --jobs " + std::to_string(jobs));
        ASSERT_EQ(0, r.status) << r.out;
        EXPECT_EQ(alone, kind(r.out, "drift")) << jobs << " jobs\n" << r.out;
    }
}

TEST(LineLogs, GzipStdinAndBrokenInput) {
    const std::string log = dir() + "/small.log";
    ASSERT_EQ(0, station("line --units 300 --seed 9 --log '" + log + "'").status);
    ASSERT_EQ(0, std::system(("gzip -c '" + log + "' >'" + log + ".gz'").c_str()));
    Ran plain = station("analyse '" + log + "' --json");
    Ran packed = station("analyse '" + log + ".gz' --json");
    Ran in = station("analyse - --json <'" + log + ".gz'");
    ASSERT_EQ(0, packed.status) << packed.out;
    auto summary = [](const Ran& r) { return kind(r.out, "summary").at(0)["passed"]; };
    EXPECT_EQ(summary(plain), summary(packed));
    EXPECT_EQ(summary(plain), summary(in));
    // Binary bytes are counted and shown escaped, not passed to the terminal.
    {
        std::ofstream f(log, std::ios::app | std::ios::binary);
        f << "\x1b[2J\xff\xfe garbage\n";
    }
    Ran broken = station("analyse '" + log + "'");
    EXPECT_EQ(0, broken.status);
    EXPECT_NE(std::string::npos, broken.out.find("\\x1B[2J\\xFF\\xFE garbage")) << broken.out;
    EXPECT_EQ(std::string::npos, broken.out.find('\x1b'));
    // A log without a unit is an error with the reason.
    const std::string none = dir() + "/none.log";
    std::ofstream(none) << "station 4 restarted\n";
    for (const char* mode : {"analyse", "replay"}) {
        Ran r = station(std::string(mode) + " '" + none + "'");
        EXPECT_EQ(2, r.status) << r.out;
        EXPECT_NE(std::string::npos, r.out.find("no unit in")) << r.out;
    }
}

// --- logs that stop early ----------------------------------------------------

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The whole number after "key": at or after `at` in a JSON text, -1 if none.
long numberAfter(const std::string& json, size_t at, const std::string& key) {
    size_t k = json.find("\"" + key + "\":", at);
    return k == std::string::npos ? -1 : std::stol(json.substr(k + key.size() + 3));
}

struct Damage {
    const char* name;
    const char* why; // as the report says it
};

// Three stations' logs, the second gzip'd in two members and damaged: cut
// short within its second member, or that member's data overwritten.
class DamagedLog : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedLog, NamedWhileTheOthersAreReadWhole) {
    const std::string d = dir() + "/" + GetParam().name;
    ASSERT_EQ(0, station("line --units 900 --stations 3 --seed 6 --log '" + d + "'").status);
    const std::string good = d + "/station-01.log.gz", damaged = d + "/station-02.log.gz";
    ASSERT_EQ(0, std::system(("gzip -n '" + d + "/station-01.log' && head -n 1000 '" + d +
                              "/station-02.log' | gzip -nc >'" + damaged + "'")
                                 .c_str()));
    const size_t first = readBytes(damaged).size();
    ASSERT_EQ(0, std::system(("tail -n +1001 '" + d + "/station-02.log' | gzip -nc >>'" + damaged +
                              "' && rm '" + d + "/station-02.log'")
                                 .c_str()));
    std::string bytes = readBytes(damaged);
    const size_t middle = first + (bytes.size() - first) / 2;
    if (std::string(GetParam().name) == "cut")
        bytes.resize(middle);
    else
        bytes.replace(middle, 16, std::string(16, '\xff'));
    writeBytes(damaged, bytes);
    // What the whole logs give alone.
    Ran alone = station("analyse '" + good + "' '" + d + "/station-03.log' --json");
    ASSERT_EQ(0, alone.status) << alone.out;
    const std::string goodUnits = kind(alone.out, "station").at(0)["units"];
    const long wholeUnits = std::stol(kind(alone.out, "summary").at(0)["units"]);

    for (const char* mode : {"analyse", "replay"}) {
        SCOPED_TRACE(mode);
        Ran r = station(std::string(mode) + " '" + d + "' --json --jobs 2");
        EXPECT_EQ(4, r.status) << r.out;
        const std::string named =
            "\"incomplete\":[{\"log\":\"" + damaged + "\",\"why\":\"" + GetParam().why + "\"";
        const size_t at = r.out.find(named);
        ASSERT_NE(std::string::npos, at) << r.out;
        EXPECT_EQ(std::string::npos, r.out.find("\"why\"", at + named.size())) << "one log named";
        const long kept = numberAfter(r.out, at, "units");
        EXPECT_GT(kept, 0) << "the units before the stop are kept";
        EXPECT_LT(kept, 300);
        EXPECT_GT(numberAfter(r.out, at, "stopped_at_byte"), static_cast<long>(first));
        EXPECT_GT(numberAfter(r.out, at, "stopped_at_line"), 1000);
        EXPECT_NE(std::string::npos, r.out.find("vantor-station: incomplete input: " + damaged));
        if (std::string(mode) == "analyse") {
            auto stations = kind(r.out, "station");
            ASSERT_EQ(3u, stations.size()) << r.out;
            EXPECT_EQ(goodUnits, stations[0]["units"]) << "the good log read whole";
            EXPECT_EQ(std::to_string(kept), stations[1]["units"]);
            EXPECT_EQ(wholeUnits + kept,
                      numberAfter(r.out, r.out.find("\"type\":\"summary\""), "units"));
        } else {
            EXPECT_EQ(wholeUnits + kept, numberAfter(r.out, 0, "units")) << r.out;
        }
    }
    Ran text = station("analyse '" + d + "'");
    EXPECT_EQ(4, text.status);
    EXPECT_NE(std::string::npos,
              text.out.find("Incomplete " + damaged + ": " + GetParam().why + " ("))
        << text.out;
}

INSTANTIATE_TEST_SUITE_P(Logs, DamagedLog,
                         ::testing::Values(Damage{"cut", "cut short"},
                                           Damage{"corrupt", "corrupt"}),
                         [](const ::testing::TestParamInfo<Damage>& p) { return p.param.name; });

TEST(LineLogs, NoUnitFromAnyLogStillEndsWithTwo) {
    const std::string log = dir() + "/early.log";
    ASSERT_EQ(0, station("line --units 20 --seed 2 --log '" + log + "'").status);
    ASSERT_EQ(0, std::system(("gzip -n '" + log + "'").c_str()));
    std::string bytes = readBytes(log + ".gz");
    writeBytes(log + ".gz", bytes.substr(0, 24));
    for (const char* mode : {"analyse", "replay"}) {
        Ran r = station(std::string(mode) + " '" + log + ".gz'");
        EXPECT_EQ(2, r.status) << r.out;
        EXPECT_NE(std::string::npos, r.out.find("no unit in")) << r.out;
        EXPECT_NE(std::string::npos, r.out.find("cut short")) << r.out;
    }
}

TEST(LineLogs, SweepGridReadsOnceAndReplaysEveryPair) {
    const std::string log = dir() + "/grid.log";
    ASSERT_EQ(0, station("line --units 200 --seed 4 --log '" + log + "'").status);
    Ran r = station("replay '" + log +
                    "' --jobs 2 --sweep 'CRYSTAL_VT318/Slope Range=0:3:1' "
                    "--sweep 'CRYSTAL_VT318/CDAC    Range=5:15:5' --svg '" +
                    dir() + "/grid.svg'");
    ASSERT_EQ(0, r.status) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("Grid       yield %")) << r.out;
    // Slope Range 3 and CDAC Range 15 are the embedded configuration's: the log's yield.
    std::istringstream in(r.out.substr(r.out.find("Grid")));
    std::string line;
    std::vector<std::vector<double>> grid;
    while (std::getline(in, line)) {
        std::istringstream cells(line);
        double v = 0;
        std::vector<double> row;
        while (cells >> v)
            row.push_back(v);
        if (row.size() == 4)
            grid.push_back(row);
    }
    ASSERT_EQ(4u, grid.size()) << r.out;
    for (size_t i = 1; i < 4; ++i)
        for (size_t j = 2; j < 4; ++j)
            EXPECT_GE(grid[i][j], grid[i][j - 1] - 1e-9) << "a wider CDAC window loses no unit";
    std::ifstream svg(dir() + "/grid.svg");
    std::string text((std::istreambuf_iterator<char>(svg)), std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos, text.find("<rect")) << "no heat map";
}

// --- the page in a real browser -----------------------------------------------

// Headless Chromium on a fresh profile, no network of its own; its output.
Ran chromium(const std::string& args) {
    char profile[] = "/tmp/line-test-chromium-XXXXXX";
    Ran r;
    if (::mkdtemp(profile) == nullptr)
        return r;
    const std::string out = dir() + "/chromium.txt";
    int s = std::system(("timeout 180 /usr/bin/chromium --headless --no-sandbox --disable-gpu "
                         "--disable-quic --no-first-run --disable-background-networking "
                         "--disable-component-update --disable-sync --user-data-dir='" +
                         std::string(profile) + "' " + args + " >'" + out + "' 2>/dev/null")
                            .c_str());
    r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    std::ifstream in(out);
    r.out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::system(("rm -rf '" + std::string(profile) + "'").c_str());
    return r;
}

// The rows of the rendered tables, each as its cells' texts.
std::vector<std::vector<std::string>> tableRows(const std::string& dom) {
    std::vector<std::vector<std::string>> rows;
    for (size_t at = dom.find("<tr"); at != std::string::npos; at = dom.find("<tr", at + 1)) {
        const std::string row = dom.substr(at, dom.find("</tr>", at) - at);
        std::vector<std::string> cells;
        for (size_t c = row.find("<td"); c != std::string::npos; c = row.find("<td", c + 1)) {
            std::string text;
            bool inTag = false;
            for (size_t k = c; k < row.size() && row.compare(k, 5, "</td>") != 0; ++k) {
                if (row[k] == '<')
                    inTag = true;
                else if (row[k] == '>')
                    inTag = false;
                else if (!inTag)
                    text += row[k];
            }
            cells.push_back(text);
        }
        if (!cells.empty())
            rows.push_back(cells);
    }
    return rows;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(LinePage, RendersInChromiumWithTheFiguresOfTheJsonReport) {
    if (::access("/usr/bin/chromium", X_OK) != 0)
        GTEST_SKIP()
            << "no /usr/bin/chromium: the page is not rendered (scripts/deps.sh installs it)";
    const std::string logs = dir() + "/page-line",
                      page = std::string(SHOTS_DIR) + "/line-page.html";
    // The step half a crystal spread: the self-starting detector finds it
    // within the 800 units left after it.
    ASSERT_EQ(0,
              station("line --units 8000 --stations 4 --spread-offset 300 --seed 3 --no-progress "
                      "--tester-bias 70@2 --tester-step 150@1200@3 --log '" +
                      logs + "'")
                  .status);
    Ran json = station("analyse '" + logs + "' --json --jobs 2 --html '" + page +
                       "' --sweep 'CRYSTAL_VT318/Slope Range=2:3:1' "
                       "--sweep 'CRYSTAL_VT318/CDAC    Range=10:15:5'");
    ASSERT_EQ(0, json.status) << json.out;

    Ran dom = chromium("--dump-dom 'file://" + page + "'");
    ASSERT_EQ(0, dom.status);
    ASSERT_NE(std::string::npos, dom.out.find("</html>")) << dom.out.substr(0, 400);
    const auto rows = tableRows(dom.out);
    // A figure of the page within half its last digit of the report's.
    auto shows = [](const std::string& cell, const std::string& reported, double digit) {
        return std::fabs(std::stod(cell) - std::stod(reported)) <= digit / 2 + 1e-9;
    };
    auto summary = kind(json.out, "summary").at(0);
    EXPECT_NE(std::string::npos,
              dom.out.find("(" + summary["passed"] + " of " + summary["units"] + " passed)"));
    size_t stationsShown = 0, capabilityShown = 0;
    for (auto& st : kind(json.out, "station")) {
        const std::string name = st["name"].substr(1, st["name"].size() - 2);
        for (const auto& r : rows) {
            // The overview's row: the biases are written "+12.3 ± 4.5".
            if (r.size() != 12 || r[0] != name)
                continue;
            ++stationsShown;
            EXPECT_EQ(st["units"], r[1]);
            EXPECT_TRUE(shows(r[2], st["yield"], 0.01)) << r[2] << " " << st["yield"];
            EXPECT_TRUE(shows(r[3], st["bias_hz"], 0.1)) << r[3] << " " << st["bias_hz"];
            EXPECT_TRUE(shows(r[4], st["bias_ppm"], 0.0001)) << r[4] << " " << st["bias_ppm"];
            EXPECT_EQ(st["flagged"] == "true" ? "BIASED" : "ok", r[11]);
        }
    }
    EXPECT_EQ(4u, stationsShown);
    for (auto& c : kind(json.out, "capability")) {
        const std::string station =
            c["station"] == "null" ? "line" : c["station"].substr(1, c["station"].size() - 2);
        const std::string value = c["value"].substr(1, c["value"].size() - 2);
        for (const auto& r : rows)
            if (r.size() == 13 && r[1] == value && r[2] == station) {
                ++capabilityShown;
                EXPECT_TRUE(shows(r[8], c["cpk"], 0.01)) << station << " " << value;
                EXPECT_TRUE(shows(r[9], c["ppk"], 0.01)) << station << " " << value;
            }
    }
    EXPECT_EQ(kind(json.out, "capability").size(), capabilityShown);
    auto drift = kind(json.out, "drift");
    ASSERT_EQ(1u, drift.size()) << json.out;
    EXPECT_NE(std::string::npos, dom.out.find("alarm: from unit " + drift[0]["unit"]));
    // A chart a station, three histograms and the grid's heat map.
    auto figures = [&](const std::string& from, const std::string& to) {
        const size_t begin = dom.out.find(from);
        if (begin == std::string::npos)
            return size_t(0);
        size_t n = 0, end = dom.out.find(to, begin + from.size());
        for (size_t at = dom.out.find("<svg", begin); at < end; at = dom.out.find("<svg", at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(4u, figures("<div class=\"grid\">", "<h2"));
    EXPECT_EQ(3u, figures("<h2 id=\"histograms\">", "<h2"));
    EXPECT_EQ(1u, figures("<h2 id=\"sweep\">", "</body>"));

    // What an engineer sees on a laptop, and the page printed on A4.
    const std::string shot = std::string(SHOTS_DIR) + "/line-page.png";
    const std::string pdf = std::string(SHOTS_DIR) + "/line-page.pdf";
    std::remove(shot.c_str());
    std::remove(pdf.c_str());
    ASSERT_EQ(0,
              chromium("--window-size=1280,2400 --screenshot='" + shot + "' 'file://" + page + "'")
                  .status);
    ASSERT_EQ(0,
              chromium("--no-pdf-header-footer --print-to-pdf='" + pdf + "' 'file://" + page + "'")
                  .status);
    const std::string png = fileText(shot);
    ASSERT_GT(png.size(), 20000u) << "a blank screenshot";
    EXPECT_EQ(0, png.compare(1, 3, "PNG"));
    const std::string printed = fileText(pdf);
    EXPECT_EQ(0, printed.compare(0, 5, "%PDF-"));
    // A4 in points: 595.28 by 841.89, as Chromium rounds them.
    const size_t box = printed.find("/MediaBox [0 0 594.9");
    ASSERT_NE(std::string::npos, box) << "not A4";
    EXPECT_EQ(0, printed.compare(printed.find(' ', box + 16), 6, " 841.9")) << "not A4";
    std::system(("rm -rf '" + logs + "'").c_str());
}

} // namespace
