#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <optional>

// The charge log: a text file of 92-character rows with CR LF, one row each time
// the sum of the counters has grown, and a backup copy made once per run.
namespace charges {

struct LoggedRow {
    std::array<int, 8> units{};
    int sum = 0;
};

// The three header lines, each with CR LF.
QByteArray LogHeader();

// One row for the counters of ports 21..28 and the sum, with CR LF.
QByteArray LogRow(const QDateTime& when, const std::array<int, 8>& counters, int sum);

// Reads a row's port columns (digits collected, blanks skipped) and its sum (from
// the leftmost digit of the sum columns). Columns past the line's end are blanks;
// a line without digits there gives 0.
LoggedRow ParseRow(const QByteArray& line);

// The last non-empty line of the file, found by reading only the file's tail;
// nullopt when the file cannot be read. An empty file gives an empty line.
std::optional<QByteArray> ReadLastLine(const QString& path);

struct LogState {
    bool backupPending = true;
    std::array<int, 8> loggedUnits{};
    int loggedSum = 0;
};

enum class LogResult { Created, Appended, Unchanged, Unreadable, WriteFailed };

// One evaluation's visit to the log: reads the last row into `state`, and appends
// a row when the sum grew (making the run's backup first). A log that does not
// exist is created with its header and a row; one that exists but cannot be read
// is left alone, so its history is never replaced.
LogResult LogCharges(const QString& logPath, const QString& backupPath, const QDateTime& now,
                     const std::array<int, 8>& counters, int ports, LogState& state);

} // namespace charges
