#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <functional>
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

// The line of the last whole row: the last line of the file that is not blank (CR
// and LF both end a line; blanks and tabs alone make a blank line) and not a piece
// of a row whose write stopped short (a line shorter than a row that is the file's
// last without its line end, or that starts like a row). At most its first 100
// characters, found in a bounded tail of the file: a log of any size and shape
// costs about the same. Empty when there is none in the tail (an empty file, a
// last line longer than the tail); nullopt when the file cannot be read or is no
// regular file. *cut (when given) says whether the file ended in such a piece.
std::optional<QByteArray> ReadLastLine(const QString& path, bool* cut = nullptr);

// The same, on the tail bytes of a file; `wholeFile` says whether they start it.
// Answers nullopt when the tail holds no start of that line.
std::optional<QByteArray> LastLineOfTail(QByteArrayView tail, bool wholeFile, bool* cut = nullptr);

struct LogState {
    bool backupPending = true;
    std::array<int, 8> loggedUnits{};
    int loggedSum = 0;
    // Of the last visit: the log ended in a piece of a row, and why it failed (an
    // errno value or platform::kNotRegularFile).
    bool cutRow = false;
    int error = 0;
};

enum class LogResult { Created, Appended, Unchanged, Unreadable, WriteFailed };

// One evaluation's visit to the log: reads the last whole row into `state`, and
// appends a row when a counter of the ports the exchange has differs from it, lower
// as well as higher (making the run's backup first; `whileCopying` runs between its
// pieces). A piece of a row at the end gets its line end before the new row. A log
// that does not exist is created with its header and a row, also where a symbolic
// link points; one that exists but cannot be read, or is no regular file, is left
// alone, so its history is never replaced and a FIFO never waited for.
LogResult LogCharges(const QString& logPath, const QString& backupPath, const QDateTime& now,
                     const std::array<int, 8>& counters, int ports, LogState& state,
                     const std::function<void()>& whileCopying = {});

} // namespace charges
