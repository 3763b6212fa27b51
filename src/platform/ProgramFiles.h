#pragma once

#include <QString>

namespace platform {

// Paths of the program's companions, derived from the running executable.
namespace programfiles {

// The program file's full path with its extension replaced (or added), e.g. ".hlp".
QString BesideProgram(const QString& programPath, const QString& extension);

// "$XDG_DATA_HOME/WinVarno", by default "~/.local/share/WinVarno" (a relative
// XDG_DATA_HOME counts as unset).
QString UserDataDirectory();

// Where the charge log (".dat") and its backup (".bak") live: beside the program
// when that directory is writable, else in "$XDG_DATA_HOME/WinVarno/".
QString DataFile(const QString& programPath, const QString& extension);

} // namespace programfiles
} // namespace platform
