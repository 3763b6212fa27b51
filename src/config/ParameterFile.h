#pragma once

#include "config/ConfigImage.h"

#include <QDate>
#include <QString>

namespace config {

// Loads the first 588 bytes of the file into the image, keeping the image's own
// charge block (the device's counters). A file that cannot be opened, is no regular
// file (a FIFO is never waited for) or is shorter than 588 bytes gives false and
// leaves the image as it was; *error (when given) is then an errno value,
// platform::kNotRegularFile, or 0 for a short file.
bool LoadParameterFile(const QString& path, ConfigImage& image, int* error = nullptr);

// Writes the 588 bytes through a temporary file beside the target that replaces it
// only when wholly on disk, so a failed save never damages an existing file. False
// on failure, with *error (when given) the reason.
bool SaveParameterFile(const QString& path, const ConfigImage& image, int* error = nullptr);

// "WinVarno_" + yyMMdd + ".VRN"
QString ProposedSaveName(const QDate& date);

} // namespace config
