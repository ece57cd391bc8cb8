// Allocation failures on demand: this test program replaces the global operator new so that
// a test can make one chosen allocation throw std::bad_alloc.
#pragma once

#include <cstddef>

namespace paneltest {

// The next allocation of exactly `bytes` bytes made on the calling thread throws.
void FailNextAllocationOf(std::size_t bytes);

// Whether that allocation is still to come.
bool AllocationFailurePending();

}  // namespace paneltest
