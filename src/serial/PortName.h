#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace serial {

// Answers the value of a key of the "Schnittstellen" settings section, if any.
using TPortLookup = std::function<std::optional<QString>(const QString& key)>;

// "COM1".."COM4" (any letter case) map to the "Schnittstellen" entry of that name,
// else to /dev/ttyS0../dev/ttyS3. Any other name is taken as a device path.
QString ResolveCommPort(const QString& port, const TPortLookup& lookup);

// Looks the key up in the user's WinVarno.INI.
std::optional<QString> SettingsPortLookup(const QString& key);

} // namespace serial
