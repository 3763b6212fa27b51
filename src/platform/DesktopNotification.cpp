#include "platform/DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace platform {

bool Notify(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QString appId = QStringLiteral("de.winvarno.WinVarno");
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), appId);
    // app name, id to replace (none), icon, summary, body, actions, hints, default time-out
    call << QStringLiteral("WinVarno") << uint(0) << appId << summary << body << QStringList()
         << hints << int(-1);
    return bus.send(call);
}

} // namespace platform
