#pragma once

#include <QString>

namespace platform {

// The single-instance guard: a lock file named after the application title,
// held with flock for the life of this object. The kernel drops the lock when
// the process dies, so a crashed instance never blocks the next start.
class SingleInstance {
public:
    explicit SingleInstance(const QString& title);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another process (or another guard in this one) holds the lock.
    bool alreadyRunning() const { return m_alreadyRunning; }

    // "$XDG_RUNTIME_DIR" (else the temporary directory) + the title made file-safe.
    static QString LockPath(const QString& title);

private:
    int m_fd = -1;
    bool m_alreadyRunning = false;
};

} // namespace platform
