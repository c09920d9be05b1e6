// The chips the suites go through: the library's registry, each row with the
// simulator's handset of its position.
#pragma once

#include "Simulator.h"
#include "chips/ChipRegistry.h"

#include <vector>

namespace testing_support {

struct TestChip {
    const vantor::ChipRow* row;
    sim::Chip handset;
};

inline std::vector<TestChip> AllChips() {
    std::vector<TestChip> chips;
    for (size_t i = 0; i < vantor::Chips().size(); ++i)
        chips.push_back({&vantor::Chips()[i], static_cast<sim::Chip>(i)});
    return chips;
}

} // namespace testing_support
