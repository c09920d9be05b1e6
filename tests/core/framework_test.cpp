// The action framework: items and lines as the host receives them, the
// parameter block, drivers and adapters, configuration and the command policy.
#include "Rig.h"

#include "common/AfcActionBase.h"
#include "common/DriverAdapters.h"
#include "afc/Vt318.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#if !defined(_WIN32)
#include <cstdlib>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using rig::T;
using testing_support::Capture;

namespace {

class TestAction : public CActionBase {
public:
    const char* GetName() const override { return "TEST"; }
};

class TestAfc : public CAfcActionBase {
public:
    const char* GetName() const override { return "TEST_AFC"; }
    int DoAction() override {
        return RunFrame([this] {
            SetMeasurementPoint(10, 20);
            MeasurePfer();
        });
    }
    using CAfcActionBase::MeasurePfer;
};

template <class T> T readAt(const RESULT_ITEM& item, size_t offset) {
    T v;
    std::memcpy(&v, reinterpret_cast<const unsigned char*>(&item) + offset, sizeof v);
    return v;
}

struct TargetsFixture : ::testing::Test {
    void SetUp() override {
        Capture().Clear();
        items = testing_support::ItemTarget(0xAAAA0001u, 0xBBBB0002u);
        lines = testing_support::LineTarget(0xCCCC0003u, 0xDDDD0004u);
        ASSERT_EQ(0, action.SetCallBack(1, &items));
        ASSERT_EQ(0, action.SetCallBack(2, &lines));
    }
    TestAction action;
    NOTIFY_TARGET items, lines;
};

TEST_F(TargetsFixture, NumericItemFieldsAtTheirOffsets) {
    action.ReportValue("Slope", 4.0, 8.0, 16.0, "Hz", 2, 1);
    ASSERT_EQ(1u, Capture().items.size());
    const RESULT_ITEM& raw = Capture().items[0].raw;
    EXPECT_STREQ("Slope", reinterpret_cast<const char*>(&raw));
    EXPECT_EQ(0, readAt<int32_t>(raw, 200));
    EXPECT_EQ(4.0, readAt<double>(raw, 204));
    EXPECT_EQ(8.0, readAt<double>(raw, 212));
    EXPECT_EQ(16.0, readAt<double>(raw, 220));
    EXPECT_STREQ("Hz", reinterpret_cast<const char*>(&raw) + 304);
    EXPECT_EQ(2, readAt<int32_t>(raw, 324));
    EXPECT_EQ(1, readAt<int32_t>(raw, 328));
    EXPECT_EQ(1, readAt<int32_t>(raw, 332));
    EXPECT_EQ(0, readAt<int32_t>(raw, 336));
    EXPECT_EQ(0, readAt<int32_t>(raw, 340));
    EXPECT_EQ(0xAAAA0001u, readAt<uint32_t>(raw, 344));
    EXPECT_EQ(0xBBBB0002u, readAt<uint32_t>(raw, 348));
}

TEST_F(TargetsFixture, PassFlagRules) {
    action.ReportValue(nullptr, 0, 0, 0, nullptr, 3, 1); // the closing item passes
    EXPECT_EQ(1, Capture().items.back().pass);
    EXPECT_EQ("", Capture().items.back().name);
    EXPECT_EQ("-", Capture().items.back().unit);
    action.ReportValue("x", 1, 0.5, 2, "u", 2, 1);
    EXPECT_EQ(0, Capture().items.back().pass);
    action.ReportValue("info", 1, 0.5, 2, "u", 4, 1); // kind 4 leaves the last flag
    EXPECT_EQ(0, Capture().items.back().pass);
    action.ReportValue("x", 1, 1, 2, "u", 2, 1);
    EXPECT_EQ(1, Capture().items.back().pass);
    action.ReportValue("info", 1, 0.5, 2, "u", 4, 1);
    EXPECT_EQ(1, Capture().items.back().pass);
    action.ReportValue("nan", 0, std::numeric_limits<double>::quiet_NaN(), 0, "u", 2, 1);
    EXPECT_EQ(0, Capture().items.back().pass);       // unordered fails
    action.ReportValue("edge", -1, 2, 2, "u", 7, 1); // any other kind is judged
    EXPECT_EQ(1, Capture().items.back().pass);
}

TEST_F(TargetsFixture, LongNamesAndUnitsAreCutWithTheirTerminator) {
    std::string name(300, 'n');
    std::string unit(40, 'u');
    action.ReportValue(name.c_str(), 0, 0, 0, unit.c_str(), 4, 1);
    const RESULT_ITEM& raw = Capture().items.back().raw;
    EXPECT_EQ(199u, strnlen(raw.name, sizeof raw.name));
    EXPECT_EQ(19u, strnlen(raw.unit, sizeof raw.unit));
}

TEST_F(TargetsFixture, TextItems) {
    std::string text(150, 't');
    action.ReportText("Note", text.c_str(), 2);
    const RESULT_ITEM& raw = Capture().items.back().raw;
    EXPECT_EQ(1, raw.form);
    EXPECT_EQ(99u, strnlen(raw.u.text, sizeof raw.u.text));
    EXPECT_EQ('t', raw.u.text[98]);
    EXPECT_STREQ("-", raw.unit);
    EXPECT_EQ(4, raw.kind);
    EXPECT_EQ(2, raw.level);
    EXPECT_EQ(0xAAAA0001u, raw.context1);
}

TEST_F(TargetsFixture, ValueFormatBuildsTheName) {
    action.ReportValueFormat(0, 1.5, 0, "Hz", 4, 3, "CH: %d, FE", 62);
    EXPECT_EQ("CH: 62, FE", Capture().items.back().name);
    EXPECT_EQ(1.5, Capture().items.back().value);
}

TEST_F(TargetsFixture, LogLineRecord) {
    action.LogFormat(2, "a,%d,%s", 5, "b");
    ASSERT_EQ(1u, Capture().lineRecords.size());
    const LOG_LINE& l = Capture().lineRecords[0];
    EXPECT_EQ("a,5,b", Capture().lines[0]);
    EXPECT_EQ(5u, l.length);
    EXPECT_EQ(2, l.level);
    EXPECT_EQ(0u, l.zero1);
    EXPECT_EQ(0u, l.zero2);
    EXPECT_EQ(0xCCCC0003u, l.context1);
    EXPECT_EQ(0xDDDD0004u, l.context2);
    EXPECT_EQ(action.LogLineRecord().text, l.text); // inside the action's own text
}

TEST_F(TargetsFixture, FunctionTargetAnsweringZero) {
    Capture().lineReply = 0;
    Capture().itemReply = 0;
    EXPECT_EQ(0, action.SendLogLine("x", 1));
    EXPECT_EQ(0, action.ReportValue("x", 0, 0, 0, nullptr, 4, 1));
    Capture().lineReply = 7;
    EXPECT_EQ(1, action.SendLogLine("x", 1));
}

TEST(Targets, NoTargetSendsNothingAndAnswersOne) {
    Capture().Clear();
    TestAction action;
    EXPECT_EQ(1, action.SendLogLine("x", 1));
    EXPECT_EQ(1, action.ReportValue("x", 0, 0, 0, nullptr, 4, 1));
    EXPECT_EQ(1, action.SendResult(nullptr));
    EXPECT_TRUE(Capture().items.empty());
    EXPECT_TRUE(Capture().lines.empty());
}

TEST(Targets, BadCallbackTypeAndNullTargetKeepTheStoredOne) {
    TestAction action;
    NOTIFY_TARGET t = testing_support::ItemTarget(5, 6);
    ASSERT_EQ(0, action.SetCallBack(1, &t));
    NOTIFY_TARGET other = testing_support::ItemTarget(7, 8);
    EXPECT_NE(0, action.SetCallBack(0, &other));
    EXPECT_EQ(T(6, 11), rig::LastTriple());
    EXPECT_NE(0, action.SetCallBack(1, nullptr));
    EXPECT_EQ(T(6, 7), rig::LastTriple());
    EXPECT_EQ(5u, action.ResultTarget().context1);
}

#if !defined(_WIN32)
TEST(Targets, EventTargetIsAnEventfd) {
    TestAction action;
    int fd = eventfd(0, EFD_NONBLOCK);
    ASSERT_GE(fd, 0);
    NOTIFY_TARGET t{};
    t.kind = 1;
    t.target = static_cast<uintptr_t>(fd);
    ASSERT_EQ(0, action.SetCallBack(1, &t));
    ASSERT_EQ(0, action.SetCallBack(2, &t));
    EXPECT_EQ(1, action.ReportValue("a", 0, 1, 2, "u", 2, 1));
    EXPECT_EQ(1, action.SendLogLine("line", 1));
    uint64_t count = 0;
    ASSERT_EQ(static_cast<ssize_t>(sizeof count), read(fd, &count, sizeof count));
    EXPECT_EQ(2u, count);
    double value = action.ResultBuffer().u.num.value; // the host reads the buffer
    EXPECT_EQ(1.0, value);
    close(fd);
}

TEST(Targets, EventThatCannotBeSignalledIsGivenUp) {
    TestAction action;
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    close(fds[1]);
    NOTIFY_TARGET t{};
    t.kind = 1;
    t.target = static_cast<uintptr_t>(fds[0]); // read end: every write fails
    ASSERT_EQ(0, action.SetCallBack(2, &t));
    EXPECT_EQ(0, action.SendLogLine("x", 1));
    close(fds[0]);
    t.target = 0; // a zero handle signals nothing
    ASSERT_EQ(0, action.SetCallBack(2, &t));
    EXPECT_EQ(1, action.SendLogLine("x", 1));
}

TEST(Targets, DescriptorThatIsNoEventfdGetsNothingWritten) {
    TestAction action;
    char path[] = "event-target-XXXXXX";
    int file = mkstemp(path);
    ASSERT_GE(file, 0);
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    for (int fd : {file, fds[1]}) {
        NOTIFY_TARGET t{};
        t.kind = OMRA_TARGET_EVENT;
        t.target = static_cast<uintptr_t>(fd);
        ASSERT_EQ(0, action.SetCallBack(2, &t));
        EXPECT_EQ(0, action.SendLogLine("x", 1)) << fd; // a signal that failed
    }
    struct stat st {};
    ASSERT_EQ(0, fstat(file, &st));
    EXPECT_EQ(0, st.st_size);
    int pending = -1;
    ASSERT_EQ(0, ioctl(fds[0], FIONREAD, &pending));
    EXPECT_EQ(0, pending);
    close(file);
    close(fds[0]);
    close(fds[1]);
    unlink(path);
}
#endif

TEST(Targets, EventSignalIsTriedExactlyAHundredTimes) {
    int calls = 0;
    EXPECT_FALSE(vantor::SignalWithRetry([&] { return ++calls < 0; }));
    EXPECT_EQ(100, calls);
    calls = 0;
    EXPECT_TRUE(vantor::SignalWithRetry([&] { return ++calls == 100; }));
    EXPECT_EQ(100, calls);
    calls = 0;
    EXPECT_TRUE(vantor::SignalWithRetry([&] { return ++calls == 1; }));
    EXPECT_EQ(1, calls);
}

TEST(Exception, FullTextNamesTheFileAndLine) {
    CCFTException a("C:\\src\\Common\\ActionBase.cpp", 7, "< %s >x %d", "VT", 3);
    EXPECT_STREQ("< VT >x 3", a.GetMessageText());
    EXPECT_STREQ("< VT >x 3\n\nFILE:\tActionBase.cpp\nLINE:\t0007\n", a.GetFullText());
    CCFTException b("/work/src/AfcActionBase.cpp", 12345, "m");
    EXPECT_STREQ("m\n\nFILE:\tAfcActionBase.cpp\nLINE:\t12345\n", b.GetFullText());
}

TEST(InitAction, CopiesTheBlockAndDerivesTheClassMark) {
    const int32_t marks[] = {4, 0, 1, 3, 0, 0};
    const int32_t bands[] = {0, 1, 2, 3, 7, -1};
    for (int i = 0; i < 6; ++i) {
        TestAction action;
        ACTION_PARAM p;
        std::memset(&p, 0, sizeof p);
        p.band = bands[i];
        p.paramWord = 99;
        EXPECT_EQ(0, action.InitAction(&p)); // no path: nothing is read
        EXPECT_EQ(bands[i], action.Band());
        EXPECT_EQ(marks[i], action.ClassMark()) << "band " << bands[i];
    }
}

TEST(InitAction, NullBlockIsRefused) {
    TestAction action;
    EXPECT_NE(0, action.InitAction(nullptr));
    EXPECT_EQ(T(8, 7), rig::LastTriple());
    EXPECT_EQ(1, action.Band());
}

TEST(InitAction, UnterminatedPathIsReadWithinItsField) {
    TestAction action;
    ACTION_PARAM p;
    std::memset(&p, 0, sizeof p);
    std::memset(p.configPath, 'a', sizeof p.configPath);
    p.paramWord = 0x41414141; // right behind the path
    const rig::RunResult init = testing_support::Catching([&] { return action.InitAction(&p); });
    EXPECT_TRUE(init.threw) << "a missing file throws";
    EXPECT_EQ(520u, action.ConfigPath().size());
    EXPECT_EQ(T(101, 13), init.triple);
}

struct ConfigFixture : ::testing::Test {
    int load(TestAction& action, const std::string& text) {
        file.reset(new rig::TempFile(text));
        return action.LoadAdjustConfig(file->Path().c_str());
    }
    std::unique_ptr<rig::TempFile> file;
};

TEST_F(ConfigFixture, DefaultsWithoutTheSection) {
    TestAction action;
    Spec_ClearErrorCode(E_ERR_ANY);
    EXPECT_EQ(0, load(action, "[OTHER]\nTxOff=0\n"));
    EXPECT_EQ(1u, action.TxOff());
    EXPECT_EQ(0u, action.ResendDiagCommand());
    EXPECT_EQ(200u, action.ResendInterval());
    EXPECT_EQ(1u, action.ThrowOnDiagFailure());
    EXPECT_EQ(0u, Spec_GetError(E_ERR_ANY));
}

TEST_F(ConfigFixture, ReadsTheFourKeys) {
    TestAction action;
    EXPECT_EQ(0, load(action, "[DIAG CONTROL]\nTxOff=0\nResend Diag. Command=1\n"
                              "Resend Interval Time=50\nThrow  Diag. Exception=0\n"));
    EXPECT_EQ(0u, action.TxOff());
    EXPECT_EQ(1u, action.ResendDiagCommand());
    EXPECT_EQ(50u, action.ResendInterval());
    EXPECT_EQ(0u, action.ThrowOnDiagFailure());
    EXPECT_EQ(file->Path(), action.ConfigPath());
}

TEST_F(ConfigFixture, ThrowKeyWithOneBlankIsAnotherKey) {
    TestAction action;
    EXPECT_EQ(0, load(action, "[DIAG CONTROL]\nThrow Diag. Exception=0\n"));
    EXPECT_EQ(1u, action.ThrowOnDiagFailure());
}

TEST_F(ConfigFixture, EmptyFileLeavesItsTripleAndTheDefaults) {
    TestAction action;
    load(action, "[DIAG CONTROL]\nTxOff=0\n");
    EXPECT_EQ(0u, action.TxOff());
    EXPECT_EQ(0, load(action, ""));
    EXPECT_EQ(T(101, 14), rig::LastTriple());
    EXPECT_EQ(1u, action.TxOff());
}

TEST_F(ConfigFixture, MissingFileThrowsAndKeepsTheSettings) {
    TestAction action;
    load(action, "[DIAG CONTROL]\nResend Diag. Command=1\n");
    const rig::RunResult load = testing_support::Catching(
        [&] { return action.LoadAdjustConfig("no-such-dir/missing.ini"); });
    EXPECT_TRUE(load.threw);
    EXPECT_EQ("< TEST >LoadAdjustConfig file <no-such-dir/missing.ini> not exist", load.message);
    EXPECT_NE(std::string::npos, load.fullText.find("FILE:\tActionBase.cpp\n"));
    EXPECT_EQ(T(101, 13), load.triple);
    EXPECT_EQ("no-such-dir/missing.ini", action.ConfigPath());
    EXPECT_EQ(1u, action.ResendDiagCommand());
}

TEST_F(ConfigFixture, EmptyPathReadsNothing) {
    TestAction action;
    load(action, "[DIAG CONTROL]\nTxOff=0\n");
    EXPECT_EQ(0, action.LoadAdjustConfig(""));
    EXPECT_EQ(0, action.LoadAdjustConfig(nullptr));
    EXPECT_EQ(0u, action.TxOff());
    EXPECT_EQ(file->Path(), action.ConfigPath());
}

TEST_F(ConfigFixture, DirectoryIsNoConfigurationFile) {
    TestAction action;
    const rig::RunResult load =
        testing_support::Catching([&] { return action.LoadAdjustConfig("."); });
    EXPECT_TRUE(load.threw) << "a folder cannot be read as the file";
    EXPECT_EQ(T(101, 13), load.triple);
}

// --- Drivers ------------------------------------------------------------------

// Every table entry records its index and arguments.
struct TableCalls {
    std::vector<std::string> calls;
};
TableCalls& tableCalls() {
    static TableCalls c;
    return c;
}
std::string args(std::initializer_list<intptr_t> a) {
    std::string s;
    for (intptr_t v : a)
        s += "," + std::to_string(v);
    return s;
}
#define REC0(i)                                                                                    \
    []() {                                                                                         \
        tableCalls().calls.push_back(#i);                                                          \
        return i + 100;                                                                            \
    }
#define REC1(i)                                                                                    \
    [](intptr_t a) {                                                                               \
        tableCalls().calls.push_back(#i + args({a}));                                              \
        return i + 100;                                                                            \
    }
#define REC2(i)                                                                                    \
    [](intptr_t a, intptr_t b) {                                                                   \
        tableCalls().calls.push_back(#i + args({a, b}));                                           \
        return i + 100;                                                                            \
    }
#define REC3(i)                                                                                    \
    [](intptr_t a, intptr_t b, intptr_t c) {                                                       \
        tableCalls().calls.push_back(#i + args({a, b, c}));                                        \
        return i + 100;                                                                            \
    }

RFTESTER_TABLE recordingRfTable() {
    RFTESTER_TABLE t{};
    t.SetBand = REC2(0);
    t.SetupMeasurement = REC3(1);
    t.op5 = REC0(2);
    t.op14 = REC1(3);
    t.TriggerMeasurement = REC1(4);
    t.ReadMeasurement = REC2(5);
    t.op17 = REC1(6);
    t.op24 = REC2(7);
    t.SetPowerLevel = REC2(8);
    t.SetTrafficChannel = REC2(9);
    t.op20 = REC2(10);
    t.op21 = REC3(11);
    t.op22 = REC1(12);
    t.SetChannel = REC1(13);
    t.op25 = REC3(14);
    t.op29 = REC3(15);
    t.op30 = REC3(16);
    t.BeginAction = REC1(17);
    return t;
}

TEST(Adapters, RfTesterOperationsReachTheirTableEntries) {
    RFTESTER_TABLE table = recordingRfTable();
    CRfTesterTableAdapter a(&table);
    IRfTester& rf = a;
    tableCalls().calls.clear();
    std::vector<std::pair<int, std::string>> expect;
    EXPECT_EQ(102, rf.Op5());
    EXPECT_EQ(117, rf.BeginAction(-5));
    EXPECT_EQ(100, rf.SetBand(-1, 3));
    EXPECT_EQ(101, rf.SetupMeasurement(2, 7, 8));
    EXPECT_EQ(103, rf.Op14(9));
    EXPECT_EQ(104, rf.TriggerMeasurement(2));
    EXPECT_EQ(105, rf.ReadMeasurement(2, 1234));
    EXPECT_EQ(106, rf.Op17(1));
    EXPECT_EQ(108, rf.SetPowerLevel(10, 0));
    EXPECT_EQ(109, rf.SetTrafficChannel(62, 0));
    EXPECT_EQ(110, rf.Op20(1, 2));
    EXPECT_EQ(111, rf.Op21(1, 2, 3));
    EXPECT_EQ(112, rf.Op22(4));
    EXPECT_EQ(113, rf.SetChannel(62));
    EXPECT_EQ(107, rf.Op24(5, 6));
    EXPECT_EQ(114, rf.Op25(1, 2, 3));
    EXPECT_EQ(115, rf.Op29(4, 5, 6));
    EXPECT_EQ(116, rf.Op30(7, 8, 9));
    std::vector<std::string> want = {"2",        "17,-5",    "0,-1,3",  "1,2,7,8", "3,9",
                                     "4,2",      "5,2,1234", "6,1",     "8,10,0",  "9,62,0",
                                     "10,1,2",   "11,1,2,3", "12,4",    "13,62",   "7,5,6",
                                     "14,1,2,3", "15,4,5,6", "16,7,8,9"};
    EXPECT_EQ(want, tableCalls().calls);

    tableCalls().calls.clear();
    EXPECT_EQ(0, rf.Op1(1, 2));
    EXPECT_EQ(0, rf.Op2(1, 2));
    rf.Op3();
    rf.Op4();
    EXPECT_EQ(0, rf.Op7(1, 2, 3));
    EXPECT_EQ(0, rf.Op8(1, 2));
    EXPECT_EQ(0, rf.Op9(1, 2, 3));
    EXPECT_EQ(0, rf.Op10(1));
    EXPECT_EQ(0, rf.Op12(1, 2));
    EXPECT_EQ(0, rf.Op26(1));
    EXPECT_EQ(0, rf.Op27(1, 2));
    EXPECT_EQ(0, rf.Op28(1, 2));
    EXPECT_EQ(0, rf.Op31());
    EXPECT_EQ(0, rf.Op32(1, 2, 3, 4));
    EXPECT_TRUE(tableCalls().calls.empty());
}

TEST(Adapters, Driver1OperationsReachTheirTableEntries) {
    DRIVER1_TABLE table{};
    table.op4 = REC2(0);
    table.op5 = REC2(1);
    table.op6 = REC2(2);
    table.op7 = REC3(3);
    table.op8 = REC2(4);
    CDriver1TableAdapter a(&table);
    IDriver1& d = a;
    tableCalls().calls.clear();
    EXPECT_EQ(100, d.Op4(1, 2));
    EXPECT_EQ(101, d.Op5(3, 4));
    EXPECT_EQ(102, d.Op6(5, 6));
    EXPECT_EQ(103, d.Op7(7, 8, 9));
    EXPECT_EQ(104, d.Op8(10, 11));
    EXPECT_EQ(0, d.Op1(1, 2));
    EXPECT_EQ(0, d.Op2(1));
    EXPECT_EQ(0, d.Op3());
    EXPECT_EQ(0, d.Op9(1, 2, 3));
    EXPECT_EQ(0, d.Op10(1, 2, 3));
    std::vector<std::string> want = {"0,1,2", "1,3,4", "2,5,6", "3,7,8,9", "4,10,11"};
    EXPECT_EQ(want, tableCalls().calls);
}

TEST(Adapters, EmptyTableEntryAnswersZero) {
    RFTESTER_TABLE table{};
    CRfTesterTableAdapter a(&table);
    EXPECT_EQ(0, a.BeginAction(0));
    EXPECT_EQ(0, a.ReadMeasurement(2, 0));
}

TEST(SetDriver, TablesShareOneAdapter) {
    TestAction action;
    RFTESTER_TABLE t1 = recordingRfTable(), t2 = recordingRfTable();
    ASSERT_EQ(0, action.SetDriver(2, 2, &t1));
    IRfTester* first = action.RfTester();
    ASSERT_EQ(0, action.SetDriver(2, 2, &t2));
    EXPECT_EQ(first, action.RfTester());
    EXPECT_EQ(&t2, static_cast<CRfTesterTableAdapter*>(action.RfTester())->Table());
}

TEST(SetDriver, KindsOtherThanObjectAndTable) {
    TestAction action;
    sim::RfTester object(nullptr);
    int dummy = 0;
    EXPECT_NE(0, action.SetDriver(2, 3, &dummy));
    EXPECT_EQ(T(7, 22), rig::LastTriple());
    EXPECT_EQ(nullptr, action.RfTester());
    ASSERT_EQ(0, action.SetDriver(2, 1, static_cast<IRfTester*>(&object)));
    EXPECT_EQ(0, action.SetDriver(2, 3, &dummy));
    EXPECT_EQ(static_cast<IRfTester*>(&object), action.RfTester());
    EXPECT_EQ(3u, action.RfTesterKind());
    EXPECT_NE(0, action.SetDriver(1, 9, &dummy));
    EXPECT_EQ(T(7, 21), rig::LastTriple());
    EXPECT_NE(0, action.SetDriver(1, 1, nullptr));
    EXPECT_EQ(T(7, 7), rig::LastTriple());
    EXPECT_NE(0, action.SetDriver(0, 1, &dummy));
    EXPECT_EQ(T(6, 12), rig::LastTriple());
}

TEST(SetDriver, ObjectReplacesAnAdapterAndHostObjectsOutliveTheAction) {
    sim::RfTester object(nullptr);
    RFTESTER_TABLE table = recordingRfTable();
    {
        TestAction action;
        ASSERT_EQ(0, action.SetDriver(2, 2, &table));
        ASSERT_EQ(0, action.SetDriver(2, 1, static_cast<IRfTester*>(&object)));
        EXPECT_EQ(static_cast<IRfTester*>(&object), action.RfTester());
        ASSERT_EQ(0, action.SetDriver(2, 2, &table)); // a new adapter again
        EXPECT_NE(static_cast<IRfTester*>(&object), action.RfTester());
    }
    EXPECT_EQ(0, object.Measurements()); // still alive and untouched
}

// --- Pre-RF step, DoAction start and the command policy ----------------------

TEST(PreDoRfAction, ChipTypesAndTheClassMark) {
    for (int32_t chip : {0, 1, 2, 3, 4, 5, -1}) {
        rig::Bench bench;
        TestAfc action;
        bench.Prepare(&action, "[AFC-COMMON]\n", chip, 2);
        EXPECT_EQ(1, action.PreDoRfAction(&action.Params()));
        std::vector<std::string> want = {"RF.BeginAction(0)", "RF.SetBand(-1,2)"};
        if (chip == 1 || chip == 2 || chip == 4)
            want.push_back("HT_SetPhoneClassmark_MChip(1)");
        EXPECT_EQ(want, bench.log.Entries()) << "chip type " << chip;
    }
}

struct PolicyCase {
    int resend, throwOnFailure, failures; // failures: how many "on" sends fail
};

class CommandPolicy : public ::testing::TestWithParam<PolicyCase> {};

TEST_P(CommandPolicy, SendsResendsAndThrowsAsConfigured) {
    const PolicyCase c = GetParam();
    rig::Bench bench;
    for (int n = 1; n <= c.failures; ++n)
        bench.handset.FailCall(sim::Command::AfcOn, n, 5);
    TestAfc action;
    bench.Prepare(&action, "[DIAG CONTROL]\nResend Diag. Command=" + std::to_string(c.resend) +
                               "\nResend Interval Time=50\nThrow  Diag. Exception=" +
                               std::to_string(c.throwOnFailure) + "\n");
    rig::RunResult r = bench.Run(&action);

    int sends = (c.failures > 0 && c.resend) ? 2 : 1;
    bool failedFinally = c.failures >= sends;
    EXPECT_EQ(sends, bench.handset.Calls(sim::Command::AfcOn));
    std::vector<uint32_t> pauses(c.failures > 0 && c.resend ? 1 : 0, 50);
    EXPECT_EQ(pauses, bench.Pauses());
    if (failedFinally && c.throwOnFailure) {
        EXPECT_TRUE(r.threw);
        EXPECT_EQ("< TEST_AFC >HT_AfcStart_MChip(TRUE) failed!", r.message);
        EXPECT_NE(std::string::npos, r.fullText.find("\nFILE:\tAfcActionBase.cpp\n"));
        EXPECT_EQ(T(131, 4, 1), r.triple);
        EXPECT_EQ(0, bench.rf.Measurements());
    } else {
        EXPECT_FALSE(r.threw) << r.message;
        EXPECT_EQ(1, bench.rf.Measurements()); // the tester is read all the same
        EXPECT_EQ(rig::Triple{}, r.triple);
    }
    // The closing item ends the run either way.
    ASSERT_FALSE(bench.Items().empty());
    EXPECT_EQ(3, bench.Items().back().kind);
}

INSTANTIATE_TEST_SUITE_P(EveryCombination, CommandPolicy,
                         ::testing::Values(PolicyCase{0, 0, 0}, PolicyCase{0, 1, 0},
                                           PolicyCase{1, 1, 0}, PolicyCase{0, 0, 1},
                                           PolicyCase{0, 1, 1}, PolicyCase{1, 0, 1},
                                           PolicyCase{1, 1, 1}, PolicyCase{1, 0, 2},
                                           PolicyCase{1, 1, 2}));

TEST(CommandPolicy, HugeResendIntervalIsCapped) {
    rig::Bench bench;
    bench.handset.FailCall(sim::Command::AfcOn, 1, 5);
    TestAfc action;
    bench.Prepare(&action, "[DIAG CONTROL]\nResend Diag. Command=1\nResend Interval Time=-1\n");
    rig::RunResult r = bench.Run(&action);
    EXPECT_FALSE(r.threw);
    EXPECT_EQ(std::vector<uint32_t>{CActionBase::kMaxResendInterval}, bench.Pauses());
}

// --- Token splitter ------------------------------------------------------------

TEST(SplitTokens, StopsAtCommentTokens) {
    char text[] = "a b ;c d";
    char* tokens[8] = {};
    int count = -1;
    vantor::SplitTokens(text, tokens, " ", &count, 8);
    ASSERT_EQ(2, count);
    EXPECT_STREQ("a", tokens[0]);
    EXPECT_STREQ("b", tokens[1]);

    char hash[] = "#x";
    vantor::SplitTokens(hash, tokens, " ", &count, 8);
    EXPECT_EQ(0, count);

    char semi[] = "a;b;;c";
    vantor::SplitTokens(semi, tokens, ";", &count, 8);
    ASSERT_EQ(3, count); // a ";" delimiter only separates
    EXPECT_STREQ("c", tokens[2]);
}

TEST(SplitTokens, RunsOfDelimitersAndNullCount) {
    char text[] = "\\\\C:\\\\Tester\\Cfg\\\\";
    char* tokens[8] = {};
    vantor::SplitTokens(text, tokens, "\\", nullptr, 8);
    EXPECT_STREQ("C:", tokens[0]);
    EXPECT_STREQ("Tester", tokens[1]);
    EXPECT_STREQ("Cfg", tokens[2]);
    EXPECT_EQ(nullptr, tokens[3]);
}

TEST(SplitTokens, NeverWritesPastItsCapacity) {
    char text[] = "a b c d e f";
    char* tokens[4] = {};
    int count = 0;
    vantor::SplitTokens(text, tokens, " ", &count, 3);
    EXPECT_EQ(3, count);
    EXPECT_EQ(nullptr, tokens[3]);
}

} // namespace
