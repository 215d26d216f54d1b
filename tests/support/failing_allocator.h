// Control of the failing allocator that failing_allocator.cpp puts in place
// of the global one in a test binary: it fails the k-th allocation from now,
// so that a test can walk every k of an operation and check that running out
// of memory loses nothing.
#pragma once

namespace morvex::testing {

// Fails the calling thread's allocation after `count` more of its own
// succeed; other threads' allocations are not counted and never fail.
void fail_allocation_after(long count);
void stop_failing_allocations();
// True while the armed failure has not been reached.
bool allocation_failure_pending();

} // namespace morvex::testing
