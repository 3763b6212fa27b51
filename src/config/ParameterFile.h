#pragma once

#include "config/ConfigImage.h"

#include <QDate>
#include <QString>

namespace config {

// Loads the first 588 bytes of the file into the image, keeping the image's own
// charge block (the device's counters). A file that cannot be opened or is shorter
// than 588 bytes gives false and leaves the image as it was.
bool LoadParameterFile(const QString& path, ConfigImage& image);

// Writes the 588 bytes through a temporary file beside the target that replaces it
// only when complete, so a failed save never damages an existing file. False on failure.
bool SaveParameterFile(const QString& path, const ConfigImage& image);

// "WinVarno_" + yyMMdd + ".VRN"
QString ProposedSaveName(const QDate& date);

} // namespace config
