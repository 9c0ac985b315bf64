#include "support/CMessageH.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>

#include "platform/platform.h"

namespace {

void copyText(char (&field)[CMessageH::kTextSize], const char* text) {
    std::memset(field, 0, sizeof field);
    std::strncpy(field, text, sizeof field - 1);
}

}  // namespace

void writeField(const char* field, std::size_t size) {
    const void* end = std::memchr(field, '\0', size);
    const std::size_t length =
        end ? static_cast<std::size_t>(static_cast<const char*>(end) - field) : size;
    std::cout.write(field, static_cast<std::streamsize>(length));
}

CMessageH::CMessageH()
    : dateStamp(1),
      timeStamp(1),
      threadStamp(1),
      enabled(1),
      name{},
      infoPrefix{},
      errorPrefix{},
      warningPrefix{},
      debugPrefix{},
      debugThreshold(1),
      debugLevel(0),
      classLevel(0) {
    copyText(name, "MESSAGE");
    copyText(infoPrefix, "INFO");
    copyText(errorPrefix, "ERROR");
    copyText(warningPrefix, "WARNING");
    copyText(debugPrefix, "DEBUG");
}

CMessageH::CMessageH(const char* recordName) : CMessageH() {
    setName(recordName);
}

void CMessageH::setName(const char* newName) {
    // strncpy semantics, except that the last byte always stays NUL so the
    // field is a string even for a name of 100 characters or more.
    std::memset(name, 0, sizeof name);
    if (newName != nullptr) {
        std::strncpy(name, newName, sizeof name - 1);
    }
}

bool CMessageH::isDebugEnabled() const {
    if (debugLevel == 0) {
        return false;
    }
    if (debugLevel == classLevel) {
        return true;
    }
    return debugLevel >= debugThreshold;
}

void CMessageH::printHeader() const {
    char format[16] = {};
    if (dateStamp != 0) {
        std::strcat(format, "%b %d ");
    }
    if (timeStamp != 0) {
        std::strcat(format, "%X ");
    }
    if (dateStamp != 0 || timeStamp != 0) {
        std::tm local{};
        char stamp[100] = {};
        if (platform::localTime(std::time(nullptr), local)) {
            std::strftime(stamp, sizeof stamp, format, &local);
        }
        std::cout << stamp;
    }
    writeField(name, sizeof name);
    if (threadStamp != 0) {
        std::cout << '[' << platform::currentThreadId() << "]: ";
    } else {
        std::cout << ": ";
    }
}

void CMessageH::printLine(const char* prefix, std::size_t prefixSize, const char* text,
                          bool newline) const {
    printHeader();
    writeField(prefix, prefixSize);
    std::cout << ": " << (text != nullptr ? text : "");
    if (newline) {
        std::cout << std::endl;
    }
}

void CMessageH::info(const char* text, bool newline) const {
    if (enabled != 0) {
        printLine(infoPrefix, sizeof infoPrefix, text, newline);
    }
}

void CMessageH::error(const char* text, bool newline) const {
    if (enabled != 0) {
        printLine(errorPrefix, sizeof errorPrefix, text, newline);
    }
}

void CMessageH::warning(const char* text, bool newline) const {
    if (enabled != 0) {
        printLine(warningPrefix, sizeof warningPrefix, text, newline);
    }
}

void CMessageH::debug(const char* text, bool newline) const {
    if (enabled != 0 && isDebugEnabled()) {
        printLine(debugPrefix, sizeof debugPrefix, text, newline);
    }
}

void CMessageH::debugf(const char* format, ...) const {
    if (enabled == 0) {
        return;
    }
    char buffer[kFormatBufferSize] = {};
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    // A cut expansion keeps the line end its format ends with: otherwise the
    // next line (an error about the same long name, say) would be run into
    // this one.
    const std::size_t formatLength = std::strlen(format);
    if (length >= static_cast<int>(sizeof buffer) && formatLength > 0 &&
        format[formatLength - 1] == '\n') {
        buffer[sizeof buffer - 2] = '\n';
    }
    if (!isDebugEnabled()) {
        return;
    }
    printLine(debugPrefix, sizeof debugPrefix, buffer, false);
    std::cout.flush();
}

std::unique_ptr<CMessageH> createOwnLog(const CMessageH* creatorLog, const char* className,
                                        std::int32_t classLevel) {
    auto log = creatorLog != nullptr ? std::make_unique<CMessageH>(*creatorLog)
                                     : std::make_unique<CMessageH>(className);
    log->setClassLevel(classLevel);
    return log;
}
