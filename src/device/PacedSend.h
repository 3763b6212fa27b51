#pragma once

#include "protocol/Line.h"

#include <QByteArrayView>
#include <chrono>
#include <functional>

namespace device {

// Number of steps PacedWait takes for t milliseconds: floor((t + 49) / 50), none for t <= 0.
int PacedWaitSteps(int milliseconds);

// Waits PacedWaitSteps(t) pacing steps in the event loop, handling every event as it
// comes (timers, received data, clicks, accessibility queries), so the window answers
// within milliseconds all through a write. Whoever calls it has marked its own state
// busy before: any handler can run inside.
void PacedWait(int milliseconds);
// The same, ending early once `stop` answers true (checked after every batch of events);
// false when it ended early.
bool PacedWait(int milliseconds, const std::function<bool()>& stop);

// Hands one line byte to the serial side; its answer is not looked at.
using LineByteSender = std::function<void(char)>;

// Sends the message as frame groups, each line byte by itself after PacedWait(50).
void SendFramed(QByteArrayView message, const LineByteSender& send);
// The same, sending no further byte once `stop` answers true; false then.
bool SendFramed(QByteArrayView message, const LineByteSender& send,
                const std::function<bool()>& stop);

} // namespace device
