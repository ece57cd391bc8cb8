// Counters of the local heap (LocalAlloc, LocalFree), so that tests can prove that a path
// such as the report path allocates nothing.
#pragma once

#include <cstdint>

namespace ce::host {

// LocalAlloc calls since the process started, failed and refused ones included.
std::uint64_t LocalAllocCount();

// Blocks that LocalAlloc gave out and LocalFree has not yet taken back.
std::int64_t LiveLocalBlockCount();

}  // namespace ce::host
