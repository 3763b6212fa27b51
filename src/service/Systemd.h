#pragma once

#include <QObject>
#include <QString>

class QTimer;

namespace service {

// The service manager's notifications (sd_notify): ready, status and the watchdog
// at half its period. Without a manager (no NOTIFY_SOCKET) each is nothing.
//
// Threading: the thread that made it; the watchdog beats from its event loop, so a
// stuck loop is what the manager sees. A notification waits while the manager's
// socket is full (systemd empties it at once; a test's socket must be read too).
class TSystemd : public QObject {
public:
    explicit TSystemd(QObject* parent = nullptr);

    void Bereit();
    void Status(const QString& text);
    void Beendet();
    // The watchdog's beat in milliseconds; 0 when the manager wants none.
    int WatchdogMs() const { return m_watchdogMs; }

private:
    QTimer* m_watchdog = nullptr;
    int m_watchdogMs = 0;
};

} // namespace service
