// The twelve exports as a host sees them: the library is loaded by file name
// and every check is read back from the ErrorCode library.
#include "OmraHost.h"
#include "Triple.h"
#include "omra/errorcode.h"

#include "TempFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using testing_support::LastTriple;
using testing_support::Triple;

Triple triple(uint32_t op, uint32_t code) {
    return testing_support::ActionTriple(op, code);
}

// The handle is a type: one declaration makes two handles.
[[maybe_unused]] OMRA_HANDLE g_first = nullptr, g_second = nullptr;
static_assert(std::is_same<decltype(g_second), IAction*>::value, "OMRA_HANDLE is a type");

class Exports : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.Load(host::DefaultLibraryPath())) << lib.Error();
        lib.Cleanup();
        Spec_ClearErrorCode(E_ERR_ANY);
    }
    void TearDown() override { lib.Cleanup(); }

    void start() {
        LIBRARY_INFO info;
        ASSERT_EQ(0u, lib.Startup(&info));
    }

    host::Library lib;
};

// The expected block, written out byte by byte.
std::vector<unsigned char> expectedInfoBlock() {
    std::vector<unsigned char> b(5468, 0);
    auto entry = [&](size_t at, unsigned id, const std::vector<unsigned char>& name) {
        b[at] = static_cast<unsigned char>(id & 0xFF);
        b[at + 1] = static_cast<unsigned char>(id >> 8);
        for (size_t i = 0; i < name.size(); ++i)
            b[at + 2 + i] = name[i];
    };
    std::vector<unsigned char> vt300 = {'V',  'T',  '3',  '0',  '0',  ' ',  'A',  'F',
                                        'C',  '.',  ' ',  '[',  0xC1, 0xBD, 0xB5, 0xE3,
                                        0xD6, 0xB1, 0xCF, 0xDF, 0xB7, 0xA8, ']'};
    std::vector<unsigned char> vt318 = {'V', 'T', '3', '1', '8', ' ', 'A', 'F', 'C', '.'};
    std::vector<unsigned char> ln2040 = {'L', 'N', '2', '0', '4', '0'};
    entry(0, OMRA_ACTION_VT318, vt318);
    b[260] = 3;
    entry(262, OMRA_ACTION_VT300, vt300);
    entry(522, OMRA_ACTION_VT318, vt318);
    entry(782, OMRA_ACTION_LN2040, ln2040);
    return b;
}

TEST_F(Exports, StartupFillsTheInfoBlockByteForByte) {
    std::vector<unsigned char> got(5468, 0xEE);
    ASSERT_EQ(0u, lib.Startup(reinterpret_cast<LIBRARY_INFO*>(got.data())));
    std::vector<unsigned char> want = expectedInfoBlock();
    for (size_t i = 0; i < want.size(); ++i)
        ASSERT_EQ(want[i], got[i]) << "byte " << i;
    EXPECT_EQ(23u, std::strlen(reinterpret_cast<const char*>(&got[264])));
}

TEST_F(Exports, SecondStartupCopiesTheSameBlockAndKeepsActions) {
    std::vector<unsigned char> a(5468), b(5468, 0xEE);
    ASSERT_EQ(0u, lib.Startup(reinterpret_cast<LIBRARY_INFO*>(a.data())));
    IAction* action = lib.CreateAction(OMRA_ACTION_VT300, 0);
    ASSERT_NE(nullptr, action);
    ASSERT_EQ(0u, lib.Startup(reinterpret_cast<LIBRARY_INFO*>(b.data())));
    EXPECT_EQ(a, b);
    EXPECT_EQ(0u, lib.FreeAction(action)); // still live
}

TEST_F(Exports, StartupWithNullBuffer) {
    EXPECT_NE(0u, lib.Startup(nullptr));
    EXPECT_EQ(triple(1, 7), LastTriple());
    EXPECT_EQ(nullptr, lib.CreateAction(OMRA_ACTION_VT300, 0)); // still not started
    EXPECT_EQ(triple(3, 9), LastTriple());
}

TEST_F(Exports, CleanupWithoutStartupRecordsNothing) {
    Spec_SetErrorCode(E_MODULE_ACTION, 77, 77, 0);
    EXPECT_EQ(0u, lib.Cleanup());
    EXPECT_EQ(triple(77, 77), LastTriple());
}

TEST_F(Exports, TripleWhoseCodeHasNoBitsNeverReadsAsSuccess) {
    // Module 0 and operation and code whose low 12 bits are all zero.
    const uint32_t codes[][2] = {{0, 0}, {0x1000, 0x2000}};
    for (const auto& c : codes) {
        Spec_ClearErrorCode(E_ERR_ANY);
        EXPECT_NE(0u, Spec_SetErrorCode(static_cast<E_MODULE_TYPE>(0), c[0], c[1], 0));
        EXPECT_NE(0u, Spec_GetError(E_ERR_OTHER));
        EXPECT_NE(0u, Spec_GetError(E_ERR_ANY));
        ERROR_TRIPLE t{};
        EXPECT_EQ(1, ErrorCode_GetLast(E_ERR_OTHER, &t));
        EXPECT_EQ(c[0], t.operation);
        EXPECT_EQ(c[1], t.code);
    }
    Spec_ClearErrorCode(E_ERR_ANY);
}

TEST_F(Exports, CreateActionChecksStartAndId) {
    EXPECT_EQ(nullptr, lib.CreateAction(OMRA_ACTION_VT300, 0));
    EXPECT_EQ(triple(3, 9), LastTriple());
    start();
    EXPECT_EQ(nullptr, lib.CreateAction(0x0401, 0));
    EXPECT_EQ(triple(3, 19), LastTriple());
    EXPECT_EQ(nullptr, lib.CreateAction(0, 0));
    EXPECT_EQ(triple(3, 19), LastTriple());
    Spec_ClearErrorCode(E_ERR_ANY);
    IAction* a = lib.CreateAction(0xABCD0101u, 0x1234); // only the low 16 bits count
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(0u, Spec_GetError(E_ERR_ANY));
    ACTION_INFO info;
    ASSERT_EQ(0u, lib.GetActionInfo(a, &info));
    EXPECT_EQ(OMRA_ACTION_VT300, info.entry.id);
}

TEST_F(Exports, CleanupDeletesLiveActions) {
    start();
    IAction* a = lib.CreateAction(OMRA_ACTION_VT300, 0);
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(0u, lib.Cleanup());
    EXPECT_NE(0u, lib.FreeAction(a));
    EXPECT_EQ(triple(4, 9), LastTriple());
    start();
    EXPECT_NE(0u, lib.FreeAction(a));
    EXPECT_EQ(triple(4, 18), LastTriple());
}

TEST_F(Exports, FreeActionChecksInOrder) {
    EXPECT_NE(0u, lib.FreeAction(nullptr));
    EXPECT_EQ(triple(4, 9), LastTriple());
    start();
    EXPECT_NE(0u, lib.FreeAction(nullptr));
    EXPECT_EQ(triple(4, 17), LastTriple());
    IAction* a = lib.CreateAction(OMRA_ACTION_VT318, 0);
    EXPECT_EQ(0u, lib.FreeAction(a));
    EXPECT_NE(0u, lib.FreeAction(a));
    EXPECT_EQ(triple(4, 18), LastTriple());
}

TEST_F(Exports, GetActionInfoChecksInOrderAndFills) {
    ACTION_INFO info;
    EXPECT_NE(0u, lib.GetActionInfo(nullptr, nullptr));
    EXPECT_EQ(triple(5, 9), LastTriple());
    start();
    EXPECT_NE(0u, lib.GetActionInfo(nullptr, nullptr));
    EXPECT_EQ(triple(5, 17), LastTriple());
    IAction* a = lib.CreateAction(OMRA_ACTION_VT318, 0);
    int dummy = 0;
    IAction* foreign = reinterpret_cast<IAction*>(&dummy);
    EXPECT_NE(0u, lib.GetActionInfo(foreign, nullptr));
    EXPECT_EQ(triple(5, 7), LastTriple()); // null record before the lookup
    EXPECT_NE(0u, lib.GetActionInfo(foreign, &info));
    EXPECT_EQ(triple(5, 18), LastTriple());

    std::vector<unsigned char> raw(280, 0xEE);
    ASSERT_EQ(0u, lib.GetActionInfo(a, reinterpret_cast<ACTION_INFO*>(raw.data())));
    std::vector<unsigned char> want(280, 0);
    want[0] = want[1] = want[2] = want[3] = 0xFF;
    want[4] = 0x01;
    want[5] = 0x02;
    const char* name = "VT318 AFC.";
    std::memcpy(&want[6], name, std::strlen(name));
    want[268] = 1;
    EXPECT_EQ(want, raw);
}

TEST_F(Exports, PerActionExportsCheckStartHandleAndLiveness) {
    struct Call {
        uint32_t op;
        std::function<uint32_t(IAction*)> fn;
    };
    NOTIFY_TARGET t{};
    ACTION_PARAM p{};
    std::vector<Call> calls = {
        {6, [&](IAction* a) { return lib.SetCallBack(a, 1, &t); }},
        {7, [&](IAction* a) { return lib.SetDriver(a, 2, 1, &t); }},
        {8, [&](IAction* a) { return lib.InitAction(a, &p); }},
        {9, [&](IAction* a) { return lib.DoAction(a); }},
        {9, [&](IAction* a) { return lib.SetProperty(a, 1, 2, 3); }},
        {9, [&](IAction* a) { return lib.GetProperty(a, 1, 2, 3); }},
    };
    int dummy = 0;
    IAction* foreign = reinterpret_cast<IAction*>(&dummy);
    for (const Call& c : calls) {
        EXPECT_NE(0u, c.fn(foreign));
        EXPECT_EQ(triple(c.op, 9), LastTriple());
    }
    start();
    for (const Call& c : calls) {
        EXPECT_NE(0u, c.fn(nullptr));
        EXPECT_EQ(triple(c.op, 17), LastTriple());
        EXPECT_NE(0u, c.fn(foreign));
        EXPECT_EQ(triple(c.op, 18), LastTriple());
    }
    IAction* a = lib.CreateAction(OMRA_ACTION_LN2040, 0);
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(0u, lib.SetProperty(a, 1, 2, 3));
    EXPECT_EQ(0u, lib.GetProperty(a, 1, 2, 3));
    ASSERT_EQ(0u, lib.FreeAction(a));
    EXPECT_NE(0u, lib.DoAction(a)); // freed: refused, never called through
    EXPECT_EQ(triple(9, 18), LastTriple());
}

TEST_F(Exports, CallbackAndDriverTypesOutOfRange) {
    start();
    IAction* a = lib.CreateAction(OMRA_ACTION_VT318, 0);
    NOTIFY_TARGET t{};
    EXPECT_NE(0u, lib.SetCallBack(a, 3, &t));
    EXPECT_EQ(triple(6, 11), LastTriple());
    EXPECT_NE(0u, lib.SetCallBack(a, 1, nullptr));
    EXPECT_EQ(triple(6, 7), LastTriple());
    EXPECT_NE(0u, lib.SetDriver(a, 3, 1, &t));
    EXPECT_EQ(triple(6, 12), LastTriple());
    EXPECT_NE(0u, lib.SetDriver(a, 2, 1, nullptr));
    EXPECT_EQ(triple(7, 7), LastTriple());
    EXPECT_NE(0u, lib.SetDriver(a, 2, 3, &t));
    EXPECT_EQ(triple(7, 22), LastTriple());
    EXPECT_NE(0u, lib.SetDriver(a, 1, 5, &t));
    EXPECT_EQ(triple(7, 21), LastTriple());
}

TEST_F(Exports, SetupChecksTheFileWithoutStartup) {
    EXPECT_NE(0u, lib.Setup(OMRA_ACTION_LN2040, nullptr));
    EXPECT_EQ(triple(10, 7), LastTriple());
    EXPECT_NE(0u, lib.Setup(OMRA_ACTION_LN2040, "no-such-file.ini"));
    EXPECT_EQ(triple(10, 13), LastTriple());
    testing_support::TempFile file("[AFC-COMMON]\nPCL=10\n");
    const char* path = file.CPath();
    Spec_ClearErrorCode(E_ERR_ANY);
    EXPECT_EQ(0u, lib.Setup(OMRA_ACTION_LN2040, path));
    EXPECT_EQ(0u, lib.Setup(0x0501, path));
    EXPECT_EQ(0u, Spec_GetError(E_ERR_ANY));
}

TEST_F(Exports, FailedStartupCheckChangesNothing) {
    start();
    IAction* a = lib.CreateAction(OMRA_ACTION_VT300, 0);
    EXPECT_NE(0u, lib.Startup(nullptr));
    ACTION_INFO info;
    EXPECT_EQ(0u, lib.GetActionInfo(a, &info));
}

} // namespace
