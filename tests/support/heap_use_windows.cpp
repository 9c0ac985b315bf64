#include <windows.h>
// psapi.h needs the types of windows.h first.
#include <psapi.h>

#include <vector>

#include "tests/support/heap_use.h"

namespace testing_support {

std::int64_t heapBytesInUse() {
    // The C runtime may keep its own heap beside the process heap: walk all.
    std::vector<HANDLE> heaps(64);
    DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    if (count == 0) {
        return -1;
    }
    if (count > heaps.size()) {
        heaps.resize(count);
        count = GetProcessHeaps(count, heaps.data());
    }
    std::int64_t total = 0;
    for (DWORD i = 0; i < count && i < heaps.size(); ++i) {
        if (!HeapLock(heaps[i])) {
            continue;
        }
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
                total += entry.cbData;
            }
        }
        HeapUnlock(heaps[i]);
    }
    return total;
}

std::int64_t processMemoryBytes() {
    // The working set: Wine leaves the private-bytes figure at zero.
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        return -1;
    }
    return static_cast<std::int64_t>(counters.WorkingSetSize);
}

std::int64_t openHandleCount() {
    DWORD count = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &count) ? static_cast<std::int64_t>(count)
                                                              : -1;
}

}  // namespace testing_support
