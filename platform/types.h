#pragma once
// Handle and message types the core shares, in the shape the rest of the
// code expects from its Windows origins.

#include <cstdint>

using HANDLE = intptr_t;
// Handles are opaque tokens issued by a port backend; 0 and -1 are never
// issued, so closing either is always a no-op.
constexpr HANDLE INVALID_HANDLE_VALUE = -1;

using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
