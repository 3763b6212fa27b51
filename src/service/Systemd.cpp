#include "service/Systemd.h"

#include <QTimer>
#include <algorithm>
#include <systemd/sd-daemon.h>

namespace service {

TSystemd::TSystemd(QObject* parent) : QObject(parent) {
    std::uint64_t usec = 0;
    if (::sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return;
    m_watchdogMs = int(std::clamp<std::uint64_t>(usec / 2000, 1, 24 * 3600 * 1000));
    m_watchdog = new QTimer(this);
    m_watchdog->setInterval(m_watchdogMs);
    connect(m_watchdog, &QTimer::timeout, this, [] { ::sd_notify(0, "WATCHDOG=1"); });
    m_watchdog->start();
}

void TSystemd::Bereit() {
    ::sd_notify(0, "READY=1");
}

void TSystemd::Status(const QString& text) {
    // One line: a newline would start another assignment.
    QString zeile = text;
    zeile.replace(u'\n', u' ');
    ::sd_notify(0, ("STATUS=" + zeile.toUtf8()).constData());
}

void TSystemd::Beendet() {
    ::sd_notify(0, "STOPPING=1");
}

} // namespace service
