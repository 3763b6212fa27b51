#pragma once

#include <QByteArray>

namespace platform {

// The Qt platform to choose before the application object exists, from the
// environment's QT_QPA_PLATFORM, WAYLAND_DISPLAY and DISPLAY. In a Wayland session
// with XWayland at hand the program runs as an X11 client, where its window can
// be placed and the tray menu opens at the pointer; should the X server not
// answer, Qt falls back to Wayland itself. Empty: leave the choice to Qt (the
// user's own choice, a plain X11 session, or Wayland alone).
QByteArray PreferredQpaPlatform(const QByteArray& qpaPlatform, const QByteArray& waylandDisplay,
                                const QByteArray& display);

} // namespace platform
