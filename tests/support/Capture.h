// Function targets that capture what a host receives: result items and log
// lines, in order, optionally interleaved with the simulators' call log.
#pragma once

#include "Simulator.h"
#include "omra/omra.h"

#include <string>
#include <vector>

namespace testing_support {

struct Item {
    RESULT_ITEM raw;
    std::string name;
    double low, value, high;
    std::string unit;
    int kind, level, pass;
};

struct Captured {
    std::vector<Item> items;
    std::vector<std::string> lines;
    std::vector<LOG_LINE> lineRecords;
    int itemReply = 1; // what the function target answers
    int lineReply = 1;
    sim::CallLog* log = nullptr; // when set, items and lines are logged too
    void Clear() {
        items.clear();
        lines.clear();
        lineRecords.clear();
        itemReply = lineReply = 1;
        log = nullptr;
    }
};

Captured& Capture();
int OMRA_CALL CaptureItem(void* record);
int OMRA_CALL CaptureLine(void* record);
NOTIFY_TARGET ItemTarget(uint32_t context1 = 0x11, uint32_t context2 = 0x22);
NOTIFY_TARGET LineTarget(uint32_t context1 = 0x33, uint32_t context2 = 0x44);

// "name|low|value|high|unit|kind|level|pass" with %g numbers, for comparisons.
std::string Describe(const Item& item);

} // namespace testing_support
