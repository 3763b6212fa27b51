#pragma once

#include <QString>
#include <functional>

namespace platform {

// Copies a regular file byte for byte; the target is replaced only when the copy
// is wholly on disk, so it is either the old copy or the new one, never a shorter
// one. `between` runs after each megabyte, so a caller can keep its window alive.
// False on failure, with *error (when given) an errno value or kNotRegularFile.
bool CopyFileBytes(const QString& from, const QString& to,
                   const std::function<void()>& between = {}, int* error = nullptr);

} // namespace platform
