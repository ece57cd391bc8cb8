// Wide-string helpers of the device access library. Counts are in characters.
#pragma once

#include <cstddef>

#include "ce/types.h"

// The length of a wide string; 0 for a null pointer.
std::size_t WideStringLength(LPCWSTR lpText);

// Copies at most nMaxChars characters of lpSource, stopping at its terminator, into a
// destination that holds nDestChars characters, and terminates the destination. Returns the
// characters copied; nothing is copied without a pointer or room for the terminator.
std::size_t WideStringCopy(LPWSTR lpDest, std::size_t nDestChars, LPCWSTR lpSource,
                           std::size_t nMaxChars);
