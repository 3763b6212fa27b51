#include "serial/LineAccess.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace serial {

bool TLineAccess::ReadErrorCounters(int fd, TLineErrorCounters& counters) {
    serial_icounter_struct icount{};
    if (::ioctl(fd, TIOCGICOUNT, &icount) != 0)
        return false;
    counters.frame = uint32_t(icount.frame);
    counters.overrun = uint32_t(icount.overrun);
    counters.parity = uint32_t(icount.parity);
    counters.brk = uint32_t(icount.brk);
    counters.bufOverrun = uint32_t(icount.buf_overrun);
    return true;
}

void TLineAccess::SetModemLines(int fd, bool rts, bool dtr) {
    int rtsBit = TIOCM_RTS;
    int dtrBit = TIOCM_DTR;
    (void)::ioctl(fd, rts ? TIOCMBIS : TIOCMBIC, &rtsBit);
    (void)::ioctl(fd, dtr ? TIOCMBIS : TIOCMBIC, &dtrBit);
}

ssize_t TLineAccess::Read(int fd, char* buffer, size_t size) {
    return ::read(fd, buffer, size);
}

std::shared_ptr<TLineAccess> DefaultLineAccess() {
    static auto access = std::make_shared<TLineAccess>();
    return access;
}

uint32_t LineErrorFlags(const TLineErrorCounters& before, const TLineErrorCounters& after) {
    constexpr uint32_t CE_RXOVER = 1, CE_OVERRUN = 2, CE_RXPARITY = 4, CE_FRAME = 8, CE_BREAK = 16;
    uint32_t flags = 0;
    if (after.bufOverrun != before.bufOverrun)
        flags |= CE_RXOVER;
    if (after.overrun != before.overrun)
        flags |= CE_OVERRUN;
    if (after.parity != before.parity)
        flags |= CE_RXPARITY;
    if (after.frame != before.frame)
        flags |= CE_FRAME;
    if (after.brk != before.brk)
        flags |= CE_BREAK;
    return flags;
}

} // namespace serial
