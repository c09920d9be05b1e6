// A run of every chip after the first allocates nothing: its lines and names
// are formatted in buffers the action owns.
#include "AllocationCount.h"
#include "HostSleep.h"
#include "Simulator.h"
#include "afc/LN2040.h"
#include "afc/VantorAfc.h"
#include "afc/Vt318.h"
#include "omra/errorcode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

// What the targets received, kept without allocating.
struct Received {
    int items = 0;
    int lines = 0;
    char lastLine[512] = {};
};

Received* receiverOf(uint32_t context1, uint32_t context2) {
    return reinterpret_cast<Received*>(
        static_cast<uintptr_t>((static_cast<uint64_t>(context2) << 32) | context1));
}

int OMRA_CALL onItem(void* record) {
    const RESULT_ITEM* item = static_cast<const RESULT_ITEM*>(record);
    ++receiverOf(item->context1, item->context2)->items;
    return 1;
}

int OMRA_CALL onLine(void* record) {
    const LOG_LINE* line = static_cast<const LOG_LINE*>(record);
    Received* r = receiverOf(line->context1, line->context2);
    ++r->lines;
    size_t n = line->length < sizeof r->lastLine ? line->length : 0;
    std::memcpy(r->lastLine, line->text, n);
    r->lastLine[n] = '\0';
    return 1;
}

NOTIFY_TARGET functionTarget(OMRA_NOTIFY_FN fn, Received* receiver) {
    NOTIFY_TARGET t;
    std::memset(&t, 0, sizeof t);
    t.kind = OMRA_TARGET_FUNCTION;
    t.target = reinterpret_cast<uintptr_t>(fn);
    uint64_t address = reinterpret_cast<uintptr_t>(receiver);
    t.context1 = static_cast<uint32_t>(address);
    t.context2 = static_cast<uint32_t>(address >> 32);
    return t;
}

struct Chip {
    const char* name;
    sim::Chip chip;
    // Allocations of DoAction runs after the first, one entry per run.
    std::vector<uint64_t> (*runs)(sim::Chip chip, int count, Received* received);
};

template <class Action>
std::vector<uint64_t> allocationsPerRun(sim::Chip chip, int count, Received* received) {
    std::vector<uint64_t> perRun;
    perRun.reserve(static_cast<size_t>(count));
    testing_support::Pauses().reserve(64);
    sim::Handset handset(sim::NominalCrystal(chip), 1);
    handset.Attach();
    sim::RfTester rf(&handset);
    std::vector<unsigned char> record(OMRA_CAL_RECORD_SIZE + 64, 0);
    Action action;
    NOTIFY_TARGET items = functionTarget(&onItem, received);
    NOTIFY_TARGET lines = functionTarget(&onLine, received);
    EXPECT_EQ(0, action.SetCallBack(OMRA_CALLBACK_RESULT, &items));
    EXPECT_EQ(0, action.SetCallBack(OMRA_CALLBACK_LOG, &lines));
    EXPECT_EQ(0, action.SetDriver(OMRA_DRIVER_RFTESTER, OMRA_DRIVER_KIND_OBJECT,
                                  static_cast<IRfTester*>(&rf)));
    ACTION_PARAM p;
    std::memset(&p, 0, sizeof p);
    p.chipType = 1;
    p.band = 1;
    p.calibrationRecord = record.data();
    EXPECT_EQ(0, action.InitAction(&p));
    EXPECT_EQ(0, action.DoAction());
    for (int i = 0; i < count; ++i) {
        testing_support::Pauses().clear();
        *received = Received();
        uint64_t before = alloc_count::Count();
        int r = action.DoAction();
        perRun.push_back(alloc_count::Count() - before);
        EXPECT_EQ(0, r);
    }
    return perRun;
}

void PrintTo(const Chip& chip, std::ostream* os) {
    *os << chip.name;
}

class RunAllocations : public ::testing::TestWithParam<Chip> {};

TEST_P(RunAllocations, NoneAfterTheFirstRun) {
    // The count must see the allocations of the standard library's strings,
    // or a zero below would prove nothing.
    uint64_t before = alloc_count::Count();
    std::string probe(300, 'x');
    probe += probe;
    ASSERT_GE(alloc_count::Count() - before, 1u) << probe.size();

    Received received;
    std::vector<uint64_t> perRun = GetParam().runs(GetParam().chip, 3, &received);
    EXPECT_EQ(std::vector<uint64_t>(3, 0), perRun);
    // The runs did report: items, PFER lines and the result lines.
    EXPECT_GE(received.items, 6);
    EXPECT_GE(received.lines, 5);
    EXPECT_EQ(0, std::strncmp(received.lastLine, "calibration_param_T.", 20)) << received.lastLine;
}

INSTANTIATE_TEST_SUITE_P(
    Chips, RunAllocations,
    ::testing::Values(Chip{"Vt300", sim::Chip::VT300, &allocationsPerRun<CVantorAfc>},
                      Chip{"Vt318", sim::Chip::VT318, &allocationsPerRun<CVt318>},
                      Chip{"Ln2040", sim::Chip::LN2040, &allocationsPerRun<CLN2040>}),
    [](const ::testing::TestParamInfo<Chip>& chip) { return std::string(chip.param.name); });

} // namespace
