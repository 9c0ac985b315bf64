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
// Non-null blocks handed back to operator delete, and (where malloc is
// counted) to free or to realloc; a realloc counts once each way.
std::size_t deleteCalls();
// False when this platform's C runtime cannot be counted.
bool countsMalloc();
std::size_t mallocCalls();
std::size_t freeCalls();

// Used by the replacements; counts only between start() and stop().
void noteNew();
void noteMalloc();
void noteDelete();
void noteFree();

}  // namespace allocation_counter
