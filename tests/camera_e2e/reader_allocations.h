// Counts the heap requests made on chosen threads (the driver's reader thread) while armed.
// Linking reader_allocations.cpp into a test program replaces the program's global
// allocation functions, and, without a sanitizer, malloc, calloc and realloc, so that the
// platform library and the driver loaded with dlopen are counted too.
#pragma once

#include <cstddef>

namespace reader_allocations {

// Counts from now on the requests of the calling thread (call it from the thread to watch,
// e.g. from an input sink, which runs on the thread that injects).
void WatchThisThread();

// Counting runs between Arm and Disarm.
void Arm();
void Disarm();

// Requests counted since the program started.
std::size_t Counted();

// Whether malloc itself is counted (it is not under a sanitizer, which brings its own).
bool CountsMalloc();

}  // namespace reader_allocations
