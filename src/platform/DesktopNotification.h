#pragma once

#include <QString>

namespace platform {

// A desktop notification through org.freedesktop.Notifications on the session bus.
// The call is sent without waiting for the server, so a missing or slow server
// never holds up the caller; false only when there is no session bus at all.
bool Notify(const QString& summary, const QString& body);

} // namespace platform
