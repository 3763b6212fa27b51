#pragma once

#include <QObject>
#include <array>
#include <csignal>

class QSocketNotifier;

namespace platform {

// SIGTERM (a desktop logout), SIGINT and SIGHUP as a Qt signal on the thread that
// made this object, so the program ends the way "Beenden" does instead of dying
// mid-write. The handler only writes one byte to a pipe; the previous handlers
// come back when the object goes.
class TEndSignals : public QObject {
    Q_OBJECT
public:
    explicit TEndSignals(QObject* parent = nullptr);
    ~TEndSignals() override;

    // From the first signal on, the process ends by itself after `ms` milliseconds
    // (exit status 128 + the signal's number) if it has not ended by then: nothing
    // it may be stuck in keeps a logout or a kill waiting. Off until called.
    void EndWithin(int ms);

signals:
    void EndRequested(int signalNumber);

private:
    static void Handler(int signalNumber);
    void Drain();

    QSocketNotifier* m_notifier = nullptr;
    std::array<struct sigaction, 3> m_previous{};
};

} // namespace platform
