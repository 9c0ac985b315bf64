// The fuzz build's platform seam, as the fuzz targets steer it. In that build
// the serial line, the clock and the dynamic loader are replaced by
// fuzz_platform.cpp: the line delivers the bytes given here, the clock is
// virtual (a sleep or a read time-out advances it at once, never waits), and
// no library is ever loaded.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzzline {

// An empty, silent line with nothing queued; the virtual clock restarts.
void reset();

// Bytes on the line now, after whatever is still unread.
void put(const std::uint8_t* bytes, std::size_t size);

// The device's answer to a later request: each byte the driver writes puts
// the oldest queued answer on the line (a device that is asked once per
// frame). Between answers the line falls silent once they are read.
void queueAnswer(const std::uint8_t* bytes, std::size_t size);

// The adapter pulled out where the next answer would come: the driver's
// write that asks for it fails, and so does every transfer after it. The
// port opens again after `refusedOpens` attempts that find it absent, as
// a new line with nothing on it.
void queueOutage(int refusedOpens);

// Bytes unread on the line or still queued, an outage counting as one.
std::size_t pending();

// Whether the line is out now, and the shortest time between two attempts
// to open it while it was (-1: fewer than two attempts so far).
bool lineDown();
std::int64_t shortestReopenGap();

// Called at every read that finds the line silent (null: nothing).
using SilenceHook = void (*)(void* context);
void onSilence(SilenceHook hook, void* context);

// Lines and libraries opened and not yet closed: 0 once a device is gone.
int openLines();
int openLibraries();

}  // namespace fuzzline
