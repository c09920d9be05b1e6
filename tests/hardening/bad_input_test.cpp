// Bad input at every export, as a host could hand it in: null pointers,
// freed and foreign handles, ids and types out of range, unterminated and
// overlong paths, values beyond 16 bits, files that are no files. Each gets
// its triple or a clean run, never a crash.
#include "Capture.h"
#include "Chips.h"
#include "ExportCall.h"
#include "HostSleep.h"
#include "OmraHost.h"
#include "Simulator.h"
#include "TempFile.h"
#include "Triple.h"
#include "omra/errorcode.h"
#include "omra/phonecommand.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <direct.h>
#include <process.h>
#define getpid _getpid
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using testing_support::Capture;

using testing_support::ActionTriple;
using testing_support::LastTriple;
using testing_support::Triple;

bool makeDir(const std::string& p) {
#if defined(_WIN32)
    return _mkdir(p.c_str()) == 0;
#else
    return ::mkdir(p.c_str(), 0755) == 0;
#endif
}

void removeDir(const std::string& p) {
#if defined(_WIN32)
    _rmdir(p.c_str());
#else
    ::rmdir(p.c_str());
#endif
}

class BadInput : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.Load(host::DefaultLibraryPath())) << lib.Error();
        lib.Cleanup();
        Capture().Clear();
        testing_support::Pauses().clear();
        Spec_ClearErrorCode(E_ERR_ANY);
        tag = std::to_string(getpid());
        cfg = "bad-input-" + tag + ".ini";
        write(cfg, "");
        handset.Attach();
    }
    void TearDown() override {
        handset.Detach();
        lib.Cleanup();
        std::remove(cfg.c_str());
    }

    static void write(const std::string& path, const std::string& text) {
        ASSERT_TRUE(testing_support::WriteFile(path, text)) << path;
    }

    void start() {
        LIBRARY_INFO info;
        ASSERT_EQ(0u, lib.Startup(&info));
    }

    IAction* ready(uint32_t id) { return testing_support::ReadyAction(lib, id, &rf); }

    ACTION_PARAM param(int32_t chip, int32_t band, const std::string& path) {
        return testing_support::ParamBlock(path, chip, band, record.data());
    }

    // The exception's message ("" when the call returned 0 instead).
    template <typename Call> static std::string thrown(Call call) {
        const testing_support::Outcome o = testing_support::Catching(call);
        EXPECT_TRUE(o.threw || o.returned == 0) << o.returned;
        return o.message;
    }
    std::string run(IAction* a) {
        return thrown([&] { return lib.DoAction(a); });
    }
    std::string initError(IAction* a, ACTION_PARAM* p) {
        return thrown([&] { return lib.InitAction(a, p); });
    }

    int closingItems() const {
        int n = 0;
        for (const auto& it : Capture().items)
            n += it.kind == OMRA_KIND_CLOSING && it.name.empty() ? 1 : 0;
        return n;
    }

    int phoneCalls() const {
        int n = 0;
        for (int c = 0; c <= static_cast<int>(sim::Command::FlashSlopeLength); ++c)
            n += handset.Calls(static_cast<sim::Command>(c));
        return n;
    }

    host::Library lib;
    std::string tag, cfg;
    sim::Handset handset{sim::NominalCrystal(sim::Chip::VT300), 1};
    sim::CallLog rfCalls;
    sim::RfTester rf{&handset, &rfCalls};
    std::vector<unsigned char> record = std::vector<unsigned char>(OMRA_CAL_RECORD_SIZE, 0);
};

// --- Null pointers -----------------------------------------------------------

TEST_F(BadInput, NullInEveryPointerArgument) {
    EXPECT_NE(0u, lib.Startup(nullptr));
    EXPECT_EQ(ActionTriple(1, 7), LastTriple());
    EXPECT_NE(0u, lib.Setup(OMRA_ACTION_LN2040, nullptr));
    EXPECT_EQ(ActionTriple(10, 7), LastTriple());
    start();
    IAction* a = lib.CreateAction(OMRA_ACTION_VT318, 0);
    ASSERT_NE(nullptr, a);
    EXPECT_NE(0u, lib.GetActionInfo(a, nullptr));
    EXPECT_EQ(ActionTriple(5, 7), LastTriple());
    for (uint32_t type : {OMRA_CALLBACK_RESULT, OMRA_CALLBACK_LOG}) {
        EXPECT_NE(0u, lib.SetCallBack(a, type, nullptr));
        EXPECT_EQ(ActionTriple(6, 7), LastTriple());
    }
    for (uint32_t type : {OMRA_DRIVER_TYPE1, OMRA_DRIVER_RFTESTER})
        for (uint32_t kind : {1u, 2u, 3u}) {
            EXPECT_NE(0u, lib.SetDriver(a, type, kind, nullptr));
            EXPECT_EQ(ActionTriple(7, 7), LastTriple());
        }
    EXPECT_NE(0u, lib.InitAction(a, nullptr));
    EXPECT_EQ(ActionTriple(8, 7), LastTriple());
}

TEST_F(BadInput, NullHandleAtEveryExportThatTakesOne) {
    start();
    NOTIFY_TARGET t = testing_support::ItemTarget();
    ACTION_PARAM p = param(0, 1, cfg);
    ACTION_INFO info;
    const std::vector<std::pair<uint32_t, std::function<uint32_t()>>> calls = {
        {4, [&] { return lib.FreeAction(nullptr); }},
        {5, [&] { return lib.GetActionInfo(nullptr, &info); }},
        {6, [&] { return lib.SetCallBack(nullptr, 1, &t); }},
        {7, [&] { return lib.SetDriver(nullptr, 2, 1, &rf); }},
        {8, [&] { return lib.InitAction(nullptr, &p); }},
        {9, [&] { return lib.DoAction(nullptr); }},
        {9, [&] { return lib.SetProperty(nullptr, 1, 2, 3); }},
        {9, [&] { return lib.GetProperty(nullptr, 1, 2, 3); }},
    };
    for (const auto& c : calls) {
        EXPECT_NE(0u, c.second());
        EXPECT_EQ(ActionTriple(c.first, 17), LastTriple());
    }
}

// --- Freed and foreign handles -------------------------------------------------

TEST_F(BadInput, FreedForeignAndStaleHandlesAreNeverCalledThrough) {
    start();
    IAction* freed = lib.CreateAction(OMRA_ACTION_VT300, 0);
    ASSERT_EQ(0u, lib.FreeAction(freed));
    IAction* stale = lib.CreateAction(OMRA_ACTION_LN2040, 0);
    ASSERT_NE(nullptr, stale);
    lib.Cleanup(); // deletes it
    start();
    IAction* kept = ready(OMRA_ACTION_VT318); // a live one the others must not disturb
    // Memory that is no action: a host object, a stack block, an odd address.
    unsigned char block[64];
    std::memset(block, 0xCD, sizeof block);
    std::vector<IAction*> bad = {freed,
                                 stale,
                                 reinterpret_cast<IAction*>(&rf),
                                 reinterpret_cast<IAction*>(block),
                                 reinterpret_cast<IAction*>(1),
                                 reinterpret_cast<IAction*>(~uintptr_t(0) - 7)};
    NOTIFY_TARGET t = testing_support::ItemTarget();
    ACTION_PARAM p = param(1, 1, cfg);
    ACTION_INFO info;
    for (IAction* h : bad) {
        if (h == kept)
            continue; // the allocator may hand a freed address out again
        const std::vector<std::pair<uint32_t, std::function<uint32_t()>>> calls = {
            {4, [&] { return lib.FreeAction(h); }},
            {5, [&] { return lib.GetActionInfo(h, &info); }},
            {6, [&] { return lib.SetCallBack(h, 1, &t); }},
            {7, [&] { return lib.SetDriver(h, 2, 1, &rf); }},
            {8, [&] { return lib.InitAction(h, &p); }},
            {9, [&] { return lib.DoAction(h); }},
            {9, [&] { return lib.SetProperty(h, 1, 2, 3); }},
            {9, [&] { return lib.GetProperty(h, 1, 2, 3); }},
        };
        for (const auto& c : calls) {
            EXPECT_NE(0u, c.second());
            EXPECT_EQ(ActionTriple(c.first, 18), LastTriple());
        }
    }
    EXPECT_EQ(0, rf.Measurements());
    EXPECT_EQ(0, phoneCalls());
    EXPECT_TRUE(Capture().items.empty());
    EXPECT_EQ(0u, lib.FreeAction(kept));
}

// --- Ids, types and kinds out of range ----------------------------------------

TEST_F(BadInput, ActionIdsWithHighBits) {
    start();
    struct {
        uint32_t id;
        uint16_t made; // 0: none
    } cases[] = {{0xFFFF0101u, 0x0101}, {0x80000201u, 0x0201}, {0x00010301u, 0x0301},
                 {0x01010000u, 0},      {0x02010000u, 0},      {0xFFFFFFFFu, 0},
                 {0x0102u, 0},          {0x0100u, 0},          {0u, 0}};
    for (const auto& c : cases) {
        Spec_ClearErrorCode(E_ERR_ANY);
        IAction* a = lib.CreateAction(c.id, 0xFFFFFFFFu);
        if (c.made == 0) {
            EXPECT_EQ(nullptr, a) << std::hex << c.id;
            EXPECT_EQ(ActionTriple(3, 19), LastTriple());
            continue;
        }
        ASSERT_NE(nullptr, a) << std::hex << c.id;
        ACTION_INFO info;
        ASSERT_EQ(0u, lib.GetActionInfo(a, &info));
        EXPECT_EQ(c.made, info.entry.id);
        EXPECT_EQ(0u, lib.FreeAction(a));
    }
    // Setup compares the low 16 bits too: these open no window.
    for (uint32_t id : {0xFFFF0301u, 0x12340000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(0u, lib.Setup(id, cfg.c_str())) << std::hex << id;
        EXPECT_EQ(Triple{}, LastTriple());
    }
}

TEST_F(BadInput, CallbackTypesDriverTypesAndKindsOutOfRange) {
    start();
    IAction* a = lib.CreateAction(OMRA_ACTION_VT300, 0);
    NOTIFY_TARGET t = testing_support::ItemTarget();
    for (uint32_t type : {0u, 3u, 0x80000001u, 0x10002u, 0xFFFFFFFFu}) {
        EXPECT_NE(0u, lib.SetCallBack(a, type, &t)) << type;
        EXPECT_EQ(ActionTriple(6, 11), LastTriple());
    }
    for (uint32_t type : {0u, 3u, 0x80000002u, 0xFFFFFFFFu}) {
        EXPECT_NE(0u, lib.SetDriver(a, type, 1, &rf)) << type;
        EXPECT_EQ(ActionTriple(6, 12), LastTriple());
    }
    for (uint32_t kind : {0u, 3u, 0x80000001u, 0xFFFFFFFFu}) {
        EXPECT_NE(0u, lib.SetDriver(a, OMRA_DRIVER_RFTESTER, kind, &rf)) << kind;
        EXPECT_EQ(ActionTriple(7, 22), LastTriple());
        DRIVER1_TABLE d1{};
        EXPECT_NE(0u, lib.SetDriver(a, OMRA_DRIVER_TYPE1, kind, &d1)) << kind;
        EXPECT_EQ(ActionTriple(7, 21), LastTriple());
    }
    // With no RF tester stored, a run refuses before any handset command.
    NOTIFY_TARGET items = testing_support::ItemTarget();
    ASSERT_EQ(0u, lib.SetCallBack(a, 1, &items));
    ACTION_PARAM p = param(1, 1, cfg);
    ASSERT_EQ(0u, lib.InitAction(a, &p));
    EXPECT_EQ("< VT300_AFC >RF tester driver is not set", run(a));
    EXPECT_EQ(ActionTriple(9, 22), LastTriple());
    EXPECT_EQ(0, phoneCalls());
    EXPECT_EQ(1, closingItems());
    // An unknown kind after an object keeps the object.
    ASSERT_EQ(0u, lib.SetDriver(a, OMRA_DRIVER_RFTESTER, OMRA_DRIVER_KIND_OBJECT, &rf));
    EXPECT_EQ(0u, lib.SetDriver(a, OMRA_DRIVER_RFTESTER, 7, &t));
    Capture().Clear();
    EXPECT_EQ("", run(a));
    EXPECT_EQ(2, rf.Measurements());
}

TEST_F(BadInput, NotificationTargetKindsOutOfRangeSendNothing) {
    start();
    IAction* a = ready(OMRA_ACTION_VT300);
    for (uint32_t kind : {5u, 0x80000004u, 0xFFFFFFFFu}) {
        NOTIFY_TARGET t = testing_support::ItemTarget();
        t.kind = kind;
        ASSERT_EQ(0u, lib.SetCallBack(a, 1, &t));
        t = testing_support::LineTarget();
        t.kind = kind;
        ASSERT_EQ(0u, lib.SetCallBack(a, 2, &t));
        ACTION_PARAM p = param(1, 1, cfg);
        ASSERT_EQ(0u, lib.InitAction(a, &p));
        EXPECT_EQ("", run(a));
    }
    // A function target of kind 4 with a null address is not called.
    NOTIFY_TARGET none{OMRA_TARGET_FUNCTION, 0, 0, 0};
    ASSERT_EQ(0u, lib.SetCallBack(a, 1, &none));
    ASSERT_EQ(0u, lib.SetCallBack(a, 2, &none));
    EXPECT_EQ("", run(a));
    EXPECT_TRUE(Capture().items.empty());
    EXPECT_TRUE(Capture().lines.empty());
}

// --- Parameter blocks -----------------------------------------------------------

TEST_F(BadInput, UnterminatedPathIsReadWithinItsField) {
    start();
    IAction* a = ready(OMRA_ACTION_VT300);
    ACTION_PARAM p = param(1, 1, "");
    std::memset(p.configPath, 'A', sizeof p.configPath);
    p.paramWord = 0x41414141u; // the bytes after the field are no part of the path
    std::string path(sizeof p.configPath, 'A');
    EXPECT_EQ("< VT300_AFC >LoadAdjustConfig file <" + path + "> not exist", initError(a, &p));
    EXPECT_EQ(ActionTriple(101, 13), LastTriple());
}

TEST_F(BadInput, PathsLongerThan260Bytes) {
    start();
    // Nested folders make a real file whose path is longer than 260 bytes
    // where the platform allows it; elsewhere the path names nothing.
    std::string dir = "long-" + tag;
    std::vector<std::string> made;
    std::string path = dir;
    bool creatable = makeDir(path);
    if (creatable)
        made.push_back(path);
    while (path.size() < 300) {
        path += "/" + std::string(60, 'd');
        if (creatable && makeDir(path))
            made.push_back(path);
        else
            creatable = false;
    }
    std::string file = path + "/station.ini";
    ASSERT_GT(file.size(), 260u);
    FILE* f = creatable ? std::fopen(file.c_str(), "wb") : nullptr;
    if (f != nullptr) {
        std::fputs("[AFC-COMMON]\r\nPCL=7\r\n", f);
        std::fclose(f);
    }
    IAction* a = ready(OMRA_ACTION_VT300);
    ACTION_PARAM p = param(0, 1, file);
    std::string error = initError(a, &p);
    if (f != nullptr && error.empty()) {
        // Loaded: the key of the long path is the one that counts.
        run(a);
        ASSERT_FALSE(Capture().items.empty());
        EXPECT_EQ(0u, Capture().items[0].name.find("CH: 62, PCL: 7,")) << Capture().items[0].name;
        Spec_ClearErrorCode(E_ERR_ANY);
        EXPECT_EQ(0u, lib.Setup(OMRA_ACTION_LN2040, file.c_str()));
    } else {
        // Not there, or beyond the platform's path limit: refused clearly.
        EXPECT_EQ("< VT300_AFC >LoadAdjustConfig file <" + file + "> not exist", error);
        EXPECT_EQ(ActionTriple(101, 13), LastTriple());
        EXPECT_NE(0u, lib.Setup(OMRA_ACTION_LN2040, file.c_str()));
        EXPECT_EQ(ActionTriple(10, 13), LastTriple());
    }
#if !defined(_WIN32)
    EXPECT_NE(nullptr, f) << "a long path must work where the platform has no path limit";
#endif
    std::remove(file.c_str());
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        removeDir(*it);
}

TEST_F(BadInput, BandsOutOfRange) {
    start();
    for (int32_t band : {-1, 4, 7, INT_MAX, INT_MIN}) {
        Capture().Clear();
        IAction* a = ready(OMRA_ACTION_VT300);
        ACTION_PARAM p = param(0, band, cfg);
        ASSERT_EQ(0u, lib.InitAction(a, &p));
        run(a);
        ASSERT_FALSE(Capture().lines.empty());
        // No band name to print: the column stays empty.
        EXPECT_EQ(0u, Capture().lines[0].find("VT300_AFC_PFER_0,-,62,")) << Capture().lines[0];
        EXPECT_EQ(1, closingItems());
        EXPECT_EQ(0u, lib.FreeAction(a));
    }
}

TEST_F(BadInput, ChipTypesOutOfRangeSendNoHandsetCommand) {
    start();
    const char* names[] = {"VT300_AFC", "VT318_AFC", "LN2040"};
    const uint32_t ids[] = {OMRA_ACTION_VT300, OMRA_ACTION_VT318, OMRA_ACTION_LN2040};
    for (int i = 0; i < 3; ++i)
        for (int32_t chip : {3, 5, -1, INT_MAX, INT_MIN}) {
            Capture().Clear();
            int before = phoneCalls();
            IAction* a = ready(ids[i]);
            ACTION_PARAM p = param(chip, 1, cfg);
            ASSERT_EQ(0u, lib.InitAction(a, &p));
            EXPECT_EQ(std::string("< ") + names[i] +
                          " >, Invalid Chip Type: " + std::to_string(chip),
                      run(a));
            EXPECT_EQ(ActionTriple(131, 10), LastTriple());
            EXPECT_EQ(before, phoneCalls());
            EXPECT_EQ(1, closingItems());
            EXPECT_EQ(0u, lib.FreeAction(a));
        }
    EXPECT_EQ(0, rf.Measurements());
}

TEST_F(BadInput, NullCalibrationRecordRefusesTheRun) {
    start();
    IAction* a = ready(OMRA_ACTION_LN2040);
    ACTION_PARAM p = param(1, 1, cfg);
    p.calibrationRecord = nullptr;
    ASSERT_EQ(0u, lib.InitAction(a, &p));
    EXPECT_EQ("< LN2040 >calibration record address is null", run(a));
    EXPECT_EQ(ActionTriple(9, 7), LastTriple());
    EXPECT_EQ(0, phoneCalls());
    EXPECT_EQ(0, rf.Measurements());
    EXPECT_EQ(1, closingItems());
}

// --- Configuration values and files ------------------------------------------------

TEST_F(BadInput, ValuesBeyond16BitsAreCutTo16Bits) {
    start();
    write(cfg, "[AFC-COMMON]\r\nPCL=65546\r\nTCH=131134\r\n[CRYSTAL_VT300]\r\n"
               "Default CDAC=65539\r\nDefault CAFC=69536\r\n");
    IAction* a = ready(OMRA_ACTION_VT300);
    ACTION_PARAM p = param(0, 1, cfg);
    ASSERT_EQ(0u, lib.InitAction(a, &p));
    run(a);
    ASSERT_FALSE(Capture().items.empty());
    EXPECT_EQ("CH: 62, PCL: 10, CDAC: 3, CAFC: 4000, FE", Capture().items[0].name);

    write(cfg, "[LN2040 AFC]\r\nDEFAULT_CDAC=65575\r\nDEFAULT_CAFC=74536\r\n");
    Capture().Clear();
    IAction* b = ready(OMRA_ACTION_LN2040);
    ASSERT_EQ(0u, lib.InitAction(b, &p));
    run(b);
    ASSERT_FALSE(Capture().items.empty());
    EXPECT_EQ("CH: 62, PCL: 10, CDAC: 39, CAFC: 9000, FE", Capture().items[0].name);
}

TEST_F(BadInput, ResendIntervalIsCapped) {
    start();
    for (const char* value : {"4294967295", "-1", "60001", "99999999999"}) {
        write(cfg,
              std::string("[DIAG CONTROL]\r\nResend Diag. Command=1\r\nResend Interval Time=") +
                  value + "\r\n");
        sim::Handset h(sim::NominalCrystal(sim::Chip::VT300), 2);
        h.Attach();
        h.FailCall(sim::Command::AfcOn, 1);
        testing_support::Pauses().clear();
        IAction* a = ready(OMRA_ACTION_VT300);
        ACTION_PARAM p = param(1, 1, cfg);
        ASSERT_EQ(0u, lib.InitAction(a, &p));
        run(a);
        ASSERT_FALSE(testing_support::Pauses().empty());
        EXPECT_EQ(60000u, testing_support::Pauses()[0]) << value;
        for (uint32_t ms : testing_support::Pauses())
            EXPECT_LE(ms, 60000u);
        EXPECT_EQ(0u, lib.FreeAction(a));
        h.Detach();
    }
}

TEST_F(BadInput, ConfigurationThatIsADirectory) {
    start();
    std::string dir = "cfg-dir-" + tag;
    ASSERT_TRUE(makeDir(dir));
    IAction* a = ready(OMRA_ACTION_VT318);
    ACTION_PARAM p = param(1, 1, dir);
    EXPECT_EQ("< VT318_AFC >LoadAdjustConfig file <" + dir + "> not exist", initError(a, &p));
    EXPECT_EQ(ActionTriple(101, 13), LastTriple());
    EXPECT_NE(0u, lib.Setup(OMRA_ACTION_LN2040, dir.c_str()));
    EXPECT_EQ(ActionTriple(10, 13), LastTriple());
    removeDir(dir);
}

TEST_F(BadInput, ConfigurationThatCannotBeRead) {
#if defined(_WIN32)
    GTEST_SKIP() << "file modes do not make a file unreadable on Windows";
#else
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: a file with mode 000 is still readable";
    std::string path = "unreadable-" + tag + ".ini";
    write(path, "[DIAG CONTROL]\nTxOff=0\n");
    ASSERT_EQ(0, ::chmod(path.c_str(), 0));
    start();
    IAction* a = ready(OMRA_ACTION_VT300);
    ACTION_PARAM p = param(1, 1, path);
    EXPECT_EQ("< VT300_AFC >LoadAdjustConfig file <" + path + "> not exist", initError(a, &p));
    EXPECT_EQ(ActionTriple(101, 13), LastTriple());
    EXPECT_NE(0u, lib.Setup(OMRA_ACTION_LN2040, path.c_str()));
    EXPECT_EQ(ActionTriple(10, 13), LastTriple());
    std::remove(path.c_str());
#endif
}

// Neither the probe nor the reader may wait on a file that is no regular file.
TEST_F(BadInput, ConfigurationThatIsNoRegularFile) {
    start();
    std::vector<std::string> paths;
#if defined(_WIN32)
    std::string pipeName = "\\\\.\\pipe\\vantor-cfg-" + tag;
    HANDLE pipe = CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 4, 512,
                                   512, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
    paths.push_back(pipeName);
#else
    std::string fifo = "cfg-fifo-" + tag;
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    paths.push_back(fifo);
    paths.push_back("/dev/zero");
#endif
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        IAction* a = ready(OMRA_ACTION_VT318);
        ACTION_PARAM p = param(1, 1, path);
        EXPECT_EQ("< VT318_AFC >LoadAdjustConfig file <" + path + "> not exist", initError(a, &p));
        EXPECT_EQ(ActionTriple(101, 13), LastTriple());
        EXPECT_NE(0u, lib.Setup(OMRA_ACTION_LN2040, path.c_str()));
        EXPECT_EQ(ActionTriple(10, 13), LastTriple());
    }
#if defined(_WIN32)
    CloseHandle(pipe);
#else
    std::remove(fifo.c_str());
#endif
}

TEST_F(BadInput, EmptyConfigurationNotesItAndLoadsDefaults) {
    start();
    IAction* a = ready(OMRA_ACTION_VT300);
    ACTION_PARAM p = param(1, 1, cfg);
    EXPECT_EQ(0u, lib.InitAction(a, &p));
    EXPECT_EQ(ActionTriple(101, 14), LastTriple());
    EXPECT_EQ("", run(a));
}

// --- Slopes from which no zero crossing follows never reach flash ------------------

struct Degenerate {
    uint32_t id;
    const char* config;
    std::vector<double> fe;
    Triple triple;
};

TEST_F(BadInput, DegenerateSlopesNeverFlash) {
    start();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Degenerate cases[] = {
        // VT300: flat characteristic with no slope limit and no headroom limit.
        {OMRA_ACTION_VT300,
         "[CRYSTAL_VT300]\nMin CAFC Slope=0\nFreq. Error Limit=0\n",
         {100, 100},
         ActionTriple(140, 34)},
        {OMRA_ACTION_VT300,
         "[CRYSTAL_VT300]\nMin CAFC Slope=0\nFreq. Error Limit=0\nNext CAFC Distance=0\n",
         {100, 900},
         ActionTriple(140, 34)},
        {OMRA_ACTION_VT300,
         "[CRYSTAL_VT300]\nMin CAFC Slope=0\nFreq. Error Limit=0\n",
         {100, inf},
         ActionTriple(140, 34)},
        {OMRA_ACTION_VT300,
         "[CRYSTAL_VT300]\nMin CAFC Slope=0\nFreq. Error Limit=0\n",
         {100, nan},
         ActionTriple(140, 34)},
        // LN2040: a window that holds 0 does not accept the CDAC of a flat stage.
        {OMRA_ACTION_LN2040, "[LN2040 AFC]\nCALI_CDAC_MIN=0\n", {500, 500}, ActionTriple(137, 31)},
        {OMRA_ACTION_LN2040, "[LN2040 AFC]\nCALI_CDAC_MIN=0\n", {500, nan}, ActionTriple(137, 31)},
        {OMRA_ACTION_LN2040,
         "[LN2040 AFC]\nDEFAULT_CAFC_STEP=0\nCALI_CAFC_SLOPE_MIN=-100\n",
         {-1260, 2340, 700, 700},
         ActionTriple(140, 34)},
        // VT318: every attempt of a flat coarse stage misses, even when the
        // window holds 0.
        {OMRA_ACTION_VT318,
         "[CRYSTAL_VT318]\nDefault CDAC=5\nCDAC    Range=10\n",
         {300, 300, 300, 300, 300, 300},
         ActionTriple(137, 31)},
    };
    for (const Degenerate& c : cases) {
        write(cfg, c.config);
        Capture().Clear();
        int flashBefore = handset.Calls(sim::Command::FlashCafc) +
                          handset.Calls(sim::Command::FlashCdac) +
                          handset.Calls(sim::Command::FlashSlopeLength);
        rf.ScriptFe(c.fe);
        IAction* a = ready(c.id);
        ACTION_PARAM p = param(1, 1, cfg);
        ASSERT_EQ(0u, lib.InitAction(a, &p));
        EXPECT_NE("", run(a)) << c.config;
        EXPECT_EQ(c.triple, LastTriple()) << c.config;
        EXPECT_EQ(flashBefore, handset.Calls(sim::Command::FlashCafc) +
                                   handset.Calls(sim::Command::FlashCdac) +
                                   handset.Calls(sim::Command::FlashSlopeLength))
            << c.config;
        EXPECT_EQ(1, closingItems());
        EXPECT_EQ(0u, lib.FreeAction(a));
    }
}

// --- A host's target that calls back into the library during a run -----------

// A result target that, at one item of the run, calls the library as a
// host's window or function target may.
struct Reentry {
    int atItem = -1;
    int seen = 0;
    std::function<void()> call;
};

Reentry& reentry() {
    static Reentry r;
    return r;
}

int OMRA_CALL reenteringTarget(void* record) {
    int reply = testing_support::CaptureItem(record);
    Reentry& r = reentry();
    if (r.seen++ == r.atItem && r.call)
        r.call();
    return reply;
}

class HostCallsBack : public BadInput {
protected:
    void SetUp() override {
        BadInput::SetUp();
        reentry() = Reentry{};
    }
    void TearDown() override {
        reentry() = Reentry{};
        BadInput::TearDown();
    }

    // A VT300 action ready to run whose result target calls back at the item.
    IAction* calling(int atItem, const std::string& config) {
        write(cfg, config);
        IAction* a = ready(OMRA_ACTION_VT300);
        NOTIFY_TARGET t = testing_support::ItemTarget();
        t.target = reinterpret_cast<uintptr_t>(&reenteringTarget);
        EXPECT_EQ(0u, lib.SetCallBack(a, OMRA_CALLBACK_RESULT, &t));
        ACTION_PARAM p = param(1, 1, cfg);
        EXPECT_EQ(0u, lib.InitAction(a, &p));
        reentry().atItem = atItem;
        reentry().seen = 0;
        return a;
    }

    // Name, kind and verdict of every item: the run as the host saw it.
    static std::vector<std::string> shape() {
        std::vector<std::string> out;
        for (const auto& it : Capture().items)
            out.push_back(it.name + "|" + std::to_string(it.kind) + "|" + std::to_string(it.pass));
        return out;
    }

    int flashWrites() const {
        return handset.Calls(sim::Command::FlashCafc) + handset.Calls(sim::Command::FlashCdac) +
               handset.Calls(sim::Command::FlashSlopeLength);
    }
};

TEST_F(HostCallsBack, FreeOrCleanupInsideTheRunLetsItFinish) {
    struct Case {
        bool cleanup;
        const char* config;
        const char* message;
    };
    const Case cases[] = {
        {false, "", ""},
        {true, "", ""},
        {false, "[CRYSTAL_VT300]\nMax CAFC Slope=1\n", "Too big CAFC slope! 8. [4, 1]"},
        {true, "[CRYSTAL_VT300]\nMax CAFC Slope=1\n", "Too big CAFC slope! 8. [4, 1]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.cleanup ? "cleanup " : "free ") + c.config);
        start();
        // The same run undisturbed, as the reference of what the host must see.
        IAction* quiet = calling(-1, c.config);
        Capture().Clear();
        int flashBefore = flashWrites();
        EXPECT_EQ(c.message, run(quiet));
        std::vector<std::string> expected = shape();
        int expectedFlash = flashWrites() - flashBefore;
        size_t expectedLines = Capture().lines.size();
        EXPECT_EQ(0u, lib.FreeAction(quiet));

        IAction* a = calling(0, c.config);
        uint32_t freed = 99;
        reentry().call = [&] { freed = c.cleanup ? lib.Cleanup() : lib.FreeAction(a); };
        Capture().Clear();
        flashBefore = flashWrites();
        EXPECT_EQ(c.message, run(a));
        EXPECT_EQ(0u, freed);
        EXPECT_EQ(expected, shape());
        EXPECT_EQ(expectedLines, Capture().lines.size());
        EXPECT_EQ(expectedFlash, flashWrites() - flashBefore);
        uint32_t code = c.cleanup ? OMRA_ERR_NOT_STARTED : OMRA_ERR_NOT_LIVE;
        EXPECT_NE(0u, lib.FreeAction(a));
        EXPECT_EQ(ActionTriple(OMRA_OP_FREE_ACTION, code), LastTriple());
        EXPECT_NE(0u, lib.DoAction(a));
        EXPECT_EQ(ActionTriple(OMRA_OP_DO_ACTION, code), LastTriple());
        lib.Cleanup();
        reentry() = Reentry{};
    }
}

TEST_F(HostCallsBack, ReenteringARunningActionIsRefusedOthersMayRun) {
    start();
    write(cfg, "");
    IAction* other = ready(OMRA_ACTION_VT300);
    ACTION_PARAM p = param(1, 1, cfg);
    ASSERT_EQ(0u, lib.InitAction(other, &p));
    IAction* a = calling(0, "");
    Triple doTriple, initTriple;
    uint32_t doResult = 0, initResult = 0;
    std::string otherMessage = "not run";
    int rfCallsBefore = 0, rfCallsAfter = 0;
    reentry().call = [&] {
        rfCallsBefore = static_cast<int>(rfCalls.Entries().size());
        doResult = lib.DoAction(a);
        doTriple = LastTriple();
        initResult = lib.InitAction(a, &p);
        initTriple = LastTriple();
        rfCallsAfter = static_cast<int>(rfCalls.Entries().size());
        otherMessage = run(other);
    };
    int flashBefore = flashWrites();
    EXPECT_EQ("", run(a));
    EXPECT_NE(0u, doResult);
    EXPECT_EQ(ActionTriple(OMRA_OP_DO_ACTION, OMRA_ERR_RUNNING), doTriple);
    EXPECT_NE(0u, initResult);
    EXPECT_EQ(ActionTriple(OMRA_OP_INIT_ACTION, OMRA_ERR_RUNNING), initTriple);
    EXPECT_EQ(rfCallsBefore, rfCallsAfter); // the refused calls reached nothing
    EXPECT_EQ("", otherMessage);
    EXPECT_EQ(2, closingItems());
    EXPECT_EQ(6, flashWrites() - flashBefore); // one calibration each
    // Once the run is over, the action runs again.
    reentry().atItem = -1;
    EXPECT_EQ("", run(a));
    EXPECT_EQ(0u, lib.FreeAction(a));
    EXPECT_EQ(0u, lib.FreeAction(other));
}

// --- A run after a failed initialisation -----------------------------------------

TEST_F(BadInput, NoRunAfterAFailedInitialisation) {
    const std::string missing = "missing-" + tag + "/none.ini";
    for (const testing_support::TestChip& chip : testing_support::AllChips()) {
        const struct {
            uint32_t id;
            const char* name;
        } c = {chip.row->id, chip.row->shortName};
        SCOPED_TRACE(c.name);
        start();
        handset.crystal = sim::NominalCrystal(chip.handset);
        write(cfg, "[AFC-COMMON]\n");
        IAction* a = ready(c.id);
        ACTION_PARAM good = param(1, 1, cfg);
        ASSERT_EQ(0u, lib.InitAction(a, &good));
        ACTION_PARAM bad = param(1, 1, missing);
        EXPECT_EQ("< " + std::string(c.name) + " >LoadAdjustConfig file <" + missing +
                      "> not exist",
                  initError(a, &bad));
        EXPECT_EQ(ActionTriple(101, 13), LastTriple());

        Capture().Clear();
        rfCalls.Clear();
        int phoneBefore = phoneCalls();
        for (int attempt = 0; attempt < 2; ++attempt) {
            EXPECT_EQ("< " + std::string(c.name) + " >configuration file <" + missing +
                          "> was not loaded",
                      run(a));
            EXPECT_EQ(ActionTriple(OMRA_OP_DO_ACTION, OMRA_ERR_FILE_OPEN), LastTriple());
        }
        EXPECT_EQ(phoneBefore, phoneCalls());
        EXPECT_TRUE(rfCalls.Entries().empty());
        ASSERT_EQ(2u, Capture().items.size());
        EXPECT_EQ(2, closingItems());

        // A successful initialisation lifts the refusal.
        ASSERT_EQ(0u, lib.InitAction(a, &good));
        EXPECT_EQ("", run(a));
        EXPECT_LT(phoneBefore, phoneCalls());
        lib.Cleanup();
    }
}

#if !defined(_WIN32)
TEST_F(BadInput, EventTargetThatIsARegularFileGetsNoBytes) {
    start();
    std::string path = "event-" + tag + ".bin";
    write(path, "");
    FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(nullptr, f);
    IAction* a = ready(OMRA_ACTION_VT300);
    NOTIFY_TARGET t{};
    t.kind = OMRA_TARGET_EVENT;
    t.target = static_cast<uintptr_t>(fileno(f));
    ASSERT_EQ(0u, lib.SetCallBack(a, OMRA_CALLBACK_LOG, &t));
    ACTION_PARAM p = param(1, 1, cfg);
    ASSERT_EQ(0u, lib.InitAction(a, &p));
    EXPECT_EQ("", run(a));
    std::fclose(f);
    struct stat st {};
    ASSERT_EQ(0, ::stat(path.c_str(), &st));
    EXPECT_EQ(0, st.st_size);
    std::remove(path.c_str());
}
#endif

} // namespace
