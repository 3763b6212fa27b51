#pragma once

#include <QString>

namespace platform {

// Copies a file byte for byte; the target is replaced atomically, so it is
// either the old copy or the new one, never half of each.
bool CopyFileBytes(const QString& from, const QString& to);

} // namespace platform
