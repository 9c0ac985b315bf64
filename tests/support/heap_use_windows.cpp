#include <windows.h>
// psapi.h needs the types of windows.h first.
#include <psapi.h>

#include <algorithm>
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

namespace {

// The system's list of every open handle, as NtQuerySystemInformation gives
// it; Wine answers this where its GetProcessHandleCount says 0.
struct SystemHandleEntry {
    ULONG ownerProcessId;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ACCESS_MASK access;
};
struct SystemHandleList {
    ULONG count;
    SystemHandleEntry entries[1];
};
constexpr ULONG kSystemHandleInformation = 16;
using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

std::int64_t handlesInTheSystemList() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto query = ntdll != nullptr
                           ? reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
                                 GetProcAddress(ntdll, "NtQuerySystemInformation")))
                           : nullptr;
    if (query == nullptr) {
        return -1;
    }
    std::vector<unsigned char> buffer(1 << 16);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            const auto* list = reinterpret_cast<const SystemHandleList*>(buffer.data());
            const DWORD self = GetCurrentProcessId();
            std::int64_t count = 0;
            for (ULONG n = 0; n < list->count; ++n) {
                count += list->entries[n].ownerProcessId == self ? 1 : 0;
            }
            return count;
        }
        buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
    }
    return -1;
}

}  // namespace

std::int64_t openHandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) {
        return static_cast<std::int64_t>(count);
    }
    return handlesInTheSystemList();
}

std::int64_t handlesOpenedOnceByTheSystem() {
    return 1;
}

}  // namespace testing_support
