// The global operator new and delete of the program, counting allocations.
#include "AllocationCount.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// One count for the process: every thread's allocations go through it.
std::atomic<uint64_t> allocations{0};
// The count at which an allocation fails; 0 for none.
std::atomic<uint64_t> failAt{0};

void* allocate(std::size_t size) noexcept {
    uint64_t n = allocations.fetch_add(1, std::memory_order_relaxed) + 1;
    uint64_t at = n;
    if (failAt.compare_exchange_strong(at, 0))
        return nullptr;
    for (;;) {
        if (void* p = std::malloc(size != 0 ? size : 1))
            return p;
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr)
            return nullptr;
        handler();
    }
}

void* allocateOrThrow(std::size_t size) {
    if (void* p = allocate(size))
        return p;
    throw std::bad_alloc();
}

} // namespace

namespace alloc_count {

uint64_t Count() {
    return allocations.load(std::memory_order_relaxed);
}

void FailAllocation(uint64_t nth) {
    failAt.store(nth == 0 ? 0 : allocations.load() + nth);
}

} // namespace alloc_count

void* operator new(std::size_t size) {
    return allocateOrThrow(size);
}
void* operator new[](std::size_t size) {
    return allocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
