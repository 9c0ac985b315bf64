#include "device/line_settings.h"

void applyLineSettings(platform::PortAttributes& attributes) {
    platform::Dcb& dcb = attributes.dcb;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fRtsControl = platform::kRtsControlHandshake;
    dcb.ByteSize = 8;
    dcb.StopBits = platform::kOneStopBit;
    // Every framing or overrun error would fail each read until cleared.
    dcb.fAbortOnError = 0;
    // A valuator at 512 has six 00 bytes a frame.
    dcb.fNull = 0;
    // 0x11 and 0x13 are readings like any other.
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDsrSensitivity = 0;
    dcb.fErrorChar = 0;
    attributes.timeouts.ReadIntervalTimeout = 0;
    attributes.timeouts.ReadTotalTimeoutMultiplier = 0;
    attributes.timeouts.ReadTotalTimeoutConstant = 1000;
    attributes.timeouts.WriteTotalTimeoutMultiplier = 0;
    attributes.timeouts.WriteTotalTimeoutConstant = 0;
}
