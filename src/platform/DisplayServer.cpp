#include "platform/DisplayServer.h"

namespace platform {

QByteArray PreferredQpaPlatform(const QByteArray& qpaPlatform, const QByteArray& waylandDisplay,
                                const QByteArray& display) {
    if (!qpaPlatform.isEmpty() || waylandDisplay.isEmpty() || display.isEmpty())
        return {};
    return QByteArrayLiteral("xcb;wayland");
}

} // namespace platform
