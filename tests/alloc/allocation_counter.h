// Counts the heap allocations made while counting is switched on: every
// form of operator new (allocation_counter.cpp replaces them for the whole
// test binary) and, where the C runtime lets itself be interposed, malloc,
// calloc and realloc as well (alloc_hooks/, chosen per platform).
#pragma once

#include <cstddef>

namespace allocation_counter {

void start();
void stop();

std::size_t newCalls();
// False when this platform's C runtime cannot be counted.
bool countsMalloc();
std::size_t mallocCalls();

// Used by the replacements; counts only between start() and stop().
void noteNew();
void noteMalloc();

}  // namespace allocation_counter
