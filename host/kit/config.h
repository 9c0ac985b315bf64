// A host configuration record of one device, built from text: the device's
// name and its option lines, each split into a keyword and arguments, with
// the line numbers of the text and every used flag cleared. The record lies
// in guarded memory; the kit owns every string it points to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/DeviceConfig.h"
#include "host/kit/guarded_block.h"

namespace hostkit {

class Config {
public:
    explicit Config(const std::string& deviceName);
    Config(Config&&) = default;
    Config& operator=(Config&&) = default;

    // Appends a line; false when the record is full (32 lines) or the line
    // has more arguments than a line can hold (64).
    bool add(std::uint32_t lineNumber, const std::string& keyword,
             const std::vector<std::string>& arguments);

    DeviceConfig* get() { return record(); }
    const DeviceConfig* get() const { return record(); }
    OptionLine& line(std::uint32_t slot) { return record()->lines[slot]; }
    std::uint32_t lineCount() const { return added_; }

    bool used(std::uint32_t slot) const { return record()->lines[slot].used != 0; }
    // The used flags of the lines added, in slot order, e.g. "1101".
    std::string usedFlags() const;

    // Raw field values for fault tests; the kit's strings stay owned here.
    void setLineCount(std::uint32_t raw) { record()->lineCount = raw; }
    void setArgCount(std::uint32_t slot, std::uint32_t raw) {
        record()->lines[slot].argCount = raw;
    }
    void clearKeyword(std::uint32_t slot) { record()->lines[slot].name = nullptr; }
    void clearArgument(std::uint32_t slot, std::uint32_t index) {
        record()->lines[slot].args[index] = nullptr;
    }

    // Empty while the record is fenced intact.
    std::string checkGuards() const { return block_->checkGuards(); }

private:
    DeviceConfig* record() { return block_->as<DeviceConfig>(); }
    const DeviceConfig* record() const { return block_->as<DeviceConfig>(); }
    const char* keep(const std::string& text);

    std::unique_ptr<GuardedBlock> block_;
    std::vector<std::unique_ptr<char[]>> strings_;
    std::uint32_t added_ = 0;
};

// One line of configuration text in words. Words are separated by blanks; a
// word that begins with "[" runs to its "]", blanks inside kept; a word that
// begins with "#" starts a comment, which runs to the end of the line.
struct ConfigLine {
    std::vector<std::string> words;
    std::size_t commentAt = std::string::npos;  // where the comment begins
    bool bracketOpen = false;  // a "[" without its "]": the rest of the line is the last word
};
ConfigLine splitConfigLine(const std::string& text);

}  // namespace hostkit
