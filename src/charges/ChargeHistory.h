#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <array>
#include <map>
#include <optional>

// The charge log read as a history: every valid row, in file order, turned into
// units per port and day. The log is streamed; memory does not grow with its size.
namespace charges {

inline constexpr int kHistoryPorts = 8;
inline constexpr int kRowChars = 92;

using Counters = std::array<int, kHistoryPorts>;
using Units = std::array<qint64, kHistoryPorts>;

struct HistoryRow {
    QDate date;
    Counters counters{};
};

// One line without its line end, checked against the row format: "| dd.MM.yyyy HH:mm |",
// eight counters (0..65535) and the sum, each right-aligned in six columns and followed
// by " |", exactly 92 characters. Anything else gives nullopt.
std::optional<HistoryRow> ParseHistoryRow(QByteArrayView line);

// Units a port used between two rows: the difference when its counter did not fall,
// else the new counter (a reset to 0, or a 16-bit wrap, which looks the same).
inline int UsageOf(int before, int after) {
    return after >= before ? after - before : after;
}
Units Usage(const Counters& before, const Counters& after);

// The date of the last row: the rows of a day all carry it, so it is checked once.
struct RowDateCache {
    char text[10] = {};
    qint64 day = -1;
};

// The row of 92 characters at p with its Julian day; false when it is none. RowAt
// is the fast one the history uses, RowAtPlain the plain one it must agree with.
bool RowAt(const char* p, RowDateCache& cache, qint64& day, Counters& counters);
bool RowAtPlain(const char* p, RowDateCache& cache, qint64& day, Counters& counters);

// Accumulates a log fed in pieces of any size. Lines longer than a row are skipped
// without being kept, so a line of 100 MB costs no memory.
class THistory {
public:
    struct Day {
        Units units{};
        qint64 rows = 0; // valid rows dated that day, the baseline included
    };

    void Feed(QByteArrayView bytes);
    // Takes a last line that has no line end.
    void Finish();

    // Keyed by QDate::toJulianDay(); a day is present when a row carries its date.
    const std::map<qint64, Day>& days() const { return m_days; }
    qint64 rows() const { return m_rows; }
    qint64 lines() const { return m_lines; }
    // Lines that are not rows; the log's own three header lines at its top do not count.
    qint64 skipped() const { return m_skipped; }
    qint64 firstSkippedLine() const { return m_firstSkipped; } // 1-based; 0 when none
    // Counters of the last valid row, the baseline for what follows.
    const std::optional<Counters>& lastCounters() const { return m_last; }

private:
    void TakeLine(const char* p, qsizetype n, bool overlong);
    void TakeOther(const char* p, qsizetype n, bool overlong);
    void AddRow(qint64 day, const Counters& counters);
    void AddDay(qint64 day, const Units& units, qint64 rows);
    // Takes whole rows with CR LF from p on while there are; returns where it stopped.
    const char* TakeRows(const char* p, const char* end);
    static const char* TakeRowsWide(THistory& h, const char* p, const char* end);

    std::map<qint64, Day> m_days;
    qint64 m_rows = 0, m_lines = 0, m_skipped = 0, m_firstSkipped = 0;
    std::optional<Counters> m_last;
    QByteArray m_carry;      // the start of a line cut by the end of a piece
    bool m_overlong = false; // that line is already too long to be a row
    RowDateCache m_date;
    // The day the previous row added to. A copy starts without it: the pointer
    // would lead into the other object's map.
    struct Bucket {
        Day* day = nullptr;
        qint64 key = -1;
        Bucket() = default;
        Bucket(const Bucket&) {}
        // NOLINTNEXTLINE(bugprone-unhandled-self-assignment): forgetting is right for itself too
        Bucket& operator=(const Bucket&) {
            day = nullptr;
            key = -1;
            return *this;
        }
    } m_bucket;
};

// Reads the whole log; nullopt when it cannot be opened or read.
std::optional<THistory> ReadHistory(const QString& path);

// Follows a log that grows: each Update() reads only what was appended since the
// last one. A log that was replaced, shortened or changed before the point already
// read is read again from its start.
class TLogFollower {
public:
    explicit TLogFollower(QString path) : m_path(std::move(path)) {}
    // False when the log cannot be read; the history then is empty.
    bool Update();
    // What was read, with a last line that has no line end taken as well.
    THistory Snapshot() const;
    const THistory& history() const { return m_history; }
    const QString& path() const { return m_path; }

private:
    void Reset();

    QString m_path;
    THistory m_history;
    qint64 m_offset = 0;
    quint64 m_device = 0, m_inode = 0;
    QByteArray m_tail; // the last bytes read, to notice a rewrite before m_offset
};

} // namespace charges
