// Heap requests of a test program, counted: linking anything from here replaces the program's
// global operator new in every form and, outside the sanitizers (which bring their own
// allocator), malloc, calloc and realloc, so that the platform library and drivers loaded with
// dlopen are counted too.
#pragma once

#include <cstddef>

namespace ots::test {

// Every request of the program since it started, any thread.
std::size_t Allocations();

// Requests of the threads that called WatchThisThread (e.g. from an input sink, which runs on
// the thread that injects), counted only while armed.
void WatchThisThread();
void ArmWatch(bool armed);
std::size_t WatchedAllocations();

// The next operator new of exactly `bytes` bytes on the calling thread throws std::bad_alloc.
void FailNextAllocationOf(std::size_t bytes);
bool AllocationFailurePending();

// Whether malloc itself is counted.
bool CountsMalloc();

}  // namespace ots::test
