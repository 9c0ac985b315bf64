#include "allocation_counter.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace allocation_counter {

namespace {

std::atomic<bool> counting{false};
std::atomic<std::size_t> newCount{0};
std::atomic<std::size_t> mallocCount{0};
std::atomic<std::size_t> deleteCount{0};
std::atomic<std::size_t> freeCount{0};

}  // namespace

void start() {
    newCount = 0;
    mallocCount = 0;
    deleteCount = 0;
    freeCount = 0;
    counting = true;
}

void stop() {
    counting = false;
}

std::size_t newCalls() {
    return newCount;
}
std::size_t mallocCalls() {
    return mallocCount;
}
std::size_t deleteCalls() {
    return deleteCount;
}
std::size_t freeCalls() {
    return freeCount;
}

void noteNew() {
    if (counting.load(std::memory_order_relaxed)) {
        newCount.fetch_add(1, std::memory_order_relaxed);
    }
}

void noteMalloc() {
    if (counting.load(std::memory_order_relaxed)) {
        mallocCount.fetch_add(1, std::memory_order_relaxed);
    }
}

void noteDelete() {
    if (counting.load(std::memory_order_relaxed)) {
        deleteCount.fetch_add(1, std::memory_order_relaxed);
    }
}

void noteFree() {
    if (counting.load(std::memory_order_relaxed)) {
        freeCount.fetch_add(1, std::memory_order_relaxed);
    }
}

}  // namespace allocation_counter

namespace {

void* allocate(std::size_t size) {
    allocation_counter::noteNew();
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

void* allocateAligned(std::size_t size, std::align_val_t alignment) {
    allocation_counter::noteNew();
    const auto a = static_cast<std::size_t>(alignment);
    // aligned_alloc wants a multiple of the alignment; mingw has no
    // aligned_alloc, so take an over-sized block and keep its start.
    const std::size_t total = size + a + sizeof(void*);
    auto* raw = static_cast<char*>(std::malloc(total));
    if (raw == nullptr) {
        throw std::bad_alloc();
    }
    const auto start = (reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*) + a - 1) & ~(a - 1);
    reinterpret_cast<void**>(start)[-1] = raw;
    return reinterpret_cast<void*>(start);
}

void release(void* p) {
    if (p != nullptr) {
        allocation_counter::noteDelete();
    }
    std::free(p);
}

void releaseAligned(void* p) {
    if (p != nullptr) {
        allocation_counter::noteDelete();
        std::free(static_cast<void**>(p)[-1]);
    }
}

}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t a) {
    return allocateAligned(size, a);
}
void* operator new[](std::size_t size, std::align_val_t a) {
    return allocateAligned(size, a);
}

void operator delete(void* p) noexcept {
    release(p);
}
void operator delete[](void* p) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    release(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    releaseAligned(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    releaseAligned(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    releaseAligned(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    releaseAligned(p);
}
