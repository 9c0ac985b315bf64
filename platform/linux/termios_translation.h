// The settings record of a serial line (platform/port_attributes.h) and a
// terminal's termios, translated both ways without touching a terminal.
//
// A line on Linux carries exactly what this driver's device uses: binary
// transfer, 8 data bits, no, odd or even parity, one or two stop bits, output
// that waits for CTS only when asked, reads with a total time-out per call
// and writes without one. A record that asks for a Win32 mode beyond that is
// refused, never emulated. The record read from a terminal always lies
// within what the writing side accepts, so whatever a line had when it was
// opened can be put back.
#pragma once

#include <termios.h>

#include <cerrno>
#include <cstdint>

#include "platform/port_attributes.h"

namespace platform::termios_translation {

// The errno of a refusal: a value that the Win32 interface refuses as well,
// and a Win32 mode that a line on Linux does not offer.
constexpr int kInvalidValue = EINVAL;
constexpr int kModeNotOffered = ENOTSUP;

// The record's line settings written into `settings` (speed, character
// size, parity, stop bits, handshake, binary transfer) of a terminal that
// was found with `found`. 0 on success; the errno of the refusal otherwise,
// with `settings` untouched. A rate without a speed code is refused, except
// the one the line was found at (a found speed the record has no rate for,
// B0 or a rate set beside the codes, reads as 0): that keeps the found speed,
// so that the record read at open can always be put back.
int writeLineSettings(const Dcb& dcb, termios& settings, const termios& found);

// The line processing that binary transfer switches off (input and output
// processing, line editing, echo, signals, XON/XOFF), switched off in
// `settings`; the framing and the speed stay as they are.
void makeBinary(termios& settings);

// The record as `settings` show it. The fields that the terminal has no
// place for (the RTS and DTR controls, the XON/XOFF limits and characters,
// the reserved words) come from `kept`, the record as last written. A
// terminal found in a mode the record does not carry reads as the nearest
// one it does: 5 to 7 data bits as 8, mark or space parity as odd or even.
Dcb readLineSettings(const termios& settings, const Dcb& kept);

// The record a line has when it is opened: what `found` shows, with the RTS
// and DTR lines as a Linux terminal raises them at open.
Dcb foundLineSettings(const termios& found);

// The modem lines (TIOCM_RTS, TIOCM_DTR) that must be down once the port
// lets go of a terminal found with `found`: those it drops at its last
// close (HUPCL), or never raised (found at B0); 0 when they stay as they are.
int modemLinesDownAfterClose(const termios& found);

// 0 when a line can keep these time-outs; the errno of the refusal
// otherwise. An interval time-out and a write time-out are refused.
int checkTimeouts(const CommTimeouts& timeouts);

// How long a read of `count` bytes may wait for them, in microseconds
// (multiplier per byte plus constant); 0: no limit.
std::int64_t readWaitMicroseconds(const CommTimeouts& timeouts, std::uint32_t count);

// True when the record asks for RTS handshaking, which on a line without
// an input-only handshake means RTS and DTR raised while the port is open.
bool raisesModemLines(const Dcb& dcb);

// The terminal's speed code for a rate, and back; false and 0 where the
// terminal has none.
bool speedCodeOf(std::uint32_t baud, speed_t& code);
std::uint32_t baudOf(speed_t code);

}  // namespace platform::termios_translation
