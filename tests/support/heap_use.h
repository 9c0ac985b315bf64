// What the process holds on its heaps right now, for tests that watch for
// leaks across many cycles.
#pragma once

#include <cstdint>

namespace testing_support {

// Bytes in blocks the C runtime has handed out and not had back (the
// plug-in's and the test's alike); -1 when the system cannot tell.
std::int64_t heapBytesInUse();

// Resident bytes (the working set on Windows) of the whole process.
std::int64_t processMemoryBytes();

// Descriptors (handles on Windows) the process holds open; -1 when the
// system cannot tell.
std::int64_t openHandleCount();

// Handles the system opens for itself at a line's first failure and keeps:
// none natively; one under Wine (20 before the first outage, 21 after it
// and after each of twenty more).
std::int64_t handlesOpenedOnceByTheSystem();

}  // namespace testing_support
