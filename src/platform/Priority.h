#pragma once

namespace platform {

// Asks for a higher scheduling priority for the whole process; a refusal is ignored.
void RaiseProcessPriority();

// The same for the calling thread, by a number of steps above normal.
void RaiseThreadPriority(int steps);

} // namespace platform
