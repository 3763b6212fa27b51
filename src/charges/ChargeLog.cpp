#include "charges/ChargeLog.h"

#include "platform/FileCopy.h"
#include "platform/UserFile.h"

#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace charges {
namespace {

constexpr int kRowLength = 92;
constexpr qint64 kTailChunk = 4096;
constexpr qint64 kTailLimit = 16 * 1024;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Column `col` (counted from 1) of the line, a blank past its end.
char At(const QByteArray& line, int col) {
    return col >= 1 && col <= line.size() ? line[col - 1] : ' ';
}

} // namespace

QByteArray LogHeader() {
    const QByteArray rule(kRowLength, '=');
    return rule + "\r\n" +
           "|       Datum      |   21  |   22  |   23  |   24  |   25  |   26  |   27  |   28  | "
           "Summe |\r\n" +
           rule + "\r\n";
}

QByteArray LogRow(const QDateTime& when, const std::array<int, 8>& counters, int sum) {
    QByteArray row = "| " + when.toString(QStringLiteral("dd.MM.yyyy")).toLatin1() + ' ' +
                     when.toString(QStringLiteral("HH:mm")).toLatin1() + " |";
    for (int c : counters)
        row += QByteArray::number(c).rightJustified(6, ' ') + " |";
    row += QByteArray::number(sum).rightJustified(6, ' ') + " |\r\n";
    return row;
}

LoggedRow ParseRow(const QByteArray& line) {
    LoggedRow row;
    for (int k = 1; k <= 8; ++k) {
        int value = 0;
        for (int col = 8 * k + 14; col <= 8 * k + 18; ++col)
            if (IsDigit(At(line, col)))
                value = value * 10 + (At(line, col) - '0');
        row.units[k - 1] = value;
    }
    int col = 85;
    while (col <= 90 && !IsDigit(At(line, col)))
        ++col;
    for (; col <= 90 && IsDigit(At(line, col)); ++col)
        row.sum = row.sum * 10 + (At(line, col) - '0');
    return row;
}

namespace {

bool IsLineEnd(char c) {
    return c == '\n' || c == '\r';
}

bool IsBlank(QByteArrayView line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; });
}

// A piece of a row whose write stopped short (a crash, a full disk): shorter than
// a row, and either the file's last line without its line end or, once it has got
// its line end, beginning like a row.
bool IsCutRow(QByteArrayView line, bool lastWithoutEnd) {
    if (line.size() >= kRowLength)
        return false;
    return lastWithoutEnd || (line.startsWith('|') && (line.size() == 1 || line[1] == ' '));
}

// Creates the file with the user's umask, whole or not at all: written beside and
// linked into place, so link() never replaces a log that appeared meanwhile.
bool CreateLog(const QByteArray& path, const QByteArray& bytes, int* error) {
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            *error = errno;
            return false;
        }
    }
    if (fd < 0) {
        *error = EEXIST;
        return false;
    }
    *error = platform::WriteFully(fd, bytes);
    if (*error == 0 && ::fsync(fd) != 0)
        *error = errno;
    bool ok = *error == 0;
    ::close(fd);
    if (ok && ::link(temp.constData(), path.constData()) != 0) {
        *error = errno;
        ok = false;
    }
    ::unlink(temp.constData());
    return ok;
}

// The tail of an open log: the last whole row's line and the last byte.
struct Tail {
    QByteArray line;
    bool cut = false;
    char lastByte = '\n';
};

std::optional<Tail> ReadTail(int fd, int* error) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        *error = errno;
        return std::nullopt;
    }
    const qint64 size = info.st_size;
    Tail result;
    // A few kilobytes hold the last row; a last line the largest tail cannot hold
    // (a megabyte of garbage, of blank lines) counts as none.
    for (qint64 window = kTailChunk;; window *= 4) {
        const qint64 from = std::max<qint64>(0, size - window);
        QByteArray tail(qsizetype(size - from), Qt::Uninitialized);
        qsizetype got = 0;
        while (got < tail.size()) {
            const ssize_t n =
                ::pread(fd, tail.data() + got, size_t(tail.size() - got), off_t(from + got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                *error = n < 0 ? errno : EIO; // shortened meanwhile: read again next time
                return std::nullopt;
            }
            got += n;
        }
        if (!tail.isEmpty())
            result.lastByte = tail.back();
        if (const auto line = LastLineOfTail(tail, from == 0, &result.cut)) {
            result.line = *line;
            return result;
        }
        if (window >= kTailLimit)
            return result;
    }
}

} // namespace

std::optional<QByteArray> LastLineOfTail(QByteArrayView tail, bool wholeFile, bool* cut) {
    if (cut)
        *cut = false;
    qsizetype end = tail.size();
    bool first = true;
    for (;;) {
        const bool ended = end > 0 && IsLineEnd(tail[end - 1]);
        while (end > 0 && IsLineEnd(tail[end - 1]))
            --end;
        qsizetype start = end;
        while (start > 0 && !IsLineEnd(tail[start - 1]))
            --start;
        if (start == 0 && !wholeFile)
            return std::nullopt; // the line may begin before the tail
        const QByteArrayView line = tail.sliced(start, end - start);
        if (!IsBlank(line)) {
            // The file's last line without its line end, or a piece of a row: the
            // write of a row stopped there. The row before it is the last whole one.
            const bool partial = IsCutRow(line, first && !ended);
            if (!partial)
                return line.first(std::min<qsizetype>(line.size(), 100)).toByteArray();
            if (cut && first)
                *cut = true;
            first = false;
        }
        if (start == 0)
            return QByteArray(); // nothing but blank lines and pieces
        end = start;
    }
}

std::optional<QByteArray> ReadLastLine(const QString& path, bool* cut) {
    int error = 0;
    const int fd = platform::OpenRegular(path, O_RDONLY, &error);
    if (fd < 0)
        return std::nullopt;
    const std::optional<Tail> tail = ReadTail(fd, &error);
    ::close(fd);
    if (!tail)
        return std::nullopt;
    if (cut)
        *cut = tail->cut;
    return tail->line;
}

LogResult LogCharges(const QString& logPath, const QString& backupPath, const QDateTime& now,
                     const std::array<int, 8>& counters, int ports, LogState& state,
                     const std::function<void()>& whileCopying) {
    state.cutRow = false;
    state.error = 0;
    const int used = std::clamp(ports, 0, 8);
    int sum = 0;
    for (int i = 0; i < used; ++i)
        sum += counters[std::size_t(i)];
    // A symbolic link is followed even when its target is not there yet, so the log
    // is made where the link points.
    const QString real = platform::ResolveLinks(logPath);
    const QByteArray path = QFile::encodeName(real);
    const QByteArray row = LogRow(now, counters, sum);

    // Not waiting for a FIFO or a device in its place: refused at once.
    const int in = platform::OpenRegular(real, O_RDONLY, &state.error);
    if (in < 0 && state.error == ENOENT)
        return CreateLog(path, LogHeader() + row, &state.error) ? LogResult::Created
                                                                : LogResult::WriteFailed;
    if (in < 0)
        return LogResult::Unreadable;
    const std::optional<Tail> tail = ReadTail(in, &state.error);
    ::close(in);
    if (!tail)
        return LogResult::Unreadable;
    state.cutRow = tail->cut;
    const LoggedRow logged = ParseRow(tail->line);
    state.loggedUnits = logged.units;
    state.loggedSum = logged.sum;
    // Lower counts too: a counter reset on the exchange (or wrapped) is history.
    bool changed = false;
    for (int i = 0; i < used; ++i)
        changed = changed || logged.units[std::size_t(i)] != counters[std::size_t(i)];
    if (!changed)
        return LogResult::Unchanged;

    if (state.backupPending) {
        state.backupPending = false;
        (void)platform::CopyFileBytes(real, backupPath, whileCopying);
    }
    // A log edited by hand, or cut in a row, may end without a line end; the new row
    // must not join that line, and nothing of it is removed.
    QByteArray bytes = row;
    if (tail->lastByte == '\r')
        bytes.prepend('\n');
    else if (tail->lastByte != '\n')
        bytes.prepend("\r\n");
    const int fd = platform::OpenRegular(real, O_WRONLY | O_APPEND, &state.error);
    if (fd < 0)
        return LogResult::WriteFailed;
    // One write of the whole row. Should it stop short (a crash, a full disk), the
    // next visit finds the piece, ends its line and counts from the row before.
    const int geschrieben = platform::WriteFully(fd, bytes);
    bool ok = geschrieben == 0;
    if (!ok)
        state.error = geschrieben;
    if (::close(fd) != 0 && ok) {
        state.error = errno;
        ok = false;
    }
    return ok ? LogResult::Appended : LogResult::WriteFailed;
}

} // namespace charges
