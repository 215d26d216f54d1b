// Global operator new and delete with a countdown to one failing allocation.
#include "tests/support/failing_allocator.h"

#include <cstdlib>
#include <new>

namespace morvex::testing {

namespace {
// Per thread: only the thread that armed the failure counts and fails, so a
// test can fail the allocations of one operation while other threads run.
thread_local long g_allocations_before_failure = -1; // negative: never fail
} // namespace

void fail_allocation_after(long count) {
    g_allocations_before_failure = count;
}
void stop_failing_allocations() {
    g_allocations_before_failure = -1;
}
bool allocation_failure_pending() {
    return g_allocations_before_failure >= 0;
}

} // namespace morvex::testing

void* operator new(std::size_t size) {
    long& countdown = morvex::testing::g_allocations_before_failure;
    if (countdown == 0) {
        countdown = -1;
        throw std::bad_alloc();
    }
    if (countdown > 0)
        --countdown;
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
