// The built library driven through its exports by a host: whole runs, the
// exception crossing the library boundary, and (on Windows) real window,
// thread and event targets and the export table.
#include "AllocationCount.h"
#include "Capture.h"
#include "ExportCall.h"
#include "TempFile.h"
#include "HostSleep.h"
#include "OmraHost.h"
#include "Simulator.h"
#include "omra/errorcode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <set>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

using testing_support::Capture;
using testing_support::Catching;
using testing_support::Outcome;

namespace {

class Host : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.Load(host::DefaultLibraryPath())) << lib.Error();
        LIBRARY_INFO info;
        ASSERT_EQ(0u, lib.Startup(&info));
        Capture().Clear();
        testing_support::Pauses().clear();
        handset.Attach();
        std::snprintf(path, sizeof path, "host_%s.ini",
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        for (char* c = path; *c != '\0'; ++c)
            *c = *c == '/' ? '_' : *c; // a parameterised test's name
    }
    void TearDown() override {
        lib.Cleanup();
        std::remove(path);
    }

    IAction* make(uint32_t id, const std::string& config, int32_t chipType = 1) {
        EXPECT_TRUE(testing_support::WriteFile(path, config)) << path;
        IAction* a = testing_support::ReadyAction(lib, id, const_cast<RFTESTER_TABLE*>(rf.Table()),
                                                  OMRA_DRIVER_KIND_TABLE);
        ACTION_PARAM p = testing_support::ParamBlock(path, chipType, 2, record.data());
        EXPECT_EQ(0u, lib.InitAction(a, &p));
        return a;
    }

    host::Library lib;
    sim::Handset handset{sim::NominalCrystal(sim::Chip::VT318), 7};
    sim::RfTester rf{&handset};
    std::vector<unsigned char> record = std::vector<unsigned char>(OMRA_CAL_RECORD_SIZE, 0);
    char path[260];
};

TEST_F(Host, Vt318RunThroughTheExports) {
    IAction* a = make(OMRA_ACTION_VT318, "[AFC-COMMON]\n");
    EXPECT_EQ(0u, lib.DoAction(a));
    ASSERT_FALSE(Capture().items.empty());
    EXPECT_EQ(3, Capture().items.back().kind);
    EXPECT_EQ("Save params", Capture().items[Capture().items.size() - 2].name);
    EXPECT_TRUE(handset.flashed[0] && handset.flashed[1] && handset.flashed[2]);
    EXPECT_EQ((std::vector<uint32_t>{200, 200, 200}), testing_support::Pauses());
    EXPECT_EQ(7u, Capture().lines.size());
    EXPECT_EQ(0u, lib.FreeAction(a));
}

TEST_F(Host, FailedRunThrowsAcrossTheLibraryBoundary) {
    handset.crystal = sim::NominalCrystal(sim::Chip::LN2040);
    IAction* a = make(OMRA_ACTION_LN2040, "[LN2040 AFC]\nCALI_CDAC_MAX=33\n");
    const Outcome run = Catching([&] { return lib.DoAction(a); });
    EXPECT_TRUE(run.threw) << "the CDAC window cannot be met";
    EXPECT_EQ("CDAC 40 Exceed Range [32, 33]!", run.message);
    EXPECT_NE(std::string::npos, run.fullText.find("\n\nFILE:\tLN2040.cpp\nLINE:\t"));
    EXPECT_EQ(testing_support::ActionTriple(137, 31), run.triple);
    EXPECT_EQ(3, Capture().items.back().kind);
    EXPECT_FALSE(handset.flashed[0]);
}

TEST_F(Host, InitActionWithAMissingFileThrows) {
    IAction* a = lib.CreateAction(OMRA_ACTION_VT300, 0);
    ACTION_PARAM p = testing_support::ParamBlock("missing-dir/none.ini", 0, 0);
    const Outcome init = Catching([&] { return lib.InitAction(a, &p); });
    EXPECT_TRUE(init.threw);
    EXPECT_EQ("< VT300_AFC >LoadAdjustConfig file <missing-dir/none.ini> not exist", init.message);
    EXPECT_NE(std::string::npos, init.fullText.find("FILE:\tActionBase.cpp"));
}

// A host's delete of an action handle (slot 0 with flags 1, as MSVC's delete
// calls it) leaves the action alive for Omra_FreeAction.
TEST_F(Host, DeletingAHandleLeavesItToFreeAction) {
    IAction* a = lib.CreateAction(OMRA_ACTION_VT318, 0);
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(static_cast<void*>(a), a->ScalarDeletingDestructor(1));
    EXPECT_EQ(0u, lib.SetProperty(a, 0, 0, 0));
    EXPECT_EQ(0u, lib.FreeAction(a));
}

// The host's own exception from its driver or target, as its hardware
// stack might throw one.
struct DriverTimeout {
    int bus;
};

int& hostCalls() {
    static int n = 0;
    return n;
}

// The host's code throws on its third call: the run is past its start.
template <class E> int throwOnThird(E e) {
    if (++hostCalls() == 3)
        throw e;
    return 1;
}

struct HostThrowCase {
    const char* name;
    bool fromTarget; // else from the RF tester table's ReadMeasurement
    void (*arm)(RFTESTER_TABLE* table, NOTIFY_TARGET* items);
    bool (*caught)(); // runs DoAction-free: rethrows the current exception to match it
};

class HostThrows : public Host, public ::testing::WithParamInterface<HostThrowCase> {};

// It passes every export unchanged, with nothing recorded and no closing
// item; the action is left whole for its next run, its free and the cleanup.
TEST_P(HostThrows, PassesUnchangedAndLeavesTheActionWhole) {
    IAction* a = make(OMRA_ACTION_VT318, "[AFC-COMMON]\n");
    RFTESTER_TABLE table = *rf.Table();
    NOTIFY_TARGET items = testing_support::ItemTarget();
    GetParam().arm(&table, &items);
    for (int round = 0; round < 50; ++round) {
        ASSERT_EQ(0u, lib.SetDriver(a, 2, 2, &table));
        ASSERT_EQ(0u, lib.SetCallBack(a, 1, &items));
        Capture().Clear();
        hostCalls() = 0;
        bool caught = false;
        try {
            lib.DoAction(a);
        } catch (...) {
            caught = GetParam().caught();
        }
        ASSERT_TRUE(caught) << "round " << round;
        ERROR_TRIPLE t{};
        EXPECT_EQ(0, ErrorCode_GetLast(E_ERR_ACTION, &t)) << t.operation << " " << t.code;
        for (const auto& item : Capture().items)
            EXPECT_NE(OMRA_KIND_CLOSING, item.kind);
        // The next run of the same action, on a driver that behaves.
        NOTIFY_TARGET plain = testing_support::ItemTarget();
        ASSERT_EQ(0u, lib.SetDriver(a, 2, 2, const_cast<RFTESTER_TABLE*>(rf.Table())));
        ASSERT_EQ(0u, lib.SetCallBack(a, 1, &plain));
        EXPECT_EQ(0u, lib.DoAction(a)) << "round " << round;
    }
    EXPECT_EQ(0u, lib.FreeAction(a));
    EXPECT_EQ(0u, lib.Cleanup());
}

INSTANTIATE_TEST_SUITE_P(
    Host, HostThrows,
    ::testing::Values(HostThrowCase{"IntFromTheTable", false,
                                    [](RFTESTER_TABLE* table, NOTIFY_TARGET*) {
                                        table->ReadMeasurement = [](intptr_t, intptr_t) {
                                            return throwOnThird(42);
                                        };
                                    },
                                    [] {
                                        try {
                                            throw;
                                        } catch (int v) {
                                            return v == 42;
                                        }
                                    }},
                      HostThrowCase{"BadAllocFromTheTable", false,
                                    [](RFTESTER_TABLE* table, NOTIFY_TARGET*) {
                                        table->ReadMeasurement = [](intptr_t, intptr_t) {
                                            return throwOnThird(std::bad_alloc());
                                        };
                                    },
                                    [] {
                                        try {
                                            throw;
                                        } catch (const std::bad_alloc&) {
                                            return true;
                                        }
                                    }},
                      HostThrowCase{"ClassFromTheResultTarget", true,
                                    [](RFTESTER_TABLE*, NOTIFY_TARGET* items) {
                                        items->target = reinterpret_cast<uintptr_t>(
                                            static_cast<OMRA_NOTIFY_FN>([](void*) -> int {
                                                return throwOnThird(DriverTimeout{7});
                                            }));
                                    },
                                    [] {
                                        try {
                                            throw;
                                        } catch (const DriverTimeout& e) {
                                            return e.bus == 7;
                                        }
                                    }}),
    [](const ::testing::TestParamInfo<HostThrowCase>& c) { return std::string(c.param.name); });

#if !defined(_WIN32)
// Natively the library allocates through the program's operator new, so an
// allocation of the library's own can be made to fail: such an exception of
// another type is the library's, recorded as (operation, 99) and handed over
// as a CCFTException naming it.
TEST_F(Host, TheLibrarysOwnAllocationFailureIsHandedOverAsCCFTException) {
    IAction* a = lib.CreateAction(OMRA_ACTION_VT318, 0);
    ASSERT_NE(nullptr, a);
    ACTION_PARAM p = testing_support::ParamBlock(path, 0, 0);
    ASSERT_TRUE(testing_support::WriteFile(path, "[AFC-COMMON]\n"));
    alloc_count::FailAllocation(1);
    const Outcome init = Catching([&] { return lib.InitAction(a, &p); });
    alloc_count::FailAllocation(0);
    EXPECT_TRUE(init.threw) << "the allocation did not fail";
    EXPECT_EQ("< VT318_AFC >InitAction stopped by an unexpected exception: std::bad_alloc",
              init.message);
    EXPECT_NE(std::string::npos, init.fullText.find("FILE:\tExports.cpp"));
    EXPECT_EQ(testing_support::ActionTriple(OMRA_OP_INIT_ACTION, OMRA_ERR_UNEXPECTED), init.triple);
    EXPECT_EQ(0u, lib.InitAction(a, &p));
    EXPECT_EQ(0u, lib.FreeAction(a));
}
#endif

#if defined(_WIN32)

// A window that records what it is sent, while it is sent.
struct Received {
    std::vector<std::string> names;
    std::vector<std::string> lines;
    std::set<WPARAM> buffers;
    LPARAM target = 0;
};
Received& received() {
    static Received r;
    return r;
}

LRESULT CALLBACK recordingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_ACTION_RESULT) {
        const RESULT_ITEM* item = reinterpret_cast<const RESULT_ITEM*>(wp);
        received().names.push_back(std::string(item->name, strnlen(item->name, 200)));
        received().buffers.insert(wp);
        received().target = lp;
        return 0;
    }
    if (msg == WM_ACTION_LOG) {
        const LOG_LINE* line = reinterpret_cast<const LOG_LINE*>(wp);
        received().lines.push_back(std::string(line->text, line->length));
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

TEST_F(Host, WindowTargetReceivesItemsInsideTheCall) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = recordingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VantorHostTestWindow";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowA("VantorHostTestWindow", "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
    ASSERT_NE(nullptr, hwnd);
    received() = Received{};
    IAction* a = make(OMRA_ACTION_VT318, "[AFC-COMMON]\n");
    NOTIFY_TARGET t{};
    t.kind = OMRA_TARGET_WINDOW;
    t.target = reinterpret_cast<uintptr_t>(hwnd);
    t.context1 = 9;
    ASSERT_EQ(0u, lib.SetCallBack(a, 1, &t));
    ASSERT_EQ(0u, lib.SetCallBack(a, 2, &t));
    EXPECT_EQ(0u, lib.DoAction(a));
    // Sent, not posted: everything has been handled when DoAction returns.
    ASSERT_EQ(12u, received().names.size());
    EXPECT_EQ("CDAC Slope", received().names[2]);
    EXPECT_EQ("", received().names.back());
    EXPECT_EQ(7u, received().lines.size());
    EXPECT_EQ(1u, received().buffers.size()); // one result buffer of the action
    const NOTIFY_TARGET* stored = reinterpret_cast<const NOTIFY_TARGET*>(received().target);
    EXPECT_EQ(9u, stored->context1); // the action's own copy of the target
    DestroyWindow(hwnd);
}

// A window whose first result message frees the action that sends it.
struct Freeing {
    host::Library* lib = nullptr;
    IAction* action = nullptr;
    uint32_t freed = 99;
    int items = 0;
};
Freeing& freeing() {
    static Freeing f;
    return f;
}

LRESULT CALLBACK freeingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_ACTION_RESULT) {
        if (freeing().items++ == 0)
            freeing().freed = freeing().lib->FreeAction(freeing().action);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

TEST_F(Host, WindowTargetMayFreeTheActionThatSendsIt) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = freeingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VantorHostFreeingWindow";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowA("VantorHostFreeingWindow", "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
    ASSERT_NE(nullptr, hwnd);
    IAction* a = make(OMRA_ACTION_VT318, "[AFC-COMMON]\n");
    freeing() = Freeing{&lib, a};
    NOTIFY_TARGET t{};
    t.kind = OMRA_TARGET_WINDOW;
    t.target = reinterpret_cast<uintptr_t>(hwnd);
    ASSERT_EQ(0u, lib.SetCallBack(a, 1, &t));
    EXPECT_EQ(0u, lib.DoAction(a));
    EXPECT_EQ(0u, freeing().freed);
    EXPECT_EQ(12, freeing().items); // the run went on to its closing item
    EXPECT_TRUE(handset.flashed[0] && handset.flashed[1] && handset.flashed[2]);
    EXPECT_NE(0u, lib.DoAction(a));
    ERROR_TRIPLE e{};
    ASSERT_EQ(1, ErrorCode_GetLast(E_ERR_ACTION, &e));
    EXPECT_EQ(9u, e.operation);
    EXPECT_EQ(18u, e.code);
    DestroyWindow(hwnd);
}

TEST_F(Host, ThreadTargetGetsPostedMessagesLater) {
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE); // make sure the thread has a queue
    IAction* a = make(OMRA_ACTION_VT318, "[AFC-COMMON]\n");
    NOTIFY_TARGET t{};
    t.kind = OMRA_TARGET_THREAD;
    t.target = GetCurrentThreadId();
    ASSERT_EQ(0u, lib.SetCallBack(a, 1, &t));
    ASSERT_EQ(0u, lib.SetCallBack(a, 2, &t));
    EXPECT_EQ(0u, lib.DoAction(a));
    int items = 0, lines = 0;
    std::set<WPARAM> buffers;
    std::string lastName;
    while (PeekMessageA(&m, nullptr, WM_ACTION_RESULT, WM_ACTION_LOG, PM_REMOVE)) {
        if (m.message == WM_ACTION_RESULT) {
            ++items;
            buffers.insert(m.wParam);
            lastName = reinterpret_cast<const RESULT_ITEM*>(m.wParam)->name;
        } else {
            ++lines;
        }
    }
    EXPECT_EQ(12, items);
    EXPECT_EQ(7, lines);
    // Posted messages point at the action's buffers, which hold the last item.
    EXPECT_EQ(1u, buffers.size());
    EXPECT_EQ("", lastName);
}

TEST_F(Host, EventTargetIsSignalled) {
    HANDLE ev = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    IAction* a = make(OMRA_ACTION_VT318, "[AFC-COMMON]\n");
    NOTIFY_TARGET t{};
    t.kind = OMRA_TARGET_EVENT;
    t.target = reinterpret_cast<uintptr_t>(ev);
    ASSERT_EQ(0u, lib.SetCallBack(a, 2, &t));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(ev, 0));
    EXPECT_EQ(0u, lib.DoAction(a));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ev, 0));
    CloseHandle(ev);
}

TEST_F(Host, LibraryExportsExactlyTheTwelveNames) {
    HMODULE m = GetModuleHandleA("VantorCrystal.dll");
    ASSERT_NE(nullptr, m);
    const unsigned char* base = reinterpret_cast<const unsigned char*>(m);
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(0u, dir.VirtualAddress);
    const IMAGE_EXPORT_DIRECTORY* exp =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    const DWORD* names = reinterpret_cast<const DWORD*>(base + exp->AddressOfNames);
    std::set<std::string> got;
    for (DWORD i = 0; i < exp->NumberOfNames; ++i)
        got.insert(reinterpret_cast<const char*>(base + names[i]));
    std::set<std::string> want = {"Omra_Startup",    "Omra_Cleanup",       "Omra_CreateAction",
                                  "Omra_FreeAction", "Omra_GetActionInfo", "Omra_SetCallBack",
                                  "Omra_SetDriver",  "Omra_InitAction",    "Omra_DoAction",
                                  "Omra_Setup",      "Omra_SetProperty",   "Omra_GetProperty"};
    EXPECT_EQ(want, got);
    EXPECT_EQ(12u, exp->NumberOfFunctions);
}

TEST_F(Host, VersionResourceCarriesTheFileVersion) {
    std::string dll = host::DefaultLibraryPath();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(dll.c_str(), &handle);
    ASSERT_NE(0u, size);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(dll.c_str(), 0, size, block.data()));
    char* value = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\080404b0\\FileVersion",
                               reinterpret_cast<void**>(&value), &len));
    EXPECT_STREQ("1, 0, 1, 5", value);
}

#else

TEST_F(Host, LibraryFileCarriesTheFileVersion) {
    FILE* f = std::fopen(host::DefaultLibraryPath().c_str(), "rb");
    ASSERT_NE(nullptr, f);
    std::string bytes;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, n);
    std::fclose(f);
    EXPECT_NE(std::string::npos, bytes.find(std::string("VANTOR_FILEVERSION=1, 0, 1, 5\0", 30)));
}

#endif

} // namespace
