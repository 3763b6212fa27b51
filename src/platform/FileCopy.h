#pragma once

#include <QString>
#include <functional>

namespace platform {

// Copies a file byte for byte; the target is replaced atomically, so it is
// either the old copy or the new one, never half of each.
// `between` runs after each megabyte, so a caller can keep its window alive.
bool CopyFileBytes(const QString& from, const QString& to,
                   const std::function<void()>& between = {});

} // namespace platform
