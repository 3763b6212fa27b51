#include "device/PacedSend.h"

#include "protocol/FrameCodec.h"
#include "protocol/Line.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <limits>

namespace device {
namespace {

constexpr int StepMs = kPacingStepMs;
constexpr int LineByteGapMs = 50;

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
    if (steps == 0)
        return true;
    const QDeadlineTimer deadline(std::chrono::milliseconds(qint64(steps) * PacingStep().count()),
                                  Qt::PreciseTimer);
    // What is pending already runs at once, with zero-length steps as well.
    QCoreApplication::processEvents();
    if (stop && stop())
        return false;
    // Then every event as it comes, until the deadline: sleeping in steps would keep a
    // query of the accessibility bridge or a redraw waiting up to a step each round.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    while (!deadline.hasExpired()) {
        // Re-armed should it ever fire a hair early: the wait below needs a wake-up.
        if (!wake.isActive()) {
            const qint64 left = (deadline.remainingTimeNSecs() + 999999) / 1000000;
            wake.start(int(std::clamp<qint64>(left, 1, std::numeric_limits<int>::max())));
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (stop && stop())
            return false;
    }
    return true;
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
