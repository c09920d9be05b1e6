// Counts every allocation made through the global operator new of the
// program that links AllocationCount.cpp (the library's too, where it calls
// the program's operator new).
#pragma once

#include <cstdint>

namespace alloc_count {

// Allocations through operator new since the program started.
uint64_t Count();

// The nth allocation from now fails (std::bad_alloc from operator new), once;
// 0 fails none.
void FailAllocation(uint64_t nth);

} // namespace alloc_count
