#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <streambuf>

#include "host/kit/storage.h"

namespace fuzzsupport {

namespace {

class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

}  // namespace

void quietOutput() {
    if (std::getenv("PALLADOR_FUZZ_OUTPUT") != nullptr) {
        return;
    }
    static NullBuffer nowhere;
    std::cout.rdbuf(&nowhere);
}

void resetOutputState() {
    std::cout.clear();
    std::cout.flags(std::ios_base::dec | std::ios_base::skipws);
    std::cout.precision(6);
    std::cout.width(0);
    std::cout.fill(' ');
}

CMessageH hostLog(bool debug) {
    CMessageH log;
    log.setName("fuzz");
    hostkit::clearStamps(log);
    if (debug) {
        log.debugLevel = 5;
    }
    return log;
}

void finding(const std::string& what) {
    std::fprintf(stderr, "pallador fuzz finding: %s\n", what.c_str());
    std::abort();
}

void expectIntact(const std::string& description) {
    if (!description.empty()) {
        finding(description);
    }
}

}  // namespace fuzzsupport
