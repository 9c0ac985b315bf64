// glibc lets a program replace malloc and its kin for every library in the
// process; the replacements count and hand over to glibc's own allocator.
#include <cstddef>

#include "tests/alloc/allocation_counter.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void __libc_free(void* p);

void* malloc(std::size_t size) {
    allocation_counter::noteMalloc();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
    allocation_counter::noteMalloc();
    return __libc_calloc(count, size);
}

void* realloc(void* p, std::size_t size) {
    void* moved = __libc_realloc(p, size);
    if (moved != nullptr) {
        allocation_counter::noteMalloc();
    }
    // The old block is gone unless the call failed (size 0 frees it).
    if (p != nullptr && (moved != nullptr || size == 0)) {
        allocation_counter::noteFree();
    }
    return moved;
}

void free(void* p) {
    if (p != nullptr) {
        allocation_counter::noteFree();
    }
    __libc_free(p);
}
}

namespace allocation_counter {

bool countsMalloc() {
    return true;
}

}  // namespace allocation_counter
