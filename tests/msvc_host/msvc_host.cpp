// A host as production builds it: compiled in MSVC's ABI (vtables, C++
// exceptions, delete) with no C runtime but the C++ exception runtime it is
// linked against, it loads the action library by name and checks what such a
// host relies on. Prints one result line; exits non-zero on a failed check.
#include "omra/omra.h"

#define WINAPI __stdcall
typedef unsigned long DWORD;
typedef void* HANDLE;

// The few system functions used; no SDK headers.
extern "C" {
__declspec(dllimport) HANDLE WINAPI LoadLibraryA(const char* name);
__declspec(dllimport) void* WINAPI GetProcAddress(HANDLE module, const char* name);
__declspec(dllimport) void WINAPI ExitProcess(unsigned int code);
__declspec(dllimport) HANDLE WINAPI GetStdHandle(DWORD which);
__declspec(dllimport) int WINAPI
    WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, void* overlapped);
__declspec(dllimport) HANDLE WINAPI
    CreateFileA(const char* name, DWORD access, DWORD share, void* security, DWORD disposition,
                DWORD flags, HANDLE templateFile);
__declspec(dllimport) int WINAPI CloseHandle(HANDLE handle);
__declspec(dllimport) int WINAPI DeleteFileA(const char* name);
__declspec(dllimport) HANDLE WINAPI GetProcessHeap(void);
__declspec(dllimport) DWORD WINAPI GetProcessHeaps(DWORD count, HANDLE* heaps);
__declspec(dllimport) void* WINAPI HeapAlloc(HANDLE heap, DWORD flags, size_t size);
__declspec(dllimport) int WINAPI HeapFree(HANDLE heap, DWORD flags, void* block);
__declspec(dllimport) int WINAPI HeapLock(HANDLE heap);
__declspec(dllimport) int WINAPI HeapUnlock(HANDLE heap);

struct HeapEntry {
    void* data;
    DWORD size;
    unsigned char overhead;
    unsigned char region;
    unsigned short flags;
    union {
        struct {
            HANDLE mem;
            DWORD reserved[3];
        } block;
        struct {
            DWORD committed;
            DWORD uncommitted;
            void* first;
            void* last;
        } range;
    } u;
};
__declspec(dllimport) int WINAPI HeapWalk(HANDLE heap, HeapEntry* entry);

// What the compiler's code refers to and a C runtime would give.
int _fltused = 0;
int __cdecl _purecall(void) {
    ExitProcess(3);
    return 0;
}
void __cdecl __std_terminate(void) {
    ExitProcess(3);
}
}

// The type_info vtable of the catch types' descriptors; only their names are
// compared when a catch is matched.
extern "C" const void* const kTypeInfoVftable[2] __asm__("??_7type_info@@6B@") = {nullptr, nullptr};

void* operator new(size_t size) {
    return HeapAlloc(GetProcessHeap(), 0, size);
}
void operator delete(void* p) noexcept {
    if (p != nullptr)
        HeapFree(GetProcessHeap(), 0, p);
}

namespace {

// --- Output and checks -------------------------------------------------------

struct Text {
    char buf[2048];
    unsigned len = 0;
    Text& operator<<(const char* s) {
        while (s != nullptr && *s != '\0' && len + 1 < sizeof buf)
            buf[len++] = *s++;
        buf[len] = '\0';
        return *this;
    }
    Text& operator<<(long v) {
        char digits[24];
        int n = 0;
        unsigned long u =
            v < 0 ? 0ul - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
        do {
            digits[n++] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u != 0);
        if (v < 0)
            *this << "-";
        while (n > 0 && len + 1 < sizeof buf)
            buf[len++] = digits[--n];
        buf[len] = '\0';
        return *this;
    }
};

void print(const Text& t) {
    DWORD written = 0;
    WriteFile(GetStdHandle(static_cast<DWORD>(-11)), t.buf, t.len, &written, nullptr);
}

int g_checks = 0;
int g_failed = 0;

void check(bool ok, const char* what) {
    ++g_checks;
    if (!ok) {
        ++g_failed;
        Text t;
        t << "FAILED: " << what << "\n";
        print(t);
    }
}

bool same(const char* a, const char* b) {
    while (*a != '\0' && *a == *b)
        ++a, ++b;
    return *a == *b;
}

bool contains(const char* text, const char* part) {
    for (; *text != '\0'; ++text) {
        const char* a = text;
        const char* b = part;
        while (*b != '\0' && *a == *b)
            ++a, ++b;
        if (*b == '\0')
            return true;
    }
    return false;
}

void checkText(const char* got, const char* want, const char* what) {
    check(same(got, want), what);
    if (!same(got, want)) {
        Text t;
        t << "  got  \"" << got << "\"\n  want \"" << want << "\"\n";
        print(t);
    }
}

// --- The host's side of the library ------------------------------------------

unsigned char g_record[OMRA_CAL_RECORD_SIZE];
int g_items = 0;
int g_lastItemKind = -1;
int g_lastItemPass = -1;
long g_pausesMs = 0;

unsigned readU16(int offset) {
    return g_record[offset] | (static_cast<unsigned>(g_record[offset + 1]) << 8);
}

int __cdecl onItem(void* record) {
    const RESULT_ITEM* item = static_cast<const RESULT_ITEM*>(record);
    ++g_items;
    g_lastItemKind = item->kind;
    g_lastItemPass = item->pass;
    return 1;
}

int __cdecl onLine(void*) {
    return 1;
}

// The frequency error of a crystal whose error is zero near CDAC 50.3 at
// CAFC 7000, at the setting in the record, into a PFER block.
int measure(intptr_t buffer) {
    double cdac = readU16(OMRA_CAL_MEAS_CDAC);
    double cafc = readU16(OMRA_CAL_MEAS_CAFC);
    float fe = static_cast<float>(2820.0 + 600.0 * (cdac - 55.0) + 7.0 * (cafc - 7000.0));
    unsigned char* block = reinterpret_cast<unsigned char*>(buffer);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&fe);
    for (int i = 0; i < 4; ++i)
        block[OMRA_PFER_FE_OFFSET + i] = bytes[i];
    return 0;
}

// A function-table RF tester whose instrument bus times out on the third
// reading of a run: the host's own exception, an int.
int g_reads = 0;
int OMRA_CALL tableRead(intptr_t, intptr_t buffer) {
    if (++g_reads == 3)
        throw 42;
    return measure(buffer);
}

// An RF tester of kind 1 that notes each operation it receives by number and
// measures that crystal.
class RfTester : public IRfTester {
public:
    int ops[64];
    int count = 0;
    intptr_t band = -2;

    void note(int op) {
        if (count < 64)
            ops[count++] = op;
    }
    int Op1(intptr_t, intptr_t) override { return note(1), 0; }
    int Op2(intptr_t, intptr_t) override { return note(2), 0; }
    void Op3() override { note(3); }
    void Op4() override { note(4); }
    int Op5() override { return note(5), 0; }
    int BeginAction(intptr_t) override { return note(6), 0; }
    int Op7(intptr_t, intptr_t, intptr_t) override { return note(7), 0; }
    int Op8(intptr_t, intptr_t) override { return note(8), 0; }
    int Op9(intptr_t, intptr_t, intptr_t) override { return note(9), 0; }
    int Op10(intptr_t) override { return note(10), 0; }
    int SetBand(intptr_t, intptr_t b) override {
        band = b;
        return note(11), 0;
    }
    int Op12(intptr_t, intptr_t) override { return note(12), 0; }
    int SetupMeasurement(intptr_t, intptr_t, intptr_t) override { return note(13), 0; }
    int Op14(intptr_t) override { return note(14), 0; }
    int TriggerMeasurement(intptr_t) override { return note(15), 0; }
    int ReadMeasurement(intptr_t, intptr_t buffer) override {
        note(16);
        return measure(buffer);
    }
    int Op17(intptr_t) override { return note(17), 0; }
    int SetPowerLevel(intptr_t, intptr_t) override { return note(18), 0; }
    int SetTrafficChannel(intptr_t, intptr_t) override { return note(19), 0; }
    int Op20(intptr_t, intptr_t) override { return note(20), 0; }
    int Op21(intptr_t, intptr_t, intptr_t) override { return note(21), 0; }
    int Op22(intptr_t) override { return note(22), 0; }
    int SetChannel(intptr_t) override { return note(23), 0; }
    int Op24(intptr_t, intptr_t) override { return note(24), 0; }
    int Op25(intptr_t, intptr_t, intptr_t) override { return note(25), 0; }
    int Op26(intptr_t) override { return note(26), 0; }
    int Op27(intptr_t, intptr_t) override { return note(27), 0; }
    int Op28(intptr_t, intptr_t) override { return note(28), 0; }
    int Op29(intptr_t, intptr_t, intptr_t) override { return note(29), 0; }
    int Op30(intptr_t, intptr_t, intptr_t) override { return note(30), 0; }
    int Op31() override { return note(31), 0; }
    int Op32(intptr_t, intptr_t, intptr_t, intptr_t) override { return note(32), 0; }
    ~RfTester() override { note(0); }
};

// A type-1 driver: the library stores it and must never call it.
class Driver1 : public IDriver1 {
public:
    int calls = 0;
    int Op1(intptr_t, intptr_t) override { return ++calls; }
    int Op2(intptr_t) override { return ++calls; }
    int Op3() override { return ++calls; }
    int Op4(intptr_t, intptr_t) override { return ++calls; }
    int Op5(intptr_t, intptr_t) override { return ++calls; }
    int Op6(intptr_t, intptr_t) override { return ++calls; }
    int Op7(intptr_t, intptr_t, intptr_t) override { return ++calls; }
    int Op8(intptr_t, intptr_t) override { return ++calls; }
    int Op9(intptr_t, intptr_t, intptr_t) override { return ++calls; }
    int Op10(intptr_t, intptr_t, intptr_t) override { return ++calls; }
    ~Driver1() override { ++calls; }
};

struct Exports {
    PFN_Omra_Startup Startup;
    PFN_Omra_Cleanup Cleanup;
    PFN_Omra_CreateAction CreateAction;
    PFN_Omra_FreeAction FreeAction;
    PFN_Omra_SetDriver SetDriver;
    PFN_Omra_InitAction InitAction;
    PFN_Omra_DoAction DoAction;
};

template <class Fn> bool find(HANDLE lib, const char* name, Fn* fn) {
    *fn = reinterpret_cast<Fn>(GetProcAddress(lib, name));
    return *fn != nullptr;
}

void writeFile(const char* name, const char* text) {
    HANDLE f = CreateFileA(name, 0x40000000 /* GENERIC_WRITE */, 0, nullptr, 2 /* CREATE_ALWAYS */,
                           0x80, nullptr);
    DWORD n = 0;
    unsigned len = 0;
    while (text[len] != '\0')
        ++len;
    WriteFile(f, text, len, &n, nullptr);
    CloseHandle(f);
}

void setParam(ACTION_PARAM* p, const char* path) {
    unsigned char* bytes = reinterpret_cast<unsigned char*>(p);
    for (unsigned i = 0; i < sizeof *p; ++i)
        bytes[i] = 0;
    p->chipType = 1;
    p->band = 2;
    p->calibrationRecord = g_record;
    for (unsigned i = 0; path[i] != '\0' && i + 1 < sizeof p->configPath; ++i)
        p->configPath[i] = path[i];
}

// Bytes in use on every heap of the process.
long heapInUse() {
    HANDLE heaps[64];
    DWORD n = GetProcessHeaps(64, heaps);
    long total = 0;
    for (DWORD i = 0; i < n && i < 64; ++i) {
        HeapLock(heaps[i]);
        HeapEntry e;
        e.data = nullptr;
        while (HeapWalk(heaps[i], &e))
            if (e.flags & 0x0004 /* PROCESS_HEAP_ENTRY_BUSY */)
                total += e.size;
        HeapUnlock(heaps[i]);
    }
    return total;
}

const char kMissing[] = "missing-dir/none.ini";
const char kMissingMessage[] =
    "< VT318_AFC >LoadAdjustConfig file <missing-dir/none.ini> not exist";

// A failed InitAction, caught as a host catches it.
bool failInit(const Exports& x, IAction* a) {
    ACTION_PARAM p;
    setParam(&p, kMissing);
    try {
        x.InitAction(a, &p);
    } catch (CCFTException* e) {
        bool ok = same(e->GetMessageText(), kMissingMessage);
        delete e;
        return ok;
    }
    return false;
}

int run() {
    HANDLE lib = LoadLibraryA("VantorCrystal.dll");
    check(lib != nullptr, "the library loads");
    if (lib == nullptr)
        return 1;
    Exports x;
    bool all =
        find(lib, "Omra_Startup", &x.Startup) && find(lib, "Omra_Cleanup", &x.Cleanup) &&
        find(lib, "Omra_CreateAction", &x.CreateAction) &&
        find(lib, "Omra_FreeAction", &x.FreeAction) && find(lib, "Omra_SetDriver", &x.SetDriver) &&
        find(lib, "Omra_InitAction", &x.InitAction) && find(lib, "Omra_DoAction", &x.DoAction);
    check(all, "the exports are found");
    if (!all)
        return 1;
    static LIBRARY_INFO info;
    check(x.Startup(&info) == 0 && info.count == 3, "Omra_Startup offers three actions");

    // A passing run; the targets and drivers are set through the handle.
    const char* config = "msvc_host.ini";
    writeFile(config, "[AFC-COMMON]\r\n");
    IAction* a = x.CreateAction(OMRA_ACTION_VT318, 0);
    check(a != nullptr, "Omra_CreateAction makes a VT318 action");
    if (a == nullptr)
        return 1;
    NOTIFY_TARGET items = {OMRA_TARGET_FUNCTION, reinterpret_cast<uintptr_t>(&onItem), 0, 0};
    NOTIFY_TARGET lines = {OMRA_TARGET_FUNCTION, reinterpret_cast<uintptr_t>(&onLine), 0, 0};
    check(a->SetCallBack(OMRA_CALLBACK_RESULT, &items) == 0, "IAction::SetCallBack 1");
    check(a->SetCallBack(OMRA_CALLBACK_LOG, &lines) == 0, "IAction::SetCallBack 2");
    // Slot 1 refuses a type other than 1 or 2 with (14, 6, 11); slot 2 a
    // driver type other than 1 or 2 with (14, 6, 12).
    check(a->SetCallBack(3, &items) == ((14 << 24) | (6 << 12) | 11),
          "IAction::SetCallBack is slot 1");
    check(a->SetDriver(3, 1, &items) == ((14 << 24) | (6 << 12) | 12),
          "IAction::SetDriver is slot 2");
    check(a->SetProperty(1, 2, 3) == 0 && a->GetProperty(1, 2, 3) == 0,
          "IAction::SetProperty and GetProperty");
    RfTester* rf = new RfTester;
    Driver1* d1 = new Driver1;
    check(a->SetDriver(OMRA_DRIVER_RFTESTER, OMRA_DRIVER_KIND_OBJECT, rf) == 0,
          "IAction::SetDriver 2 takes the RF tester");
    check(x.SetDriver(a, OMRA_DRIVER_TYPE1, OMRA_DRIVER_KIND_OBJECT, d1) == 0,
          "Omra_SetDriver 1 takes the type-1 driver");
    ACTION_PARAM p;
    setParam(&p, config);
    check(a->InitAction(&p) == 0, "IAction::InitAction loads the file");
    bool threw = false;
    uint32_t r = 1;
    try {
        r = x.DoAction(a);
    } catch (...) {
        threw = true;
    }
    check(!threw && r == 0, "the run passes");
    check(g_lastItemKind == OMRA_KIND_CLOSING && g_items > 4, "items reach the host's function");
    check(readU16(OMRA_CAL_RESULT_CDAC) == 50, "the calibrated CDAC is stored in the record");
    static const int kRun[] = {6, 11, 18, 23, 19, 13, 15, 16, 13, 15, 16, 13, 15, 16, 13, 15, 16};
    bool order = rf->count == static_cast<int>(sizeof kRun / sizeof kRun[0]);
    for (int i = 0; order && i < rf->count; ++i)
        order = rf->ops[i] == kRun[i];
    check(order, "the RF tester receives exactly the run's operations in order");
    if (!order) {
        Text t;
        t << "  operations:";
        for (int i = 0; i < rf->count; ++i)
            t << " " << static_cast<long>(rf->ops[i]);
        print(t << "\n");
    }
    check(rf->band == 2, "SetBand receives the band");

    // A failed DoAction: a CDAC window no unit passes.
    writeFile(config, "[CRYSTAL_VT318]\r\nCDAC    Range=1\r\n");
    check(a->InitAction(&p) == 0, "InitAction with the narrow window");
    rf->count = 0;
    try {
        x.DoAction(a);
        check(false, "a failed DoAction throws");
    } catch (CCFTException* e) {
        checkText(e->GetMessageText(), "CDAC 26 Exceed Range [54, 56]!",
                  "DoAction's exception is caught as CCFTException*");
        check(contains(e->GetFullText(), "\n\nFILE:\tVt318.cpp\nLINE:\t"),
              "the full text names the source");
        delete e;
    }
    check(g_lastItemKind == OMRA_KIND_CLOSING, "the failed run sends its closing item");

    // A failed InitAction, caught as void* and rethrown from the catch block.
    setParam(&p, kMissing);
    try {
        x.InitAction(a, &p);
        check(false, "a failed InitAction throws");
    } catch (void* v) {
        CCFTException* e = static_cast<CCFTException*>(v);
        checkText(e->GetMessageText(), kMissingMessage, "InitAction's exception as void*");
        check(contains(e->GetFullText(), "FILE:\tActionBase.cpp"), "its full text");
        try {
            throw;
        } catch (CCFTException* again) {
            check(again == e, "throw; rethrows the same exception");
            delete again;
        }
    }

    // Every caught exception deleted: the heap stays flat.
    for (int i = 0; i < 100; ++i)
        failInit(x, a);
    long before = heapInUse();
    int caught = 0;
    for (int i = 0; i < 2000; ++i)
        caught += failInit(x, a) ? 1 : 0;
    long after = heapInUse();
    check(caught == 2000, "2,000 failed InitActions are caught");
    check(before > 0 && after - before < 64 * 1024, "delete frees: heap use flat");
    {
        Text t;
        t << "heap in use: " << before << " before, " << after << " after 2000 caught failures\n";
        print(t);
    }

    // The host's own exception from its function-table RF tester passes
    // DoAction unchanged, and the action is left whole: its next run passes.
    {
        writeFile(config, "[AFC-COMMON]\r\n");
        setParam(&p, config);
        check(a->InitAction(&p) == 0, "InitAction for the host's exception");
        static RFTESTER_TABLE table;
        table.ReadMeasurement = &tableRead;
        int got42 = 0, nextPassed = 0;
        const int kRounds = 2000;
        long before = 0;
        for (int i = 0; i < kRounds + 50; ++i) {
            if (i == 50)
                before = heapInUse();
            x.SetDriver(a, OMRA_DRIVER_RFTESTER, OMRA_DRIVER_KIND_TABLE, &table);
            g_reads = 0;
            try {
                x.DoAction(a);
            } catch (int v) {
                got42 += v == 42 ? 1 : 0;
            } catch (...) {
            }
            x.SetDriver(a, OMRA_DRIVER_RFTESTER, OMRA_DRIVER_KIND_OBJECT, rf);
            uint32_t next = 1;
            try {
                next = x.DoAction(a);
            } catch (...) {
            }
            nextPassed += next == 0 ? 1 : 0;
        }
        long after = heapInUse();
        check(got42 == kRounds + 50, "the host's catch (int) gets its 42 from DoAction");
        check(nextPassed == kRounds + 50, "the action's next DoAction passes after each");
        check(before > 0 && after - before < 64 * 1024, "heap use flat over 2,000 host exceptions");
        Text t;
        t << "host exceptions: " << static_cast<long>(got42) << " caught as 42, "
          << static_cast<long>(nextPassed) << " next runs passed; heap in use " << before
          << " before, " << after << " after\n";
        print(t);
    }

    // The library owns the action: a delete is ignored, Omra_FreeAction frees.
    delete a;
    check(x.FreeAction(a) == 0, "Omra_FreeAction after a host's delete");
    check(x.Cleanup() == 0, "Omra_Cleanup");
    check(d1->calls == 0, "the type-1 driver is never called");
    delete rf;
    delete d1;
    DeleteFileA(config);
    return 0;
}

} // namespace

// The library's pauses on the host's clock: none is waited for.
extern "C" __declspec(dllexport) void __cdecl OmraHost_Sleep(uint32_t ms) {
    g_pausesMs += ms;
}

extern "C" int mainCRTStartup() {
    run();
    Text t;
    t << (g_failed == 0 ? "PASS" : "FAIL") << ": msvc host " << OMRA_HOST_RUNTIME << ", "
      << static_cast<long>(g_checks - g_failed) << " of " << static_cast<long>(g_checks)
      << " checks\n";
    print(t);
    ExitProcess(g_failed == 0 ? 0 : 1);
    return 0;
}
