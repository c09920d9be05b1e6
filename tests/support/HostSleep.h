// The test executable's clock: every pause the library asks for is recorded
// and none is waited for. The executable also asks for g++ exceptions.
#pragma once

#include <cstdint>
#include <vector>

namespace testing_support {
std::vector<uint32_t>& Pauses();
} // namespace testing_support
