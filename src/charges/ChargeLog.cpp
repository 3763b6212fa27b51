#include "charges/ChargeLog.h"

#include "platform/FileCopy.h"

#include <QFile>
#include <QFileInfo>
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

bool WriteAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
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

// Where the log really lies: a symbolic link is followed even when its target is
// not there yet, so the log is made where the link points.
QString ResolvedLogPath(const QString& path) {
    QString resolved = path;
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(resolved);
        if (!info.isSymLink())
            break;
        resolved = info.symLinkTarget();
    }
    return resolved;
}

// Creates the file with the user's umask, whole or not at all: written beside and
// linked into place, so link() never replaces a log that appeared meanwhile.
bool CreateLog(const QByteArray& path, const QByteArray& bytes) {
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    ::close(fd);
    ok = ok && ::link(temp.constData(), path.constData()) == 0;
    ::unlink(temp.constData());
    return ok;
}

} // namespace

std::optional<QByteArray> LastLineOfTail(QByteArrayView tail, bool wholeFile) {
    qsizetype end = tail.size();
    for (;;) {
        while (end > 0 && IsLineEnd(tail[end - 1]))
            --end;
        qsizetype start = end;
        while (start > 0 && !IsLineEnd(tail[start - 1]))
            --start;
        if (start == 0 && !wholeFile)
            return std::nullopt; // the line may begin before the tail
        const QByteArrayView line = tail.sliced(start, end - start);
        if (!IsBlank(line))
            return line.first(std::min<qsizetype>(line.size(), 100)).toByteArray();
        if (start == 0)
            return QByteArray(); // nothing but blank lines
        end = start;
    }
}

std::optional<QByteArray> ReadLastLine(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    // A few kilobytes hold the last row; a last line the largest tail cannot hold
    // (a megabyte of garbage, of blank lines) counts as none.
    const qint64 size = f.size();
    for (qint64 window = kTailChunk;; window *= 4) {
        const qint64 from = std::max<qint64>(0, size - window);
        if (!f.seek(from))
            return std::nullopt;
        const QByteArray tail = f.read(size - from);
        if (tail.size() != size - from)
            return std::nullopt;
        if (auto line = LastLineOfTail(tail, from == 0))
            return line;
        if (window >= kTailLimit)
            return QByteArray();
    }
}

LogResult LogCharges(const QString& logPath, const QString& backupPath, const QDateTime& now,
                     const std::array<int, 8>& counters, int ports, LogState& state,
                     const std::function<void()>& whileCopying) {
    const int used = std::clamp(ports, 0, 8);
    int sum = 0;
    for (int i = 0; i < used; ++i)
        sum += counters[std::size_t(i)];
    const QString real = ResolvedLogPath(logPath);
    const QByteArray path = QFile::encodeName(real);
    const QByteArray row = LogRow(now, counters, sum);

    struct stat info {};
    if (::stat(path.constData(), &info) != 0 && errno == ENOENT)
        return CreateLog(path, LogHeader() + row) ? LogResult::Created : LogResult::WriteFailed;

    const std::optional<QByteArray> last = ReadLastLine(real);
    if (!last)
        return LogResult::Unreadable;
    const LoggedRow logged = ParseRow(*last);
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
    // A log edited by hand may end without a line end; the row must not join it.
    QByteArray bytes = row;
    QFile probe(real);
    char lastByte = '\n';
    if (probe.open(QIODevice::ReadOnly) && probe.size() > 0 && probe.seek(probe.size() - 1))
        probe.getChar(&lastByte);
    probe.close();
    if (lastByte == '\r')
        bytes.prepend('\n');
    else if (lastByte != '\n')
        bytes.prepend("\r\n");
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        return LogResult::WriteFailed;
    // One write of the whole row: a crash leaves the row in full or not at all.
    const bool ok = WriteAll(fd, bytes);
    ::close(fd);
    return ok ? LogResult::Appended : LogResult::WriteFailed;
}

} // namespace charges
