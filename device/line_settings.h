// The line settings the Pallador needs, on top of what the port had.
#pragma once

#include "platform/port_attributes.h"

// The device's own fields, and the byte handling a binary line needs: a
// port left by another program with abort-on-error, null stripping, XON/XOFF,
// DSR flow or DSR sensitivity, or an error character would fail, drop or
// change the device's bytes, or hold its requests back for good.
void applyLineSettings(platform::PortAttributes& attributes);
