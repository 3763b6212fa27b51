#pragma once

#include "serial/Comm32.h"

#include <termios.h>

namespace serial {

// The DCB settings and flag word mapped onto termios; modem lines are set apart.
void ApplyLineSettings(termios& tio, TBaudrate rate, int databits, TParity parity,
                       TStopbits stopbits, uint16_t flags);

// fDtrControl 0 keeps DTR low; fRtsControl 0 keeps RTS low.
void ModemLinesOf(uint16_t flags, bool& rts, bool& dtr);

} // namespace serial
