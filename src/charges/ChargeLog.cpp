#include "charges/ChargeLog.h"

#include "platform/FileCopy.h"

#include <QFile>
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

std::optional<QByteArray> ReadLastLine(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Walk back from the end in chunks until a whole non-empty line lies inside,
    // so a log of years costs no more than a new one.
    const qint64 size = f.size();
    QByteArray tail;
    qint64 start = size;
    for (;;) {
        const qint64 from = std::max<qint64>(0, start - kTailChunk);
        if (!f.seek(from))
            return std::nullopt;
        const QByteArray chunk = f.read(start - from);
        if (chunk.size() != start - from)
            return std::nullopt;
        tail.prepend(chunk);
        start = from;
        QByteArray trimmed = tail;
        while (!trimmed.isEmpty() && (trimmed.back() == '\n' || trimmed.back() == '\r'))
            trimmed.chop(1);
        const qsizetype nl = trimmed.lastIndexOf('\n');
        if (nl >= 0 || start == 0) {
            QByteArray line = trimmed.mid(nl + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            return line.left(100);
        }
    }
}

LogResult LogCharges(const QString& logPath, const QString& backupPath, const QDateTime& now,
                     const std::array<int, 8>& counters, int ports, LogState& state) {
    int sum = 0;
    for (int i = 0; i < std::clamp(ports, 0, 8); ++i)
        sum += counters[i];
    const QByteArray path = QFile::encodeName(logPath);
    const QByteArray row = LogRow(now, counters, sum);

    struct stat info {};
    if (::stat(path.constData(), &info) != 0 && errno == ENOENT) {
        // Only a log that is not there is made anew. It is written beside and
        // linked into place, so it appears whole or not at all, and link() never
        // replaces a log that appeared meanwhile.
        QByteArray temp = path + ".XXXXXX";
        const int fd = ::mkstemp(temp.data());
        if (fd < 0)
            return LogResult::WriteFailed;
        bool ok = ::fchmod(fd, 0644) == 0 && WriteAll(fd, LogHeader() + row) && ::fsync(fd) == 0;
        ::close(fd);
        ok = ok && ::link(temp.constData(), path.constData()) == 0;
        ::unlink(temp.constData());
        return ok ? LogResult::Created : LogResult::WriteFailed;
    }

    const std::optional<QByteArray> last = ReadLastLine(logPath);
    if (!last)
        return LogResult::Unreadable;
    const LoggedRow logged = ParseRow(*last);
    state.loggedUnits = logged.units;
    state.loggedSum = logged.sum;
    if (!(state.loggedSum < sum))
        return LogResult::Unchanged;

    if (state.backupPending) {
        state.backupPending = false;
        (void)platform::CopyFileBytes(logPath, backupPath);
    }
    // A log edited by hand may end without a line end; the row must not join it.
    QByteArray bytes = row;
    QFile probe(logPath);
    char lastByte = '\n';
    if (probe.open(QIODevice::ReadOnly) && probe.size() > 0 && probe.seek(probe.size() - 1))
        probe.getChar(&lastByte);
    probe.close();
    if (lastByte != '\n')
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
