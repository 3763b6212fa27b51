#include "protocol/Line.h"

namespace device {
namespace {
std::chrono::milliseconds g_step{kPacingStepMs};
} // namespace

std::chrono::milliseconds PacingStep() {
    return g_step;
}

void SetPacingStep(std::chrono::milliseconds step) {
    g_step = step < std::chrono::milliseconds::zero() ? std::chrono::milliseconds::zero() : step;
}

} // namespace device
