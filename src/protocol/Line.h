#pragma once

#include <QByteArrayView>
#include <QString>
#include <chrono>

// The serial line as the transfer sequences see it. The serial component is one;
// tests put a fake in its place.
namespace device {

// What arrives from the line, on the owner's thread.
class TLineListener {
public:
    // One completed read: everything up to a pause in the byte stream.
    virtual void LineData(QByteArrayView block) = 0;
    // A line-error report of the driver (frame, overrun, parity): no answer.
    virtual void LineError(const QString& report) = 0;
    // The line hung up or the device vanished; nothing more will arrive.
    virtual void LineLost() = 0;

protected:
    ~TLineListener() = default;
};

// Shortest gap between two paced line bytes where they leave, for the pacing step
// of 50 ms at which the program hands them over (scaled with a shorter step).
inline constexpr int kPacingStepMs = 50;
inline constexpr int kMinPacedGapMs = 45;

// Length of one pacing step: kPacingStepMs in the program. Tests shorten it; the
// serial writer scales its gap with it.
std::chrono::milliseconds PacingStep();
void SetPacingStep(std::chrono::milliseconds step);

class TLine {
public:
    virtual ~TLine() = default;
    // Opens the port of that name ("COM1" ... "COM4"); throws std::runtime_error
    // (the serial component's ECommsError) with the reason when it cannot.
    virtual void Open(const QString& portName) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Hands the bytes over for sending and returns at once; false when they could
    // not be handed over (no port open, or the line is gone).
    virtual bool Send(QByteArrayView bytes) = 0;
    // One line byte of a write. The sender keeps it at least kMinPacedGapMs after
    // the one before, however late it was handed over.
    virtual bool SendPaced(char byte) { return Send(QByteArrayView(&byte, 1)); }
    // Drops every byte received and not yet delivered: what comes after is fresh.
    virtual void FlushInput() {}
    // A line for the comms log, when it is kept.
    virtual void Log(const QString& text) { (void)text; }
    virtual void SetListener(TLineListener* listener) = 0;
};

} // namespace device
