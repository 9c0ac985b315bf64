// A block of host memory handed to the plug-in, fenced by guard bytes on
// both sides, so a test can tell afterwards whether anything was written
// outside the block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace hostkit {

class GuardedBlock {
public:
    static constexpr std::size_t kGuardSize = 64;
    static constexpr std::uint8_t kPattern = 0xA5;

    // `size` bytes, zeroed, aligned for any type.
    GuardedBlock(std::string label, std::size_t size);

    void* data() { return bytes() + kGuardSize; }
    const void* data() const { return bytes() + kGuardSize; }
    std::size_t size() const { return size_; }
    template <typename T>
    T* as() {
        return static_cast<T*>(data());
    }
    template <typename T>
    const T* as() const {
        return static_cast<const T*>(data());
    }

    // Empty while both guards are intact; otherwise one phrase per damaged
    // guard naming the block, the side, how many bytes changed and the
    // first of them.
    std::string checkGuards() const;

private:
    std::uint8_t* bytes() { return reinterpret_cast<std::uint8_t*>(memory_.get()); }
    const std::uint8_t* bytes() const {
        return reinterpret_cast<const std::uint8_t*>(memory_.get());
    }
    std::string checkGuard(const char* side, const std::uint8_t* guard) const;

    std::string label_;
    std::size_t size_;
    std::unique_ptr<std::max_align_t[]> memory_;
};

// Joins non-empty descriptions with "; ".
void appendDescription(std::string& into, const std::string& description);

}  // namespace hostkit
