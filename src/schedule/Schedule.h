#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <array>
#include <compare>
#include <functional>
#include <optional>

// The four time-of-day entries that load a parameter file and write it.
namespace schedule {

inline constexpr int kEntries = 4;
inline constexpr int kPathLength = 128;

struct Entry {
    QString zeit;  // "HHmm", "9999" for none
    QString datei; // path of a parameter file
};

// The local date and time now; a QDateTime carries its offset from UTC along.
using Clock = std::function<QDateTime()>;
// Whether entry `entry` (0..3) is meant for `date` at all; unset means every day.
using DayRule = std::function<bool(int entry, QDate date)>;

// The time an entry's text names: exactly four digits, hours 00..23, minutes
// 00..59. Anything else ("9999", " 930" for a one-digit hour) names none.
std::optional<QTime> EntryTime(const QString& zeit);

// The once-a-second check, by the calendar. An entry fires when the local clock
// moves from before its time on some date to at or after it, at most once per
// entry and date:
// - a time that does not exist that day (spring forward) is passed over by the
//   gap, so it fires with the first check after it;
// - a repeated hour (fall back) or any step back of the clock only passes times
//   again that already fired, and never fires them twice;
// - a step forward or a wake from suspend across a time fires it once; when it
//   crosses several, only the latest is loaded, as the earlier ones would be
//   overwritten at once anyway;
// - the first check after start only reads the clock: no catch-up.
// Several entries at the same time: the highest-numbered one wins, even with an
// empty file name (then nothing is loaded).
class TZeitsteuerung {
public:
    explicit TZeitsteuerung(Clock clock) : m_clock(std::move(clock)) {}

    // One check; returns the path to load now, or empty. While `busy` a due entry
    // waits for the running transfer instead, so two never mix on the line.
    QString Tick(const std::array<Entry, kEntries>& entries, bool busy);
    // The running transfer has ended; returns a deferred path, or empty.
    QString TakeDeferred();
    void Defer(const QString& path, int entry) {
        m_deferred = path;
        m_deferredEntry = entry;
    }
    // The entry (0..3) whose path Tick or TakeDeferred returned last.
    int FiredEntry() const { return m_entry; }
    void SetDayRule(DayRule rule) { m_dayRule = std::move(rule); }

private:
    // A reading of the wall clock, compared as the clock shows it (no offset).
    struct Wall {
        qint64 day = 0; // Julian day
        int ms = 0;     // since midnight
        auto operator<=>(const Wall&) const = default;
    };
    struct Fired {
        QString zeit; // a changed time is a new entry
        QDate date;
    };

    Clock m_clock;
    DayRule m_dayRule;
    std::optional<Wall> m_last; // the clock at the previous check
    std::array<Fired, kEntries> m_fired;
    QString m_deferred;
    int m_deferredEntry = 0;
    int m_entry = 0;
};

} // namespace schedule
