// The twelve exports driven in any order with any arguments: fuzzer-chosen
// ids, handles, callback and driver types and kinds, parameter blocks,
// configuration texts, scripted frequency errors, RF tester errors and
// handset command results. The result target calls back into the library
// at a chosen item, as hosts do: it frees the running action, cleans up,
// runs the same action again or another one nested, sets a driver or a
// callback, or throws the host's own exception (as the RF tester may too).
// Beyond "never a crash" every run must end with one closing item (none when
// the host's exception ended it), never flash after a failed check, never
// pause for longer than the resend cap, and the exports must then report
// the state that the calls left.
#include "Simulator.h"
#include "chips/ChipRegistry.h"
#include "omra/errorcode.h"
#include "omra/omra.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<uint32_t> g_pauses;

// What the host receives, interleaved with the handset's commands.
sim::CallLog g_log;
struct ItemSeen {
    std::string name;
    double value;
    int kind;
    int pass;
};
std::vector<ItemSeen> g_items;
size_t g_lines = 0;

// The host's own exception, as its driver or target throws it.
struct HostError {
    int where;
};

// What the host does from inside a run, at one chosen item (or RF tester
// reading), once.
enum class Reentry { None, FreeRunning, Cleanup, SameAgain, OtherNested, SetDriver, SetLog, Throw };
struct Plan {
    Reentry what = Reentry::None;
    size_t at = 0;       // the item (or, for the RF tester's throw, the reading) it happens at
    bool fromRf = false; // Throw: from the RF tester rather than the result target
    IAction* running = nullptr;
    IAction* other = nullptr;
    // What happened, for the checks after the run.
    bool done = false, freed = false, cleaned = false, nested = false;
    uint32_t slotAtThrow = 0; // the error slot's code when the host threw
} g_plan;

uint32_t lastCode();
const RFTESTER_TABLE* g_rfTable = nullptr;
size_t g_reads = 0;

void reenter();

// The simulator's table, with a reading that may throw the host's exception.
int OMRA_CALL throwingRead(intptr_t a, intptr_t b) {
    ++g_reads;
    if (g_plan.what == Reentry::Throw && g_plan.fromRf && !g_plan.done && g_reads == g_plan.at) {
        g_plan.done = true;
        g_plan.slotAtThrow = lastCode();
        throw HostError{1};
    }
    return g_rfTable->ReadMeasurement(a, b);
}

int OMRA_CALL captureItem(void* record) {
    const RESULT_ITEM* r = static_cast<const RESULT_ITEM*>(record);
    ItemSeen s{std::string(r->name, strnlen(r->name, sizeof r->name)), r->u.num.value, r->kind,
               r->pass};
    g_log.Add("ITEM " + std::to_string(g_items.size()));
    g_items.push_back(s);
    if (g_plan.what != Reentry::None && !g_plan.fromRf && !g_plan.done &&
        g_items.size() == g_plan.at) {
        g_plan.done = true;
        reenter();
    }
    return 1;
}

int OMRA_CALL captureLine(void* record) {
    const LOG_LINE* l = static_cast<const LOG_LINE*>(record);
    if (l->text == nullptr || std::strlen(l->text) != l->length)
        std::abort(); // the line must be the text it says it is
    ++g_lines;
    return 1;
}

int OMRA_CALL refuse(void*) {
    return 0;
}

// How deep the inputs reach; printed at exit with VANTOR_FUZZ_STATS=1.
struct Stats {
    long runs = 0, capturedRuns = 0, flashedRuns = 0, exceptions = 0, hostExceptions = 0;
    ~Stats() {
        if (std::getenv("VANTOR_FUZZ_STATS") != nullptr)
            std::fprintf(stderr, "runs %ld, captured %ld, flashed %ld, exceptions %ld, host %ld\n",
                         runs, capturedRuns, flashedRuns, exceptions, hostExceptions);
    }
} g_stats;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

const std::string& scratch(const char* what) {
    static std::map<std::string, std::string> paths;
    std::string& p = paths[what];
    if (p.empty())
        p = "/tmp/vantor-exports-fuzz-" + std::to_string(::getpid()) + "-" + what;
    return p;
}

// Every section and key the actions read, each section before its keys: the
// handset command policy's and every chip's of the registry.
const std::vector<std::string>& keyLines() {
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> all;
        auto add = [&all](const config::Facts& facts) {
            for (const config::KeyFact& f : facts) {
                std::string section = std::string("[") + f.section + "]";
                for (const std::string& line : {section, std::string(f.key)})
                    if (std::find(all.begin(), all.end(), line) == all.end())
                        all.push_back(line);
            }
        };
        add(config::kDiagControlFacts);
        for (const vantor::ChipRow& row : vantor::Chips())
            add(row.facts);
        return all;
    }();
    return lines;
}

const char* const kValues[] = {"0",     "1",     "-1",          "2",      "50",
                               "65535", "65536", "4294967295",  "70000",  "0x7fffffff",
                               "abc",   "",      "99999999999", "-32768", "100000000",
                               "3",     "8",     "16",          "7000",   "55"};

// A configuration: either any bytes, or key lines with chosen values.
std::string configText(FuzzedDataProvider& in) {
    if (in.ConsumeBool())
        return in.ConsumeRandomLengthString(1024);
    std::string text;
    size_t n = in.ConsumeIntegralInRange<size_t>(0, 24);
    for (size_t i = 0; i < n; ++i) {
        const std::string& k =
            keyLines()[in.ConsumeIntegralInRange<size_t>(0, keyLines().size() - 1)];
        text += k;
        if (k[0] != '[') {
            text += "=";
            if (in.ConsumeBool())
                text += kValues[in.ConsumeIntegralInRange<size_t>(0, std::size(kValues) - 1)];
            else
                text += std::to_string(in.ConsumeIntegral<int32_t>());
        }
        text += "\r\n";
    }
    return text;
}

double frequencyError(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
        return std::numeric_limits<double>::quiet_NaN();
    case 1:
        return in.ConsumeBool() ? HUGE_VAL : -HUGE_VAL;
    case 2:
        return 0.0;
    case 3:
        return in.ConsumeFloatingPoint<float>();
    default:
        return in.ConsumeFloatingPointInRange<double>(-30000.0, 30000.0);
    }
}

struct ActionState {
    bool itemsCaptured = false;
    int32_t chipType = 0;
};

struct Host {
    std::vector<IAction*> handles; // every handle ever returned, live or not
    std::map<IAction*, ActionState> live;
    unsigned char record[OMRA_CAL_RECORD_SIZE + 64];
    char foreign[64];
};

Host* g_host = nullptr;
RFTESTER_TABLE g_throwingTable{};

// The code of the triple in the error slot, 0 for none.
uint32_t lastCode() {
    ERROR_TRIPLE t{};
    return ErrorCode_GetLast(E_ERR_ACTION, &t) == 1 ? t.code : 0;
}

// The host's call back into the library from inside the planned run, and
// what the exports must report right after it.
void reenter() {
    Host& h = *g_host;
    IAction* a = g_plan.running;
    switch (g_plan.what) {
    case Reentry::FreeRunning:
        if (Omra_FreeAction(a) == 0) {
            h.live.erase(a);
            g_plan.freed = true;
            ACTION_INFO info;
            if (Omra_GetActionInfo(a, &info) == 0)
                fail("a running action freed by its target still answers as live");
        }
        break;
    case Reentry::Cleanup:
        Omra_Cleanup();
        h.live.clear();
        g_plan.cleaned = true;
        if (Omra_CreateAction(OMRA_ACTION_VT318, 0) != nullptr)
            fail("an action made after a cleanup from inside a run");
        break;
    case Reentry::SameAgain: {
        bool threw = false;
        uint32_t r = 0;
        try {
            r = Omra_DoAction(a);
        } catch (CCFTException* e) {
            delete e;
            threw = true;
        }
        if (threw || r == 0 || lastCode() != OMRA_ERR_RUNNING)
            fail("a running action's own DoAction is not refused as running");
        break;
    }
    case Reentry::OtherNested:
        if (g_plan.other != a && h.live.count(g_plan.other) != 0) {
            g_plan.nested = true;
            try {
                Omra_DoAction(g_plan.other);
            } catch (CCFTException* e) {
                delete e;
            }
            if (lastCode() == OMRA_ERR_RUNNING)
                fail("another action's run nested in a target is refused as running");
        }
        break;
    case Reentry::SetDriver:
        if (Omra_SetDriver(a, 2, 2, &g_throwingTable) != 0)
            fail("the running action refuses a driver from its target");
        break;
    case Reentry::SetLog: {
        NOTIFY_TARGET lines{OMRA_TARGET_FUNCTION, reinterpret_cast<uintptr_t>(&captureLine), 3, 4};
        if (Omra_SetCallBack(a, 2, &lines) != 0)
            fail("the running action refuses a log target from its target");
        break;
    }
    case Reentry::Throw:
        g_plan.slotAtThrow = lastCode();
        throw HostError{2};
    case Reentry::None:
        break;
    }
}

IAction* pickHandle(FuzzedDataProvider& in, Host& h) {
    size_t n = in.ConsumeIntegralInRange<size_t>(0, h.handles.size() + 1);
    if (n == 0)
        return nullptr;
    if (n == 1)
        return reinterpret_cast<IAction*>(h.foreign);
    return h.handles[n - 2];
}

uint32_t pickId(FuzzedDataProvider& in) {
    // Every chip's id, as it is and with high bits set, and ids of no chip.
    static const std::vector<uint32_t> ids = [] {
        std::vector<uint32_t> all;
        for (const vantor::ChipRow& row : vantor::Chips())
            all.insert(all.end(), {row.id, 0xFFFF0000u | row.id, 0x80000000u | row.id});
        all.insert(all.end(), {0x0401, 0xFFFF, 0});
        return all;
    }();
    if (in.ConsumeBool())
        return ids[in.ConsumeIntegralInRange<size_t>(0, ids.size() - 1)];
    return in.ConsumeIntegral<uint32_t>();
}

uint32_t pickSmall(FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange<int>(0, 3) == 0)
        return in.ConsumeIntegral<uint32_t>();
    return in.ConsumeIntegralInRange<uint32_t>(0, 5);
}

// Checks one run that reached the action, from what the host received.
void checkRun(const ActionState& st, size_t firstItem, size_t firstLog, int phoneBefore,
              int phoneAfter, int readsBefore, int readsAfter) {
    if (st.chipType == 0 && (phoneAfter != phoneBefore || readsAfter != readsBefore))
        fail("chip type 0 reached the handset or the RF tester");
    ++g_stats.runs;
    if (!st.itemsCaptured)
        return;
    ++g_stats.capturedRuns;
    int closing = 0;
    for (size_t i = firstItem; i < g_items.size(); ++i)
        if (g_items[i].kind == OMRA_KIND_CLOSING && g_items[i].name.empty())
            ++closing;
    if (closing != 1 || g_items.size() == firstItem || g_items.back().kind != OMRA_KIND_CLOSING)
        fail("a run must end with exactly one closing item");
    // Every judged item after the last coarse stage and before the first
    // flash write must have passed with a finite value.
    const std::vector<std::string>& log = g_log.Entries();
    size_t judgedFrom = firstItem;
    for (size_t i = firstLog; i < log.size(); ++i) {
        if (log[i].rfind("HT_WriteData_Flash", 0) == 0) {
            ++g_stats.flashedRuns;
            // Items logged before this entry.
            size_t itemsBefore = 0;
            for (size_t j = firstLog; j < i; ++j)
                if (log[j].rfind("ITEM ", 0) == 0)
                    ++itemsBefore;
            for (size_t k = firstItem; k < firstItem + itemsBefore; ++k)
                if (g_items[k].name == "CDAC Slope")
                    judgedFrom = k + 1;
            for (size_t k = judgedFrom; k < firstItem + itemsBefore; ++k) {
                const ItemSeen& it = g_items[k];
                if (it.kind == OMRA_KIND_JUDGED && (it.pass != 1 || !std::isfinite(it.value)))
                    fail("flash written after a failed check");
            }
            break;
        }
    }
}

} // namespace

extern "C" OMRA_EXPORT void OMRA_CALL OmraHost_Sleep(uint32_t ms) {
    g_pauses.push_back(ms);
    if (ms > 60000)
        fail("a pause beyond the resend cap");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    g_pauses.clear();
    g_log.Clear();
    g_items.clear();
    g_lines = 0;
    Spec_ClearErrorCode(E_ERR_ANY);

    const size_t chipCount = vantor::Chips().size();
    sim::Handset handset(sim::NominalCrystal(static_cast<sim::Chip>(
                             in.ConsumeIntegralInRange<size_t>(0, chipCount - 1))),
                         in.ConsumeIntegral<uint32_t>(), &g_log);
    handset.Attach();
    size_t failures = in.ConsumeIntegralInRange<size_t>(0, 6);
    for (size_t i = 0; i < failures; ++i)
        handset.FailCall(static_cast<sim::Command>(in.ConsumeIntegralInRange<int>(0, 5)),
                         in.ConsumeIntegralInRange<int>(1, 12),
                         in.ConsumeBool() ? 1 : in.ConsumeIntegral<int32_t>() | 1);
    sim::RfTester rf(&handset);
    std::vector<double> fe;
    size_t scripted = in.ConsumeIntegralInRange<size_t>(0, 12);
    for (size_t i = 0; i < scripted; ++i)
        fe.push_back(frequencyError(in));
    rf.ScriptFe(fe);
    size_t rfErrors = in.ConsumeIntegralInRange<size_t>(0, 2);
    for (size_t i = 0; i < rfErrors; ++i)
        rf.FailMeasurement(in.ConsumeIntegralInRange<int>(1, 12));
    g_rfTable = rf.Table();
    g_throwingTable = *rf.Table();
    g_throwingTable.ReadMeasurement = &throwingRead;
    g_plan = Plan{};
    RFTESTER_TABLE emptyTable{};
    DRIVER1_TABLE driver1Table{};

    {
        std::string text = configText(in);
        if (FILE* f = std::fopen(scratch("cfg.ini").c_str(), "wb")) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
    }

    Host h;
    g_host = &h;
    std::memset(h.record, 0, sizeof h.record);
    std::memset(h.foreign, 0x5A, sizeof h.foreign);
    LIBRARY_INFO info;
    ACTION_INFO actionInfo;

    // Most inputs start with the host's usual road, so that the chosen calls
    // after it meet actions that are ready to run.
    if (in.ConsumeIntegralInRange<int>(0, 3) != 0) {
        Omra_Startup(&info);
        const vantor::ChipRegistry& chips = vantor::Chips();
        if (IAction* a = Omra_CreateAction(
                chips[in.ConsumeIntegralInRange<size_t>(0, chips.size() - 1)].id, 0)) {
            h.handles.push_back(a);
            ActionState& st = h.live[a];
            NOTIFY_TARGET items{OMRA_TARGET_FUNCTION, reinterpret_cast<uintptr_t>(&captureItem), 1,
                                2};
            NOTIFY_TARGET lines{OMRA_TARGET_FUNCTION, reinterpret_cast<uintptr_t>(&captureLine), 3,
                                4};
            st.itemsCaptured = Omra_SetCallBack(a, 1, &items) == 0;
            Omra_SetCallBack(a, 2, &lines);
            switch (in.ConsumeIntegralInRange<int>(0, 2)) {
            case 0:
                Omra_SetDriver(a, 2, 1, &rf);
                break;
            case 1:
                Omra_SetDriver(a, 2, 2, const_cast<RFTESTER_TABLE*>(rf.Table()));
                break;
            default:
                Omra_SetDriver(a, 2, 2, &g_throwingTable);
                break;
            }
            ACTION_PARAM p;
            std::memset(&p, 0, sizeof p);
            p.chipType = in.ConsumeIntegralInRange<int>(0, 7) == 0 ? 0 : 1;
            p.band = in.ConsumeIntegralInRange<int32_t>(0, 3);
            p.calibrationRecord = h.record;
            std::snprintf(p.configPath, sizeof p.configPath, "%s", scratch("cfg.ini").c_str());
            try {
                Omra_InitAction(a, &p);
            } catch (CCFTException* e) {
                delete e;
            }
            st.chipType = p.chipType;
        }
    }

    int steps = in.ConsumeIntegralInRange<int>(1, 40);
    for (int step = 0; step < steps && in.remaining_bytes() > 0; ++step) {
        switch (in.ConsumeIntegralInRange<int>(0, 11)) {
        case 0:
            Omra_Startup(in.ConsumeIntegralInRange<int>(0, 7) == 0 ? nullptr : &info);
            break;
        case 1:
            Omra_Cleanup();
            h.live.clear();
            break;
        case 2:
            if (IAction* a = Omra_CreateAction(pickId(in), in.ConsumeIntegral<uint32_t>())) {
                h.handles.push_back(a);
                h.live[a] = ActionState{};
            }
            break;
        case 3: {
            IAction* a = pickHandle(in, h);
            if (Omra_FreeAction(a) == 0)
                h.live.erase(a);
            break;
        }
        case 4: {
            IAction* a = pickHandle(in, h);
            Omra_GetActionInfo(a, in.ConsumeBool() ? &actionInfo : nullptr);
            break;
        }
        case 5: {
            IAction* a = pickHandle(in, h);
            uint32_t type = pickSmall(in);
            NOTIFY_TARGET t{};
            t.kind = pickSmall(in);
            switch (in.ConsumeIntegralInRange<int>(0, 4)) {
            case 0:
                t.target = reinterpret_cast<uintptr_t>(type == 2 ? &captureLine : &captureItem);
                if (in.ConsumeBool())
                    t.kind = OMRA_TARGET_FUNCTION;
                break;
            case 1:
                t.target = reinterpret_cast<uintptr_t>(&refuse);
                break;
            case 2:
                t.target = 0;
                break;
            default: {
                // A real event, or a handle that names nothing (never one of
                // the fuzzer's own files).
                static const int event = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
                t.target = in.ConsumeBool() ? static_cast<uintptr_t>(event) : 999999;
                if (t.kind == OMRA_TARGET_FUNCTION)
                    t.kind = OMRA_TARGET_EVENT;
                break;
            }
            }
            t.context1 = in.ConsumeIntegral<uint32_t>();
            t.context2 = in.ConsumeIntegral<uint32_t>();
            bool null = in.ConsumeIntegralInRange<int>(0, 5) == 0;
            if (Omra_SetCallBack(a, type, null ? nullptr : &t) == 0 && type == 1 && h.live.count(a))
                h.live[a].itemsCaptured = t.kind == OMRA_TARGET_FUNCTION &&
                                          t.target == reinterpret_cast<uintptr_t>(&captureItem);
            break;
        }
        case 6: {
            IAction* a = pickHandle(in, h);
            uint32_t type = pickSmall(in);
            uint32_t kind = pickSmall(in);
            void* driver = nullptr;
            switch (in.ConsumeIntegralInRange<int>(0, 3)) {
            case 0:
                break;
            case 1:
                // Only a real object may be given as kind 1.
                driver = type == 1 ? static_cast<void*>(&driver1Table) : static_cast<void*>(&rf);
                if (type == 1 && kind == 1)
                    kind = 2;
                else if (type != 1 && kind == 2)
                    kind = 1; // an object is never a table
                break;
            case 2:
                driver = type == 1 ? static_cast<void*>(&driver1Table)
                                   : const_cast<RFTESTER_TABLE*>(rf.Table());
                if (kind == 1)
                    kind = 2;
                break;
            default:
                driver =
                    type == 1 ? static_cast<void*>(&driver1Table) : static_cast<void*>(&emptyTable);
                if (kind == 1)
                    kind = 2;
                break;
            }
            Omra_SetDriver(a, type, kind, driver);
            break;
        }
        case 7: {
            IAction* a = pickHandle(in, h);
            ACTION_PARAM p;
            std::memset(&p, 0, sizeof p);
            static const int32_t chipTypes[] = {0, 1, 2, 3, 4, -1, 5, 1, 2};
            p.chipType =
                in.ConsumeBool()
                    ? chipTypes[in.ConsumeIntegralInRange<size_t>(0, std::size(chipTypes) - 1)]
                    : in.ConsumeIntegral<int32_t>();
            p.band = in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-2, 6)
                                      : in.ConsumeIntegral<int32_t>();
            p.calibrationRecord = in.ConsumeIntegralInRange<int>(0, 5) == 0 ? nullptr : h.record;
            p.unread = in.ConsumeIntegral<uint32_t>();
            switch (in.ConsumeIntegralInRange<int>(0, 6)) {
            case 0:
                break; // empty path: nothing is loaded
            case 1:
                std::memset(p.configPath, 'A', sizeof p.configPath); // no terminator
                break;
            case 2:
                std::snprintf(p.configPath, sizeof p.configPath, "/tmp");
                break;
            case 3:
                std::snprintf(p.configPath, sizeof p.configPath, "%s",
                              scratch("missing.ini").c_str());
                break;
            default:
                std::snprintf(p.configPath, sizeof p.configPath, "%s", scratch("cfg.ini").c_str());
                break;
            }
            p.paramWord = in.ConsumeIntegral<uint32_t>();
            bool null = in.ConsumeIntegralInRange<int>(0, 7) == 0;
            bool reached = false;
            try {
                reached = Omra_InitAction(a, null ? nullptr : &p) == 0;
            } catch (CCFTException* e) {
                reached = true;
                if (std::strstr(e->GetFullText(), "FILE:\t") == nullptr)
                    fail("exception text without its source");
                delete e;
            }
            if (reached && !null && h.live.count(a))
                h.live[a].chipType = p.chipType;
            break;
        }
        case 8: {
            IAction* a = pickHandle(in, h);
            bool live = h.live.count(a) != 0;
            ActionState st = live ? h.live[a] : ActionState{};
            size_t firstItem = g_items.size();
            size_t firstLog = g_log.Entries().size();
            int phoneBefore = 0;
            for (int c = 0; c < 6; ++c)
                phoneBefore += handset.Calls(static_cast<sim::Command>(c));
            int readsBefore = rf.Measurements();
            g_plan = Plan{};
            if (live && in.ConsumeIntegralInRange<int>(0, 2) == 0) {
                g_plan.what = static_cast<Reentry>(in.ConsumeIntegralInRange<int>(1, 7));
                g_plan.at = in.ConsumeIntegralInRange<size_t>(1, 12);
                g_plan.fromRf = g_plan.what == Reentry::Throw && in.ConsumeBool();
                g_plan.running = a;
                g_plan.other = pickHandle(in, h);
                g_reads = 0;
            }
            bool reached = false;
            bool hostThrew = false;
            try {
                reached = Omra_DoAction(a) == 0;
            } catch (CCFTException* e) {
                reached = true;
                ++g_stats.exceptions;
                if (e->GetMessageText()[0] == '\0')
                    fail("an exception without a message");
                delete e;
            } catch (const HostError&) {
                reached = hostThrew = true;
                ++g_stats.hostExceptions;
                if (g_plan.what != Reentry::Throw || !g_plan.done)
                    fail("a host exception the host did not throw");
            }
            if (reached && !live)
                fail("a handle that is not live reached an action");
            int phoneAfter = 0;
            for (int c = 0; c < 6; ++c)
                phoneAfter += handset.Calls(static_cast<sim::Command>(c));
            if (hostThrew) {
                // It leaves as thrown: no closing item, nothing recorded, and
                // the action is not left running.
                // (An item the target threw on is the target's: it may be
                // the closing item itself.)
                size_t sent = g_items.size() - (g_plan.fromRf ? 0 : 1);
                for (size_t i = firstItem; i < sent; ++i)
                    if (g_items[i].kind == OMRA_KIND_CLOSING)
                        fail("a closing item for a run the host's exception ended");
                if (lastCode() != g_plan.slotAtThrow)
                    fail("a triple recorded for the host's own exception");
                g_plan = Plan{};
                if (h.live.count(a) != 0) {
                    try {
                        Omra_DoAction(a);
                    } catch (CCFTException* e) {
                        delete e;
                    }
                    if (lastCode() == OMRA_ERR_RUNNING)
                        fail("the host's exception left the action running");
                }
            } else if (reached && !g_plan.nested) {
                checkRun(st, firstItem, firstLog, phoneBefore, phoneAfter, readsBefore,
                         rf.Measurements());
            }
            g_plan = Plan{};
            break;
        }
        case 9: {
            const char* paths[] = {nullptr, "/tmp", "", scratch("cfg.ini").c_str(),
                                   scratch("missing.ini").c_str()};
            Omra_Setup(pickId(in), paths[in.ConsumeIntegralInRange<int>(0, 4)]);
            break;
        }
        case 10: {
            IAction* a = pickHandle(in, h);
            Omra_SetProperty(a, in.ConsumeIntegral<uint32_t>(), in.ConsumeIntegral<uint32_t>(),
                             in.ConsumeIntegral<uint32_t>());
            break;
        }
        default: {
            IAction* a = pickHandle(in, h);
            Omra_GetProperty(a, in.ConsumeIntegral<uint32_t>(), in.ConsumeIntegral<uint32_t>(),
                             in.ConsumeIntegral<uint32_t>());
            break;
        }
        }
    }
    // Nothing lives on into the next input.
    Omra_Cleanup();
    return 0;
}
