// The one place where Windows and Linux differ. Everything above this layer
// is written once; each operation here has one backend file per platform
// (platform/windows/*.cpp, platform/linux/*.cpp).
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "platform/port_attributes.h"

namespace platform {

// ---- clock -------------------------------------------------------------

// The 12-byte reading of a 32-bit _ftime, filled field by field so that the
// record never depends on the width of the platform's time_t.
struct ClockReading {
    std::int32_t seconds;  // since 1970-01-01 00:00 UTC
    std::uint16_t milliseconds;
    std::int16_t minutesWest;  // of UTC
    std::int16_t daylight;     // daylight-saving flag
    std::uint16_t unused;
};
static_assert(sizeof(ClockReading) == 12, "clock reading is 12 bytes");

ClockReading readClock();

// Seconds since the epoch with millisecond resolution, from readClock().
double currentTime();

// Monotonic clock for deadlines; never goes back.
std::int64_t monotonicMicroseconds();

// The local calendar time of `when` in the caller's own record (localtime_r,
// localtime_s): devices on several host threads stamp their lines at once,
// and the C runtime's shared record would mix their stamps. False when the
// system cannot convert it.
bool localTime(std::time_t when, std::tm& local);

// ---- threads and time ----------------------------------------------------

std::uint32_t currentThreadId();
void sleepMilliseconds(std::uint32_t milliseconds);

// ---- byte order -------------------------------------------------------------

std::uint32_t hostToNet(std::uint32_t value);
std::uint32_t netToHost(std::uint32_t value);

// ---- error text -----------------------------------------------------------

// The system's text for the calling thread's last error (FormatMessageA of
// GetLastError on Windows, strerror(errno) on Linux). Empty when the system
// has no text. Call it right after the failing operation.
std::string lastErrorText();
// Whether the last error says the port is held by another program (an
// exclusive open refused), rather than absent or broken.
bool lastErrorMeansHeldElsewhere();

// ---- serial line ------------------------------------------------------------

// One open serial line, synchronous, exclusive. A closed line holds no system
// handle at all, so nothing is ever read from or written to a stale one.
class SerialLine {
public:
    SerialLine();
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Opens the named port (COM name on Windows, device path on Linux).
    bool open(const char* name);
    // Closes the line; false (with lastErrorText) when the system refused.
    bool close();
    bool isOpen() const;

    // The line settings and the time-outs, each half on its own so that a
    // caller can report which half the system refused. A closed line
    // refuses all four. Setting the time-outs leaves the line settings alone
    // (on Linux it is no system call at all), and the next read keeps them.
    bool getLineSettings(Dcb& dcb);
    bool getTimeouts(CommTimeouts& timeouts);
    bool setLineSettings(const Dcb& dcb);
    bool setTimeouts(const CommTimeouts& timeouts);

    // Each returns false on a system failure; `transferred` holds the count
    // moved before the failure or time-out. A hung-up line is a failure.
    // read() waits as the line's time-outs say; readFor() waits at most
    // `milliseconds` in all (0: takes only what is there), whatever the
    // time-outs are, and leaves them as they were for the next read().
    // Both return as soon as `count` bytes are in, and wait for them
    // without a wake-up per byte where the system allows it.
    bool read(void* buffer, std::uint32_t count, std::uint32_t& transferred);
    bool readFor(void* buffer, std::uint32_t count, std::uint32_t milliseconds,
                 std::uint32_t& transferred);
    bool write(const void* bytes, std::uint32_t count, std::uint32_t& transferred);

    // Whether the UART reported a framing error, an overrun, a parity error
    // or a break since the last call (or the open). False where the line
    // keeps no such count (a pseudo-terminal).
    bool receiveErrorsSince();

private:
    // What an open line holds, each platform's own (the system handle, and
    // whatever that platform keeps beside it); none while the line is closed.
    struct State;
    std::unique_ptr<State> state_;
};

// ---- host mutex ----------------------------------------------------------------

// The host's storage mutex as an opaque handle: a Win32 mutex on Windows, an
// error-checking pthread mutex on Linux (a non-owner's unlock fails).
using MutexHandle = void*;

MutexHandle createMutex();
void destroyMutex(MutexHandle mutex);
// What a wait without time-out came to. After an abandoned wait (its holder
// ended without releasing it) the caller owns the mutex all the same; after
// a failed one it does not, and must neither touch what the mutex guards nor
// release it. Both set the system's last error for the report.
enum class LockResult { acquired, abandoned, failed };
LockResult lockMutex(MutexHandle mutex);
bool unlockMutex(MutexHandle mutex);

// ---- dynamic libraries ---------------------------------------------------------

using LibraryHandle = void*;

// The name is passed to the system as given. Null when it cannot be loaded.
LibraryHandle loadLibrary(const char* name);
void freeLibrary(LibraryHandle library);
void* findSymbol(LibraryHandle library, const char* name);

}  // namespace platform
