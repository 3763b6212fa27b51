#pragma once

#include <cstdint>
#include <memory>
#include <sys/types.h>

namespace serial {

// Cumulative error counters of the line driver.
struct TLineErrorCounters {
    uint32_t frame = 0;
    uint32_t overrun = 0;
    uint32_t parity = 0;
    uint32_t brk = 0;
    uint32_t bufOverrun = 0;
};

// The calls a pseudo-terminal cannot exercise (error counters, modem lines), kept
// behind one seam so tests can stand in for a real UART; and the reader's read, so
// a test can see when bytes have left the driver's queue.
class TLineAccess {
public:
    virtual ~TLineAccess() = default;
    // False when the device keeps no counters.
    virtual bool ReadErrorCounters(int fd, TLineErrorCounters& counters);
    // Failures are ignored: a pseudo-terminal has no modem lines.
    virtual void SetModemLines(int fd, bool rts, bool dtr);
    // read(2), called by the reader thread.
    virtual ssize_t Read(int fd, char* buffer, size_t size);
};

std::shared_ptr<TLineAccess> DefaultLineAccess();

// Win32's ClearCommError flags for the counters that grew from `before` to `after`.
uint32_t LineErrorFlags(const TLineErrorCounters& before, const TLineErrorCounters& after);

} // namespace serial
