#include "serial/LineSettings.h"

#include <iterator>

namespace serial {

static speed_t SpeedOf(TBaudrate rate) {
    static const speed_t table[] = {B19200, B9600, B4800, B2400, B1200, B600, B300};
    const auto index = size_t(rate);
    return index < std::size(table) ? table[index] : B9600;
}

// The DCB flag word mapped onto termios; modem lines are set separately.
void ApplyLineSettings(termios& tio, TBaudrate rate, int databits, TParity parity,
                       TStopbits stopbits, uint16_t flags) {
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, SpeedOf(rate));
    ::cfsetospeed(&tio, SpeedOf(rate));
    tio.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    switch (databits) {
    case 5:
        tio.c_cflag |= CS5;
        break;
    case 6:
        tio.c_cflag |= CS6;
        break;
    case 7:
        tio.c_cflag |= CS7;
        break;
    default:
        tio.c_cflag |= databits < 5 ? CS5 : CS8;
        break;
    }
    switch (parity) {
    case TParity::none:
        break;
    case TParity::odd:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case TParity::even:
        tio.c_cflag |= PARENB;
        break;
    case TParity::mark:
        tio.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case TParity::space:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    }
    if (stopbits != TStopbits::Stopbit1)
        tio.c_cflag |= CSTOPB;

    tio.c_iflag &= ~tcflag_t(INPCK | IXON | IXOFF | IXANY);
    if (flags & 0x0002)
        tio.c_iflag |= INPCK; // fParity
    if (flags & 0x0004)
        tio.c_cflag |= CRTSCTS; // fOutxCtsFlow
    if (flags & 0x0100)
        tio.c_iflag |= IXON; // fOutX
    if (flags & 0x0200)
        tio.c_iflag |= IXOFF; // fInX
    if (((flags >> 12) & 3) == 2)
        tio.c_cflag |= CRTSCTS; // RTS handshake
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

// fDtrControl 0 keeps DTR low; fRtsControl 0 keeps RTS low.
void ModemLinesOf(uint16_t flags, bool& rts, bool& dtr) {
    dtr = ((flags >> 4) & 3) != 0;
    rts = ((flags >> 12) & 3) != 0;
}

} // namespace serial
