// Counts every allocation made through the global operator new of the
// program that links AllocationCount.cpp (the library's too, where it calls
// the program's operator new).
#pragma once

#include <cstdint>

namespace alloc_count {

// Allocations through operator new since the program started.
uint64_t Count();

} // namespace alloc_count
