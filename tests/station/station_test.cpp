// The station as a program: run it with arguments, read what it prints and
// how it exits, as an engineer or a script would.
#include <gtest/gtest.h>

#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class Station : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/station-test-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(dir));
        m_dir = dir;
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + m_dir + "'";
        ASSERT_EQ(0, std::system(cmd.c_str()));
    }

    std::string Path(const std::string& name) const { return m_dir + "/" + name; }

    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream out(Path(name), std::ios::binary);
        out << text;
        return Path(name);
    }

    Outcome Run(const std::string& args) const {
        std::string cmd = std::string("'") + STATION_EXE + "' " + args + " >'" + Path("out") +
                          "' 2>'" + Path("err") + "' </dev/null";
        int status = std::system(cmd.c_str());
        Outcome o;
        o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        o.out = slurp(Path("out"));
        o.err = slurp(Path("err"));
        return o;
    }

    std::string m_dir;
};

// Runs the station on a pseudo-terminal, as an engineer at a terminal sees
// it: standard output and error both go to the terminal.
std::string RunOnTerminal(const std::string& args) {
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        std::string cmd = std::string("exec '") + STATION_EXE + "' " + args;
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string out;
    if (pid < 0)
        return out;
    char buf[4096];
    for (;;) {
        ssize_t n = read(master, buf, sizeof buf);
        if (n > 0)
            out.append(buf, static_cast<size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break; // EIO once the station has exited
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    return out;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        v.push_back(l);
    return v;
}

bool has(const std::string& text, const std::string& pattern) {
    return std::regex_search(text, std::regex(pattern));
}

int matches(const std::string& text, const std::string& pattern) {
    std::regex re(pattern);
    return static_cast<int>(
        std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

int count(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

// The population report without the line about this computer's speed.
std::string withoutSpeed(const std::string& text) {
    std::string out;
    for (const std::string& l : lines(text))
        if (l.rfind("Computed", 0) != 0)
            out += l + "\n";
    return out;
}

const char* const kVt318 = "[DIAG CONTROL]\nTxOff=1\n[AFC-COMMON]\nPCL=10\nTCH=62\n"
                           "[CRYSTAL_VT318]\nDefault CDAC=55\nDefault CAFC=7000\n"
                           "CDAC    Range=15\nCAFC    Range=1000\nDelta   CAFC=1000\n"
                           "Slope Range=3\n";

// --- one unit ----------------------------------------------------------------

TEST_F(Station, DefaultRunShowsLibraryTableLinesFlashAndTime) {
    Outcome o = Run("--virtual-time");
    ASSERT_EQ(0, o.exitCode) << o.out << o.err;
    EXPECT_TRUE(has(o.out, "Version +1\\.0\\.1, build 0005")) << o.out;
    EXPECT_TRUE(has(o.out, "257 \\(0x0101\\) +VT300 AFC\\. \\[\xE4\xB8\xA4\xE7\x82\xB9")) << o.out;
    EXPECT_TRUE(has(o.out, "513 \\(0x0201\\)"));
    EXPECT_TRUE(has(o.out, "769 \\(0x0301\\) +LN2040"));
    EXPECT_TRUE(has(o.out, "Check +configuration: no warnings"));
    // Four measurements, the windows of the defaults, then the closing verdict.
    EXPECT_EQ(4, count(o.out, ", FE "));
    EXPECT_TRUE(has(o.out, "\\n +4 +CDAC +40 +\\d+ +70 +CDAC +PASS\\n")) << o.out;
    EXPECT_TRUE(has(o.out, "\\n +5 +CDAC +0 +\\d+ +63 +CDAC +PASS\\n"));
    EXPECT_TRUE(has(o.out, "CAFC Slope +4 +7\\.\\d+ +10 +PASS"));
    EXPECT_TRUE(has(o.out, "CAFC +6000 +\\d+ +8000 +CAFC +PASS"));
    EXPECT_TRUE(has(o.out, "Save params +0 +0 +0 +PASS"));
    EXPECT_TRUE(has(o.out, "12 +Verdict \\(closing item\\) +PASS"));
    // The CSV lines are the library's own, one per measurement and per NV field.
    EXPECT_TRUE(
        has(o.out,
            "\\nVT318_AFC_PFER_0,EGSM900,62,62,10,0,-,0,0,55,7000,0,-,-?\\d+\\.\\d{6},-,Hz,-\\n"));
    EXPECT_TRUE(has(o.out, "\\nVT318_AFC_PFER_3,EGSM900,62,62,10,0,-,0,0,\\d+,8000,"));
    EXPECT_TRUE(has(o.out, "nimb2_RF_AFC_STRUCT\\.CDAC,(-,){12}\\d+,-,-,-\\n"));
    EXPECT_TRUE(has(o.out, "nimb2_RF_AFC_STRUCT\\.slope_length,(-,){12}\\d+,-,-,-\\n"));
    // The flash holds what the result lines say.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        o.out, m, std::regex("Flash +CAFC (\\d+), CDAC (\\d+), slope length (\\d+)")));
    EXPECT_TRUE(has(o.out, "STRUCT\\.CAFC,(-,){12}" + m[1].str() + ","));
    EXPECT_TRUE(has(o.out, "STRUCT\\.CDAC,(-,){12}" + m[2].str() + ","));
    // Three pauses of 200 ms; four measurements of 45 ms and twelve commands of 8 ms.
    EXPECT_TRUE(has(
        o.out, "Time +0\\.876 s on the station \\(pauses 0\\.600 s \\+ instruments 0\\.276 s\\)"))
        << o.out;
    EXPECT_TRUE(has(o.out, "\\nVerdict +PASS\\n"));
    EXPECT_EQ("", o.err);
}

// A run with its exit status, what its report shows and what it does not.
struct RunCase {
    const char* name;
    std::string args;
    int exit;
    std::vector<std::string> shown, absent;           // patterns
    std::vector<std::pair<std::string, int>> counted; // pattern, times it matches
};

// Named by the case alone in test listings.
void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.name;
}

class StationRun : public Station, public ::testing::WithParamInterface<RunCase> {};

TEST_P(StationRun, ShowsWhatTheUnitDid) {
    const RunCase& c = GetParam();
    Outcome o = Run(c.args);
    EXPECT_EQ(c.exit, o.exitCode) << o.out << o.err;
    for (const std::string& p : c.shown)
        EXPECT_TRUE(has(o.out, p)) << p << "\n" << o.out;
    for (const std::string& p : c.absent)
        EXPECT_FALSE(has(o.out, p)) << p << "\n" << o.out;
    for (const auto& n : c.counted)
        EXPECT_EQ(n.second, matches(o.out, n.first)) << n.first << "\n" << o.out;
}

const RunCase kRunCases[] = {
    // Three coarse attempts, each a failed CDAC item, then the error.
    {"FailingRunShowsTripleExceptionAndNoFlash",
     "--virtual-time --profile far",
     1,
     {"Error +\\(14, 137, 31\\) extra 0: calibrated CDAC outside its window",
      "Exception +CDAC \\d+ Exceed Range \\[40, 70\\]!\\n +FILE: Vt318\\.cpp +LINE: \\d{4}",
      "Verdict \\(closing item\\) +FAIL", "Flash +nothing written", "\\nVerdict +FAIL\\n"},
     {"STRUCT\\.CDAC"},
     {{", FE ", 6}, {"CDAC +40 +\\d+ +70 +CDAC +FAIL", 3}}},
    {"FlashFaultEndsTheRunWithItsTriple",
     "--virtual-time --fail-flash 2",
     1,
     {"Save params +0 +-1 +0 +FAIL", "Error +\\(14, 103, 4\\) extra 1",
      "Exception +Write parameters into flash fail while afc calibration!",
      "Flash +CAFC \\d+\\n"}, // the CDAC write failed
     {},
     {}},
    {"AfcFaultEndsTheRunWithItsTriple",
     "--virtual-time --fail-afc 3",
     1,
     {"Error +\\(14, 131, 4\\) extra 1",
      "Exception +< VT318_AFC >HT_AfcStart_MChip\\(TRUE\\) failed!"},
     {},
     {{", FE ", 1}}}, // the second measurement never switched on
    {"RfFaultEndsTheRunWithItsTriple",
     "--virtual-time --rf-error 2",
     1,
     {"Error +\\(14, 131, 5\\) extra 1", "RFTester has error occured!"},
     {},
     {}},
    // No handset command and no measurement time: only the pauses.
    {"ChipTypeZeroSendsNothingAndFailsTheCdacSearch",
     "--virtual-time --chip-type 0",
     1,
     {"Flash +nothing written", "instruments 0\\.000 s"},
     {},
     {{"0\\.000000,-,Hz,-", 6}}},
    {"RealTimeRunSaysSo", "--real-time --chip vt300", 0, {"real clock"}, {}, {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, StationRun, ::testing::ValuesIn(kRunCases),
                         [](const ::testing::TestParamInfo<RunCase>& i) { return i.param.name; });

TEST_F(Station, RfTesterAsTableGivesTheSameRun) {
    Outcome object = Run("--virtual-time --chip ln2040 --seed 9");
    Outcome table = Run("--virtual-time --chip ln2040 --seed 9 --rf table");
    ASSERT_EQ(0, object.exitCode);
    ASSERT_EQ(0, table.exitCode);
    auto body = [](const std::string& s) { return s.substr(s.find("Result items")); };
    EXPECT_EQ(body(object.out), body(table.out));
    EXPECT_TRUE(has(table.out, "RF tester as table"));
}

TEST_F(Station, JsonOfAPassingRun) {
    Outcome o = Run("--virtual-time --json");
    ASSERT_EQ(0, o.exitCode);
    std::vector<std::string> ls = lines(o.out);
    int items = 0, logLines = 0;
    for (const std::string& l : ls) {
        ASSERT_FALSE(l.empty());
        EXPECT_EQ('{', l.front()) << l;
        EXPECT_EQ('}', l.back()) << l;
        items += l.rfind("{\"type\":\"item\"", 0) == 0;
        logLines += l.rfind("{\"type\":\"line\"", 0) == 0;
    }
    EXPECT_EQ(12, items);
    EXPECT_EQ(7, logLines);
    ASSERT_FALSE(ls.empty());
    EXPECT_EQ(0u, ls.front().rfind("{\"type\":\"library\"", 0));
    EXPECT_TRUE(has(ls.front(), "\"version\":\"1\\.0\\.1\",\"build\":\"0005\""));
    const std::string& result = ls.back();
    EXPECT_TRUE(has(result, "\"verdict\":\"PASS\",\"return\":0,\"error\":null,\"exception\":null"));
    EXPECT_TRUE(has(result, "\"flash\":\\{\"cafc\":\\d+,\"cdac\":\\d+,\"slope_length\":\\d+\\}"));
    EXPECT_TRUE(has(result, "\"station_ms\":876,"));
    // Items and lines arrive interleaved: a measurement's item, then its line.
    EXPECT_TRUE(has(
        o.out, "\"name\":\"CH: 62, PCL: 10, CDAC: 55, CAFC: 7000, FE\"[^\\n]*\"pass\":null\\}\\n"
               "\\{\"type\":\"line\",\"level\":1,\"text\":\"VT318_AFC_PFER_0,"));
    EXPECT_TRUE(has(o.out, "\\{\"type\":\"item\",\"name\":\"\",\"low\":0,\"value\":0,\"high\":0,"
                           "\"unit\":\"-\",\"kind\":3,\"level\":1,\"pass\":true\\}"));
}

TEST_F(Station, JsonOfAFailingRun) {
    Outcome o = Run("--virtual-time --json --chip vt300 --profile far");
    EXPECT_EQ(1, o.exitCode);
    std::vector<std::string> ls = lines(o.out);
    ASSERT_FALSE(ls.empty());
    const std::string& result = ls.back();
    EXPECT_TRUE(has(result, "\"verdict\":\"FAIL\""));
    EXPECT_TRUE(
        has(result, "\"error\":\\{\"module\":14,\"operation\":140,\"code\":28,\"extra\":0\\}"));
    EXPECT_TRUE(
        has(result, "\"message\":\"PFER out-of-range! 25\\d+\\.\\d\\d\\. \\|Limit\\|: 20000\\.00"));
    EXPECT_TRUE(has(result, "\\\\n\\\\nFILE:\\\\tVantorAfc\\.cpp\\\\nLINE:\\\\t\\d{4}\\\\n\""));
    EXPECT_TRUE(has(result, "\"flash\":\\{\"cafc\":null,\"cdac\":null,\"slope_length\":null\\}"));
    EXPECT_EQ(1, count(o.out, "\"type\":\"line\"")); // one measurement, then the limit
}

// --- the configuration check -------------------------------------------------

// A configuration file checked for a chip: the exit status, the findings
// shown and those that must not be.
struct CheckCase {
    const char* name;
    const char* chip;
    std::string text;
    int exit; // kAnyExit: not the point of the case
    std::vector<std::string> shown, absent;
};
constexpr int kAnyExit = -1;

void PrintTo(const CheckCase& c, std::ostream* os) {
    *os << c.name;
}

class StationCheck : public Station, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(StationCheck, FindsWhatTheFileSays) {
    const CheckCase& c = GetParam();
    std::string file = Write("check.ini", c.text);
    Outcome o = Run(std::string("check --chip ") + c.chip + " '" + file + "'");
    if (c.exit != kAnyExit) {
        EXPECT_EQ(c.exit, o.exitCode) << o.out;
    }
    for (const std::string& p : c.shown)
        EXPECT_TRUE(has(o.out, p)) << p << "\n" << o.out;
    for (const std::string& p : c.absent)
        EXPECT_FALSE(has(o.out, p)) << p << "\n" << o.out;
}

const char* const kRanges = "[AFC-COMMON]\nPCL=20\nTCH=62\nTCH=70\n"
                            "[CRYSTAL_VT318]\nDelta   CAFC=32768\nSlope Range=-1\n"
                            "CAFC    Range=12x\n"
                            "[LN2040 AFC]\nCALI_CDAC_MIN=48\nCALI_CDAC_MAX=47\n"
                            "[CRYSTAL VT318]\nDefault CDAC=1\n";

// A window that passes nothing or a check switched off: a warning of its own.
CheckCase windowCase(const char* name, const char* chip, const char* text, const char* finding) {
    return {name, chip, text, 1, {std::string("warning +.*") + finding}, {}};
}

// How the action reads a value of 'CAFC    Range'.
CheckCase valueCase(const char* name, const std::string& value, const char* finding) {
    return {name,     "vt318",   "[CRYSTAL_VT318]\nCAFC    Range=" + value + "\n",
            kAnyExit, {finding}, {}};
}

const CheckCase kCheckCases[] = {
    {"KeysThatAreAlmostKnown",
     "vt318",
     "[DIAG CONTROL]\n"
     "Throw Diag. Exception=0\n" // one blank too few
     "[crystal_vt318]\n"         // another case is fine
     "CDAC Range=10\n"           // blanks missing
     "delta   cafc=900\n"        // case only: read
     "Slope  Range=3\n"          // a blank too many
     "Colour=blue\n",
     1,
     {"3 warnings",
      "line 2: key 'Throw Diag\\. Exception' in \\[DIAG CONTROL\\] is not read: "
      "did you mean 'Throw  Diag\\. Exception'\\?",
      "line 4: key 'CDAC Range' in \\[CRYSTAL_VT318\\] is not read: did you mean "
      "'CDAC    Range'\\?",
      "line 6: key 'Slope  Range' .* did you mean 'Slope Range'\\?",
      "note +line 7: key 'Colour' in \\[CRYSTAL_VT318\\] is not read by any action"},
     {"delta   cafc"}},
    {"RangesWindowsAndDuplicatesVt318",
     "vt318",
     kRanges,
     1,
     {"line 4: key 'TCH' .* appears again \\(first at line 3\\)",
      "line 6: 'Delta   CAFC' = 32768 is outside the setup page's range 0 to 32767",
      "'Slope Range' = -1 is outside the setup page's range 0 to 32768",
      "value '12x' of 'CAFC    Range' is not a plain whole number: the action reads 12",
      "PCL = 20 is outside the VT318 setup page's range 0 to 19",
      "the CAFC slope window \\[8, 6\\] has its lower bound above the upper",
      // A blank for '_' is a slip: the section is not read, and the check says so.
      "line 12: section \\[CRYSTAL VT318\\] is not read by any action: "
      "did you mean \\[CRYSTAL_VT318\\]\\?"},
     {"CDAC window"}}, // the LN2040's windows are not the VT318's
    {"RangesWindowsAndDuplicatesLn2040",
     "ln2040",
     kRanges,
     kAnyExit,
     {"the CDAC window \\[48, 47\\] has its lower bound above the upper: no unit can pass"},
     {"VT318 setup page"}}, // the LN2040 has no setup page
    {"RangesWindowsAndDuplicatesVt300",
     "vt300",
     "[AFC-COMMON]\nPCL=20\n[CRYSTAL_VT300]\nMin CAFC Slope=4\nMax CAFC Slope=2\n",
     kAnyExit,
     {"the CAFC slope window \\[4, 2\\]"},
     {"PCL = 20"}}, // the VT300 page accepts 20
    {"CleanFile", "vt318", kVt318, 0, {"no warnings"}, {}},
    {"BlankVariantOfASection",
     "vt318",
     "[DIAG  CONTROL]\nTxOff=0\n",
     1,
     {"section \\[DIAG  CONTROL\\] is not read by any action: did you mean "
      "\\[DIAG CONTROL\\]\\?"},
     {}},
    {"SectionsNobodyReadsAndKeysBeforeAnySection",
     "vt318",
     "PCL=12\n; a comment\n[CRYSTAL-VT318]\nCDAC    Range=3\n"
     "[CRYSTAL_VT381]\nSlope Range=2\n[LN2040_AFC]\n"
     "CALI_CDAC_MIN=1\n[Colours]\nred=1\n",
     1,
     {"line 1: key 'PCL' stands before any section: no action reads it",
      "line 3: section \\[CRYSTAL-VT318\\] is not read by any action: did "
      "you mean \\[CRYSTAL_VT318\\]",
      "line 5: section \\[CRYSTAL_VT381\\] .* did you mean \\[CRYSTAL_VT318\\]",
      "line 7: section \\[LN2040_AFC\\] .* did you mean \\[LN2040 AFC\\]"},
     {"line 2", "Colours"}},
    valueCase("DoubleQuotedValue", "\"10\"",
              "note +line 2: value '\"10\"' of 'CAFC    Range' is in quotes: the reader drops "
              "them and the action reads 10"),
    valueCase("SingleQuotedValue", "'10'",
              "note +line 2: value ''10'' of 'CAFC    Range' is in quotes"),
    valueCase("ValueBeyond32Bits", "99999999999999999999",
              "warning +line 2: value '99999999999999999999' of 'CAFC    "
              "Range' does not fit in 32 bits and wraps: the action reads "
              "1661992959"),
    valueCase("ValueLongerThanTheReaderTakes", std::string(28, '0') + "10",
              "longer than the 29 characters the integer reader takes: "
              "the action reads 1\\n"),
    valueCase("HexadecimalValue", "0xA",
              "note +line 2: value '0xA' of 'CAFC    Range' is read as a hexadecimal number: "
              "the action reads 10"),
    valueCase("ValueWithAUnit", "10 Hz",
              "warning +line 2: value '10 Hz' of 'CAFC    Range' is not a plain whole "
              "number: the action reads 10"),
    // A 16-bit field keeps the low bits of what is read.
    {"SixteenBitFieldKeepsTheLowBits",
     "vt300",
     "[CRYSTAL_VT300]\nMax CAFC Slope=-1\nDefault CDAC=64\n",
     kAnyExit,
     {"line 2: 'Max CAFC Slope' = -1 does not fit its 16-bit field: the action takes it as 65535",
      "line 3: 'Default CDAC' = 64 is outside the CDAC bank's range 0 to 63"},
     {}},
    windowCase("OffsetLimitZero", "vt300", "[CRYSTAL_VT300]\nFreq. Offset Limit=0\n",
               "'Freq\\. Offset Limit' is 0: only a first frequency error of exactly 0 Hz passes"),
    windowCase("OffsetLimitMinusOne", "vt300", "[CRYSTAL_VT300]\nFreq. Offset Limit=-1\n",
               "'Freq\\. Offset Limit' reads as 4294967295 Hz: the offset check is off"),
    windowCase("SlopeAndHeadroomOff", "vt300",
               "[CRYSTAL_VT300]\nMin CAFC Slope=0\nFreq. Error Limit=0\n",
               "'Min CAFC Slope' 0 together with 'Freq\\. Error Limit' 0 switches the slope and "
               "headroom checks off"),
    windowCase("HeadroomOff", "vt300", "[CRYSTAL_VT300]\nFreq. Error Limit=0\n",
               "the headroom check is off"),
    windowCase("Vt318SlopeWindowHoldsZero", "vt318", "[CRYSTAL_VT318]\nSlope Range=7\n",
               "the CAFC slope window \\[0, 14\\] holds a slope of 0"),
    windowCase("Vt318CdacWindowHoldsZero", "vt318", "[CRYSTAL_VT318]\nCDAC    Range=55\n",
               "the CDAC window \\[0, 110\\] holds 0"),
    windowCase("Vt318CafcCheckOff", "vt318",
               "[CRYSTAL_VT318]\nCAFC    Range=99999999999999999999\n",
               "the CAFC window \\[-1661985959, 1661999959\\] holds every CAFC code: the CAFC "
               "check is off"),
    windowCase("Vt318SecondCoarsePointWraps", "vt318", "[CRYSTAL_VT318]\nDefault CDAC=5\n",
               "'Default CDAC' 5 puts the second coarse point below CDAC 0: it wraps to 65533"),
    windowCase("Ln2040CdacWindowHoldsZero", "ln2040", "[LN2040 AFC]\nCALI_CDAC_MIN=0\n",
               "the CDAC window \\[0, 47\\] holds 0"),
    windowCase("Ln2040SlopeWindowHoldsZero", "ln2040", "[LN2040 AFC]\nCALI_CAFC_SLOPE_MIN=-2\n",
               "the CAFC slope window \\[-2, 8\\] holds a slope of 0"),
    windowCase("Ln2040CafcCheckOff", "ln2040",
               "[LN2040 AFC]\nCALI_CAFC_MIN=0\nCALI_CAFC_MAX=70000\n",
               "holds every CAFC code: the CAFC check is off"),
    windowCase("Ln2040DefaultCafcNegative", "ln2040", "[LN2040 AFC]\nDEFAULT_CAFC=-5\n",
               "line 2: 'DEFAULT_CAFC' = -5 is outside the range of a 16-bit DAC code 0 to 65535"),
};

INSTANTIATE_TEST_SUITE_P(Cases, StationCheck, ::testing::ValuesIn(kCheckCases),
                         [](const ::testing::TestParamInfo<CheckCase>& i) { return i.param.name; });

TEST_F(Station, WarningsShowBeforeTheUnitRunsAndTheRunUsesTheFile) {
    std::string file = Write("run.ini", std::string(kVt318) + "CAFC Range=10\n");
    Outcome o = Run("--virtual-time --config '" + file + "'");
    EXPECT_EQ(0, o.exitCode) << o.out << o.err;
    size_t warning = o.out.find("did you mean 'CAFC    Range'");
    ASSERT_NE(std::string::npos, warning) << o.out;
    EXPECT_LT(warning, o.out.find("Result items"));
    // The misspelt key is not read: the window stays at its configured 1000.
    EXPECT_TRUE(has(o.out, "CAFC +6000 +\\d+ +8000 +CAFC +PASS"));

    std::string cafc = Write("cafc.ini", "[CRYSTAL_VT318]\nCAFC    Range=10\n");
    Outcome c = Run("--virtual-time --config '" + cafc + "'");
    EXPECT_EQ(1, c.exitCode);
    EXPECT_TRUE(has(c.out, "CAFC +6990 +\\d+ +7010 +CAFC +FAIL")) << c.out;
    EXPECT_TRUE(has(c.out, "Error +\\(14, 138, 32\\)"));
}

// What the check says the action reads (a quoted value) is what the run uses.
TEST_F(Station, RunAgreesWithHowTheCheckReadsValues) {
    std::string quoted = Write("q.ini", "[CRYSTAL_VT318]\nCAFC    Range=\"10\"\n");
    Outcome run = Run("--virtual-time --config '" + quoted + "'");
    EXPECT_TRUE(has(run.out, "CAFC +6990 +\\d+ +7010 +CAFC")) << run.out;
}

// Blanks inside the brackets: the check follows the engine, and the run agrees with it.
TEST_F(Station, BlanksInsideSectionBracketsAsTheEngineReadsThem) {
    std::string blanks = Write("b.ini", "[Crystal_VT318 ]\nCAFC    Range=10\n");
    Outcome check = Run("check '" + blanks + "'");
    Outcome run = Run("--virtual-time --config '" + blanks + "'");
    bool unread = has(check.out, "section \\[Crystal_VT318 \\] is not read by any action: did you "
                                 "mean \\[CRYSTAL_VT318\\]");
    EXPECT_TRUE(has(run.out, unread ? "CAFC +6000 +\\d+ +8000" : "CAFC +6990 +\\d+ +7010"))
        << check.out << run.out;
}

TEST_F(Station, CheckDescribesEncodings) {
    const std::string body = "[CRYSTAL_VT318]\r\nCAFC    Range=10\r\n";
    auto utf16 = [](bool little, const std::string& text) {
        std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
        for (char ch : text)
            out += little ? std::string{ch, '\0'} : std::string{'\0', ch};
        return out;
    };
    Outcome bom = Run("check '" + Write("bom.ini", "\xEF\xBB\xBF" + body) + "'");
    EXPECT_TRUE(has(bom.out, "line 1: the file starts with a UTF-8 byte-order mark: the system "
                             "reader skips it and reads the first section \\[CRYSTAL_VT318\\]"));
    EXPECT_EQ(1, bom.exitCode);
    Outcome le = Run("check '" + Write("le.ini", utf16(true, body)) + "'");
    EXPECT_TRUE(has(le.out, "note +line 1: the file is UTF-16 little-endian text with a "
                            "byte-order mark: the system reader reads it as text"))
        << le.out;
    EXPECT_EQ(0, le.exitCode);
    Outcome be = Run("check '" + Write("be.ini", utf16(false, body)) + "'");
    EXPECT_TRUE(has(be.out, "UTF-16 big-endian text"));
    // The values of a UTF-16 file are checked too: a misspelt key is found in it.
    std::string misspelt = utf16(true, body + "CAFC Range=1\r\n");
    Outcome m = Run("check '" + Write("m.ini", misspelt) + "'");
    EXPECT_TRUE(has(m.out, "line 3: key 'CAFC Range' .* did you mean 'CAFC    Range'")) << m.out;
    std::string noMark = utf16(true, body).substr(2);
    Outcome n = Run("check '" + Write("n.ini", noMark) + "'");
    EXPECT_TRUE(has(n.out, "the file holds NUL bytes \\(UTF-16 text without a byte-order mark\\?\\)"
                           ": .* every key takes its default"));
}

TEST_F(Station, ThrowOffIsWarnedAndIgnoredFailuresAreMarked) {
    std::string file = Write("t.ini", std::string(kVt318) + "[DIAG CONTROL]\n");
    std::string off = Write("off.ini", "[DIAG CONTROL]\nThrow  Diag. Exception=0\n");
    Outcome check = Run("check '" + off + "'");
    EXPECT_EQ(1, check.exitCode);
    EXPECT_TRUE(has(check.out, "warning +'Throw  Diag\\. Exception' is 0: a unit whose handset "
                               "command fails .* still passes"));
    // One unit: the failed AFC command is ignored, the unit passes, and says so.
    Outcome unit = Run("--virtual-time --fail-afc 3 --config '" + off + "'");
    EXPECT_EQ(0, unit.exitCode) << unit.out;
    EXPECT_TRUE(has(unit.out, "\\nVerdict +PASS \\(passed with an ignored command failure\\)\\n"))
        << unit.out;
    Outcome json = Run("--virtual-time --json --fail-afc 3 --config '" + off + "'");
    EXPECT_TRUE(has(json.out, "\"verdict\":\"PASS\".*\"ignored_failures\":1,")) << json.out;
    // A population counts such passes apart from clean ones.
    Outcome pop = Run("line --units 50 --fail-afc 3 --spread-offset 0 --spread-cdac-step 0 "
                      "--spread-slope 0 --config '" +
                      off + "'");
    EXPECT_TRUE(has(pop.out, "Yield +50 of 50 passed \\(100\\.00 %\\), 50 of them passed with an "
                             "ignored command failure"))
        << pop.out;
    Outcome popJson = Run("line --units 5 --json --fail-afc 3 --spread-offset 0 --config '" + off + "'");
    EXPECT_TRUE(has(popJson.out, "\"passed\":5,\"passed_with_ignored_failures\":5,"));
    EXPECT_EQ(5, count(popJson.out, "\"verdict\":\"PASS\",\"cdac\"")) << popJson.out;
    EXPECT_EQ(5, count(popJson.out, "\"ignored_failures\":1,"));
    // A failure that its resend made good is no ignored failure.
    std::string resend = Write("resend.ini", "[DIAG CONTROL]\nThrow  Diag. Exception=0\n"
                                             "Resend Diag. Command=1\n");
    Outcome repaired = Run("--virtual-time --fail-afc 3 --config '" + resend + "'");
    EXPECT_EQ(0, repaired.exitCode);
    EXPECT_TRUE(has(repaired.out, "\nVerdict +PASS\n")) << repaired.out;
    Outcome clean = Run("line --units 50 --spread-offset 0 --spread-cdac-step 0 --spread-slope 0");
    EXPECT_TRUE(has(clean.out, "Yield +50 of 50 passed \\(100\\.00 %\\)\\n")) << clean.out;
    EXPECT_FALSE(has(Run("--virtual-time --config '" + file + "'").out, "ignored"));
}

TEST_F(Station, ShippedExamplesAndThePrintedConfiguration) {
    Outcome good = Run("check '" EXAMPLES_DIR "/line.ini'");
    EXPECT_EQ(0, good.exitCode) << good.out;
    EXPECT_TRUE(has(good.out, "no warnings"));
    Outcome bad = Run("check '" EXAMPLES_DIR "/line-mistakes.ini'");
    EXPECT_EQ(1, bad.exitCode);
    EXPECT_GE(matches(bad.out, "\\n  warning  "), 5) << bad.out;
    Outcome printed = Run("config");
    EXPECT_EQ(0, printed.exitCode);
    EXPECT_TRUE(has(printed.out, "^; VantorCrystal station"));
    std::string file = Write("printed.ini", printed.out);
    Outcome again = Run("check '" + file + "'");
    EXPECT_TRUE(has(again.out, "no warnings")) << again.out;
    // The printed file runs the unit exactly as the embedded one does.
    auto body = [](const std::string& s) { return s.substr(s.find("Result items")); };
    EXPECT_EQ(body(Run("--virtual-time").out),
              body(Run("--virtual-time --config '" + file + "'").out));
}

TEST_F(Station, SpecialFilesAreRefusedWithTheirReason) {
    std::string fifo = Path("fifo");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    struct Case {
        std::string path, reason;
    };
    const std::vector<Case> cases = {
        {fifo, "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {m_dir, "a folder, not a regular file"},
        {Path("missing.ini"), "No such file or directory"},
    };
    for (const Case& c : cases) {
        for (const char* mode : {"check", "run --virtual-time"}) {
            Outcome o = Run(std::string(mode) + " --config '" + c.path + "'");
            EXPECT_EQ(2, o.exitCode) << c.path;
            EXPECT_TRUE(has(o.err, "^vantor-station: cannot open the configuration file '.*': " +
                                       c.reason + "\\n"))
                << o.err;
        }
    }
}

// --- a population ------------------------------------------------------------

TEST_F(Station, PopulationSummaryForAFixedSeed) {
    std::string svg = Path("report.svg");
    Outcome a = Run("line --units 400 --seed 11 --spread-slope 1.5 --svg '" + svg + "'");
    ASSERT_EQ(0, a.exitCode) << a.err;
    Outcome b = Run("line --units 400 --seed 11 --spread-slope 1.5");
    ASSERT_EQ(0, b.exitCode);
    Outcome other = Run("line --units 400 --seed 12 --spread-slope 1.5");
    // The same seed gives the same population; another seed another one.
    std::string sa = withoutSpeed(a.out), sb = withoutSpeed(b.out);
    sa = sa.substr(0, sa.find("Report"));
    EXPECT_EQ(sa, sb);
    EXPECT_NE(withoutSpeed(other.out), sb);

    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        a.out, m, std::regex("Yield +(\\d+) of 400 passed \\((\\d+\\.\\d\\d) %\\)")))
        << a.out;
    int passed = std::stoi(m[1]);
    EXPECT_LT(passed, 400); // a slope spread of 1.5 Hz puts some units outside [4, 10]
    EXPECT_GT(passed, 300);
    // Every failure has a reason, and they add up.
    int failures = 0;
    std::string text = a.out;
    std::regex reason("\\n +(\\d+) +\\(14, (\\d+), (\\d+)\\) +");
    for (std::sregex_iterator it(text.begin(), text.end(), reason); it != std::sregex_iterator();
         ++it)
        failures += std::stoi((*it)[1]);
    EXPECT_EQ(400 - passed, failures);
    EXPECT_TRUE(has(a.out, "\\(14, 140, 34\\) +CAFC Slope: # Exceed Range \\[#, #\\]!"));
    // Every VT318 unit used one to three coarse attempts.
    ASSERT_TRUE(std::regex_search(a.out, m,
                                  std::regex("Attempts +1: (\\d+)(?: 2: (\\d+))?(?: 3: (\\d+))?")));
    int attempts = 0;
    for (int i = 1; i <= 3; ++i)
        attempts += m[i].matched ? std::stoi(m[i]) : 0;
    EXPECT_EQ(400, attempts);
    EXPECT_TRUE(has(a.out, "CAFC slope \\(Hz/code\\), window \\[4, 10\\]: \\d+ values"));
    EXPECT_TRUE(has(a.out, "CDAC \\(code\\), window \\[40, 70\\]: 400 values"));
    // A unit that fails before its flash writes takes less station time.
    EXPECT_TRUE(has(a.out,
                    "Time +per unit on the station: mean 0\\.\\d{3} s, min 0\\.\\d{3} s, max "
                    "\\d\\.\\d{3} s \\(\\d+ units an hour\\)"));

    std::string report = slurp(svg);
    EXPECT_EQ(0u, report.rfind("<?xml", 0));
    EXPECT_TRUE(has(report, "<svg [^>]*width=\"720\""));
    EXPECT_EQ(1, count(report, "</svg>"));
    EXPECT_TRUE(has(report, ">min 40</text>"));
    EXPECT_TRUE(has(report, ">max 10</text>"));
    EXPECT_TRUE(
        has(report, "VT318 population: " + std::to_string(passed) + " of 400 units passed"));
}

TEST_F(Station, PopulationJsonAgreesWithTheUnits) {
    Outcome o = Run("line --units 200 --seed 5 --chip ln2040 --json --spread-offset 6000");
    ASSERT_EQ(0, o.exitCode);
    std::vector<std::string> ls = lines(o.out);
    int units = 0, passed = 0;
    for (const std::string& l : ls) {
        if (l.rfind("{\"type\":\"unit\"", 0) == 0) {
            ++units;
            passed += has(l, "\"verdict\":\"PASS\"");
        }
    }
    EXPECT_EQ(200, units);
    ASSERT_FALSE(ls.empty());
    EXPECT_TRUE(
        has(ls.back(), "\"type\":\"summary\",\"chip\":\"LN2040\",\"units\":200,\"passed\":" +
                           std::to_string(passed) + ","))
        << ls.back();
    EXPECT_LT(passed, 200); // an offset spread of 6 kHz pulls some CDACs out of [32, 47]
    EXPECT_TRUE(has(ls.back(),
                    "\"error\":\\[14,137,31\\],\"pattern\":\"CDAC # Exceed Range \\[#, #\\]!\""));
}

TEST_F(Station, NoSpreadNoFailures) {
    Outcome o =
        Run("line --units 300 --chip vt300 --spread-offset 0 --spread-cdac-step 0 --spread-slope 0");
    ASSERT_EQ(0, o.exitCode);
    EXPECT_TRUE(has(o.out, "Yield +300 of 300 passed \\(100\\.00 %\\)"));
    EXPECT_FALSE(has(o.out, "Failures"));
    EXPECT_EQ("", o.err); // no progress bar when stderr is no terminal
}

TEST_F(Station, ProgressShowsOnATerminalOnlyAndIsClearedBeforeTheReport) {
    // The line of the report's first row, as the terminal shows it after the last carriage return.
    auto shownLine = [](const std::string& text, const std::string& start) {
        size_t at = text.find(start);
        if (at == std::string::npos)
            return std::string();
        size_t begin = text.rfind('\n', at);
        std::string line = text.substr(begin == std::string::npos ? 0 : begin + 1,
                                       text.find('\n', at) - (begin + 1));
        return line.substr(line.rfind('\r', line.find(start)) + 1);
    };
    for (const char* args : {"line --units 20", "line --units 2 --real-time --chip vt300"}) {
        std::string t = RunOnTerminal(args);
        EXPECT_TRUE(
            has(t, "\\[#*\\.*\\] +\\d+%  \\d+ of \\d+ units, [\\d.]+ units/s, \\d+:\\d\\d left"))
            << args << "\n"
            << t;
        EXPECT_EQ(0u, shownLine(t, "Population ").rfind("Population ", 0)) << t;
        EXPECT_TRUE(has(shownLine(t, "Population "), "^Population \\d+ \\w+ units \\(seed 1\\)"));
    }
    EXPECT_FALSE(has(RunOnTerminal("line --units 20 --json"), "units/s, "));
    EXPECT_FALSE(has(RunOnTerminal("line --units 20 --no-progress"), "units/s, "));
    // Output to a file: no progress on the terminal either.
    EXPECT_FALSE(has(RunOnTerminal("line --units 20 >'" + Path("report") + "'"), "units/s, "));
    EXPECT_TRUE(has(slurp(Path("report")), "\\nPopulation 20 "));
}

TEST_F(Station, RetryProfileNeedsASecondAttemptForEverySeed) {
    for (int seed = 1; seed <= 8; ++seed) {
        Outcome o = Run("--virtual-time --profile retry --seed " + std::to_string(seed));
        EXPECT_EQ(0, o.exitCode) << seed;
        EXPECT_EQ(2, count(o.out, "CDAC Slope")) << seed << o.out;
        EXPECT_TRUE(has(o.out, "\\n +5 +CDAC +0 +6[4-9] +63 +CDAC +FAIL\\n")) << o.out;
        EXPECT_TRUE(has(o.out, "CAFC +7000 +\\d+ +9000 +CAFC +PASS")) << o.out;
    }
    Outcome pop = Run("line --units 40 --profile retry --spread-offset 0 --spread-cdac-step 0 "
                      "--spread-slope 0");
    EXPECT_TRUE(has(pop.out, "Attempts +2: 40 ")) << pop.out;
    // Units that passed on their second attempt are inside, though beyond the
    // first attempt's window that the plot shows.
    EXPECT_TRUE(has(pop.out,
                    "CAFC \\(code\\), window \\[6000, 8000\\]: 40 values, mean 80\\d\\d\\.\\d\\d, "
                    "sd [\\d.]+, min \\d+, max \\d+, 0 outside"))
        << pop.out;
    EXPECT_FALSE(has(pop.out.substr(pop.out.find("CAFC (code)")), "\\d+ x #"));
}

TEST_F(Station, PopulationReportDoesNotMislead) {
    // VT300: the headroom failures are the units outside the CAFC window.
    std::string v3 = Write("v3.ini", "[CRYSTAL_VT300]\nFreq. Error Limit=30000\n");
    std::string svg = Path("v3.svg");
    Outcome o = Run("line --units 300 --chip vt300 --spread-offset 6000 --config '" + v3 + "' --svg '" +
                    svg + "'");
    ASSERT_EQ(0, o.exitCode) << o.err;
    int headroom = 0;
    std::smatch m;
    std::regex reason("\\n +(\\d+) +\\(14, 140, 34\\) +\\(+(# - afc\\) \\* slope|afc \\* slope)");
    for (std::sregex_iterator it(o.out.begin(), o.out.end(), reason); it != std::sregex_iterator();
         ++it)
        headroom += std::stoi((*it)[1]);
    EXPECT_GT(headroom, 0) << o.out;
    ASSERT_TRUE(std::regex_search(o.out, m,
                                  std::regex("CAFC \\(code\\), window \\[\\d+, \\d+\\]: "
                                             "\\d+ values, .*, (\\d+) outside")));
    EXPECT_EQ(headroom, std::stoi(m[1])) << o.out;
    EXPECT_TRUE(has(o.out, "\\n  The window shown is the headroom at the highest slope; each unit "
                           "is judged by the headroom at its own slope\\.\\n"));
    std::string report = slurp(svg);
    EXPECT_TRUE(has(report, ", " + m[1].str() + " outside</text>"));
    // Every bar that holds a unit is at least a pixel high.
    std::regex bar("<rect x=\"[\\d.]+\" y=\"[\\d.]+\" width=\"[\\d.]+\" height=\"([\\d.]+)\" "
                   "fill=\"#(4a7fb5|c8553d)\"");
    int bars = 0;
    for (std::sregex_iterator it(report.begin(), report.end(), bar); it != std::sregex_iterator();
         ++it, ++bars)
        EXPECT_GE(std::stod((*it)[1]), 1.0);
    EXPECT_GT(bars, 10);

    // A CDAC computed below 0 counts as the negative number it is.
    Outcome ln = Run("line --units 30 --chip ln2040 --offset 40000 --spread-offset 300");
    EXPECT_TRUE(has(ln.out, "CDAC \\(code\\), window \\[32, 47\\]: 30 values, mean -\\d+\\.\\d\\d, "
                            "sd \\d\\.\\d\\d, min -\\d+, max -\\d+, 30 outside"))
        << ln.out;

    // Values in a narrow band: bars fitted to them, the window still named.
    Outcome flat = Run("line --units 200 --spread-offset 0 --spread-cdac-step 0 --spread-slope 0 "
                       "--svg '" +
                       Path("flat.svg") + "'");
    std::string slope = flat.out.substr(flat.out.find("CAFC slope (Hz/code)"));
    EXPECT_TRUE(has(slope,
                    "^CAFC slope \\(Hz/code\\), window \\[4, 10\\]: 200 values.*\\n  "
                    "Nearly all values fill one or two rows of the window's range, so the rows "
                    "are fitted to them\\.\\n"));
    EXPECT_GE(matches(slope, "\\n +\\d\\.\\d{5}\\.\\.\\d\\.\\d{5} +[1-9]\\d* \\| #"), 3) << slope;
    std::string flatSvg = slurp(Path("flat.svg"));
    EXPECT_TRUE(has(flatSvg, "so the bars are fitted to them\\."));
    EXPECT_TRUE(has(flatSvg, "CAFC slope \\(Hz/code\\), window \\[4, 10\\]: 200 units"));

    // Nearly all units in a few of the plot's many bars: fitted as well.
    Run("line --units 2000 --seed 7 --svg '" + Path("wide.svg") + "'");
    std::string wide = slurp(Path("wide.svg"));
    size_t cafc = wide.find("CAFC (code)");
    ASSERT_NE(std::string::npos, cafc);
    std::string panel = wide.substr(cafc, wide.find("CAFC slope") - cafc);
    EXPECT_TRUE(has(panel, "Nearly all values fill a few bars")) << panel;
}

// --- bad input ---------------------------------------------------------------

TEST_F(Station, BadInputGetsAClearMessageAndNonZeroExit) {
    struct Case {
        std::string args;
        int exit;
        std::string message;
    };
    std::string folder = m_dir;
    const std::vector<Case> cases = {
        {"--lib /nonexistent/libVantorCrystal.so", 3,
         "cannot load /nonexistent/libVantorCrystal.so"},
        {"--config /nonexistent/station.ini", 2,
         "cannot open the configuration file '/nonexistent/station.ini': No such file or "
         "directory"},
        {"--config '" + folder + "'", 2,
         "cannot open the configuration file '.*': a folder, not a regular file"},
        {"--chip vt999", 2, "unknown chip 'vt999' \\(choose vt300, vt318 or ln2040\\)"},
        {"--offset 12abc", 2, "--offset needs a number, not '12abc'"},
        {"--offset nan", 2, "--offset needs a number, not 'nan'"},
        {"line --units 0", 2, "--units must lie between 1 and 100000000, not 0"},
        {"line --units", 2, "--units: 1 required N missing"},
        {"line", 2, "--units is required"},
        {"--band 7", 2, "--band must lie between 0 and 3, not 7"},
        {"--profile wobbly", 2, "unknown handset profile 'wobbly'"},
        {"--profile retry --chip ln2040", 2, "profile 'retry' is a VT318 unit"},
        {"line --units 10 --svg /nonexistent/dir/x.svg", 2, "cannot write the SVG report"},
        {"--frobnicate", 2, "unknown option '--frobnicate' of 'run'"},
        {"frobnicate", 2, "unknown option|The following argument was not expected: frobnicate"},
        // An option of another command names the command that takes it.
        {"--svg x.svg", 2, "--svg is not an option of 'run': it belongs to 'line', 'replay'"},
        {"analyse --units 5 x.log", 2, "--units is not an option of 'analyse': it belongs to 'line'"},
        {"line --units 5 --sweep 'A/B=1:2:1'", 2,
         "--sweep is not an option of 'line': it belongs to 'replay', 'analyse'"},
        {"replay x.log --html x.html", 2, "--html is not an option of 'replay': it belongs to "
                                          "'analyse'"},
        {"replay x.log --svg x.svg", 2, "--svg draws a sweep: add --sweep"},
        {"replay x.log --json --sweep 'A/B=1:2:1' --sweep 'A/C=1:2:1'", 2,
         "--json reports a sweep of one key"},
        {"replay --sweep 'A/B=1:2:1' --sweep 'A/C=1:2:1' --sweep 'A/D=1:2:1' x.log", 2,
         "--sweep is given at most twice"},
        {"check a.ini --config b.ini", 2, "check takes one file"},
        {"help nothing", 2, "no command 'nothing'"},
    };
    for (const Case& c : cases) {
        Outcome o = Run(c.args);
        EXPECT_EQ(c.exit, o.exitCode) << c.args;
        EXPECT_TRUE(has(o.err, "^vantor-station: " + c.message)) << c.args << "\n" << o.err;
        EXPECT_EQ("", o.out) << c.args;
    }
}

TEST_F(Station, HelpAndVersion) {
    Outcome help = Run("help");
    EXPECT_EQ(0, help.exitCode);
    EXPECT_TRUE(has(help.out, "Usage: vantor-station"));
    for (const char* command : {"run", "line", "check", "config", "replay", "analyse", "version"})
        EXPECT_TRUE(has(help.out, std::string("\n  ") + command + "[ ,]")) << command;
    // A command's help lists its own options and exit statuses only.
    Outcome analyse = Run("help analyse");
    EXPECT_EQ(0, analyse.exitCode);
    EXPECT_TRUE(has(analyse.out, "Usage: vantor-station analyse"));
    EXPECT_TRUE(has(analyse.out, "--bias-limit PPM"));
    EXPECT_TRUE(has(analyse.out, "Exit status: 0 the analysis ran"));
    EXPECT_FALSE(has(analyse.out, "--units")) << analyse.out;
    EXPECT_EQ(analyse.out, Run("analyze --help").out);
    EXPECT_TRUE(has(Run("line --help").out, "--units N"));
    for (const char* args : {"version", "--version"}) {
        Outcome version = Run(args);
        EXPECT_EQ(0, version.exitCode) << args;
        EXPECT_TRUE(has(version.out, "Version +1\\.0\\.1, build 0005 \\(FileVersion 1, 0, 1, 5\\)"));
    }
}

TEST_F(Station, EmbeddedConfigurationIsRemovedAfterTheRun) {
    std::string tmp = Path("tmp");
    ASSERT_EQ(0, std::system(("mkdir '" + tmp + "'").c_str()));
    std::string cmd = "TMPDIR='" + tmp + "' '" + STATION_EXE + "' --virtual-time >/dev/null 2>&1";
    ASSERT_EQ(0, std::system(cmd.c_str()));
    ASSERT_EQ(0, std::system(("ls -A '" + tmp + "' > '" + Path("ls") + "'").c_str()));
    EXPECT_EQ("", slurp(Path("ls")));
}

} // namespace
