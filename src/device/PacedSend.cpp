#include "device/PacedSend.h"

#include "protocol/FrameCodec.h"

#include <QCoreApplication>
#include <QThread>

namespace device {
namespace {

constexpr int StepMs = 50;
constexpr int LineByteGapMs = 50;
std::chrono::milliseconds g_step{StepMs};

} // namespace

int PacedWaitSteps(int milliseconds) {
    if (milliseconds <= 0)
        return 0;
    // 64-bit so that a huge t cannot overflow the rounding.
    return int((qint64(milliseconds) + StepMs - 1) / StepMs);
}

void PacedWait(int milliseconds) {
    (void)PacedWait(milliseconds, {});
}

bool PacedWait(int milliseconds, const std::function<bool()>& stop) {
    const int steps = PacedWaitSteps(milliseconds);
    for (int i = 0; i < steps; ++i) {
        if (g_step.count() > 0)
            QThread::msleep(static_cast<unsigned long>(g_step.count()));
        QCoreApplication::processEvents();
        if (stop && stop())
            return false;
    }
    return true;
}

std::chrono::milliseconds PacingStep() {
    return g_step;
}

void SetPacingStep(std::chrono::milliseconds step) {
    g_step = step < std::chrono::milliseconds::zero() ? std::chrono::milliseconds::zero() : step;
}

void SendFramed(QByteArrayView message, const LineByteSender& send) {
    (void)SendFramed(message, send, {});
}

bool SendFramed(QByteArrayView message, const LineByteSender& send,
                const std::function<bool()>& stop) {
    const QByteArray line = FrameLineBytes(message);
    for (const char byte : line) {
        if (!PacedWait(LineByteGapMs, stop))
            return false;
        if (send)
            send(byte);
    }
    return true;
}

} // namespace device
