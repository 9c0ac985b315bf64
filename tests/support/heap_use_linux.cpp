#include <malloc.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/heap_use.h"

namespace testing_support {

std::int64_t heapBytesInUse() {
    const struct mallinfo2 info = mallinfo2();
    // Small blocks from the arenas plus the large ones mapped on their own.
    return static_cast<std::int64_t>(info.uordblks + info.hblkhd);
}

std::int64_t processMemoryBytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            std::int64_t kilobytes = -1;
            status >> kilobytes;
            return kilobytes * 1024;
        }
        status.ignore(1 << 16, '\n');
    }
    return -1;
}

std::int64_t openHandleCount() {
    std::error_code error;
    std::int64_t count = 0;
    for (std::filesystem::directory_iterator entry("/proc/self/fd", error), end;
         !error && entry != end; entry.increment(error)) {
        ++count;
    }
    return error ? -1 : count;
}

std::int64_t handlesOpenedOnceByTheSystem() {
    return 0;
}

}  // namespace testing_support
