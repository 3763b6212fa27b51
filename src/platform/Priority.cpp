#include "platform/Priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

void RaiseProcessPriority() {
    // Without privileges this fails with EACCES; nothing depends on it.
    (void)::setpriority(PRIO_PROCESS, 0, -5);
}

void RaiseThreadPriority(int steps) {
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    (void)::setpriority(PRIO_PROCESS, tid, -steps);
}

} // namespace platform
