// The message log record shared with the host: every object of the plug-in
// owns one (a byte copy of its creator's) and writes its lines through it
// onto standard output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class CMessageH {
public:
    static constexpr std::size_t kTextSize = 100;
    static constexpr std::size_t kFormatBufferSize = 256;

    // Default record: all stamps on, enabled, named "MESSAGE", no DEBUG lines.
    CMessageH();
    // The default record under another name.
    explicit CMessageH(const char* recordName);

    void setName(const char* newName);
    void setDebugThreshold(std::int32_t level) { debugThreshold = level; }
    void setClassLevel(std::int32_t level) { classLevel = level; }

    bool isDebugEnabled() const;
    void printHeader() const;

    void info(const char* text, bool newline) const;
    void error(const char* text, bool newline) const;
    void warning(const char* text, bool newline) const;
    void debug(const char* text, bool newline) const;
    // Formatted DEBUG line; the format supplies its own end of line. The
    // expansion is cut at 255 characters rather than overrunning the buffer,
    // keeping the format's end of line.
    void debugf(const char* format, ...) const
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    // The fields are the host's layout, byte for byte.
    std::uint8_t dateStamp;
    std::uint8_t timeStamp;
    std::uint8_t threadStamp;
    std::uint8_t enabled;
    char name[kTextSize];
    char infoPrefix[kTextSize];
    char errorPrefix[kTextSize];
    char warningPrefix[kTextSize];
    char debugPrefix[kTextSize];
    std::int32_t debugThreshold;
    std::int32_t debugLevel;
    std::int32_t classLevel;

private:
    void printLine(const char* prefix, std::size_t prefixSize, const char* text,
                   bool newline) const;
};

static_assert(sizeof(CMessageH) == 516, "CMessageH is 516 bytes");
static_assert(offsetof(CMessageH, dateStamp) == 0, "dateStamp offset");
static_assert(offsetof(CMessageH, timeStamp) == 1, "timeStamp offset");
static_assert(offsetof(CMessageH, threadStamp) == 2, "threadStamp offset");
static_assert(offsetof(CMessageH, enabled) == 3, "enabled offset");
static_assert(offsetof(CMessageH, name) == 4, "name offset");
static_assert(offsetof(CMessageH, infoPrefix) == 104, "INFO prefix offset");
static_assert(offsetof(CMessageH, errorPrefix) == 204, "ERROR prefix offset");
static_assert(offsetof(CMessageH, warningPrefix) == 304, "WARNING prefix offset");
static_assert(offsetof(CMessageH, debugPrefix) == 404, "DEBUG prefix offset");
static_assert(offsetof(CMessageH, debugThreshold) == 504, "debugThreshold offset");
static_assert(offsetof(CMessageH, debugLevel) == 508, "debugLevel offset");
static_assert(offsetof(CMessageH, classLevel) == 512, "classLevel offset");

// The ownership convention every logging class follows: a private copy of
// the creator's record, or a default record under the class's own name,
// with the class's own level.
std::unique_ptr<CMessageH> createOwnLog(const CMessageH* creatorLog, const char* className,
                                        std::int32_t classLevel);

// Writes a fixed-size text field up to its first NUL, never past the field:
// a record from the host need not carry a NUL at all.
void writeField(const char* field, std::size_t size);
