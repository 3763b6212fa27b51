#pragma once

#include <QString>
#include <string>
#include <string_view>

// The comms log is one per process: every TComm32 and both of its threads write
// to the same file, and each line is written whole under one lock.
namespace serial {

// Sets the process-wide log name; empty switches the log off.
void SetCommsLogName(const QString& path);
QString CommsLogName();

// Opens the log file under the current name for appending; never truncates it.
void OpenCommsLog();
void CloseCommsLog();

// Appends "HH:mm:ss  text" CR LF when the log is on. Failures are ignored.
void CommLog(std::string_view text);

// prefix + "GetLastError returned: \"" + English system text + "\"".
void LogSystemError(std::string_view prefix, int error);

// The system's English text for an errno value, independent of the user's locale.
std::string SystemErrorText(int error);

// Diagnostics that the original sends to a debugger rather than to the log.
void DebugOutput(std::string_view text);

} // namespace serial
