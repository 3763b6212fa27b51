#pragma once

#include <QString>
#include <array>

// The four time-of-day entries that load a parameter file and write it.
namespace schedule {

inline constexpr int kEntries = 4;
inline constexpr int kLockTicks = 61; // an entry fires once in its minute
inline constexpr int kPathLength = 128;

struct Entry {
    QString zeit;  // "HHmm", "9999" for none
    QString datei; // path of a parameter file
};

// The file due at `hhmm`: the last entry whose time equals it exactly wins, even
// with an empty file name. Empty when nothing is due.
QString Candidate(const std::array<Entry, kEntries>& entries, const QString& hhmm);

// The once-a-second check with its lock-out. Fires a path at most once per
// matching minute; `busy` defers a due entry until the running transfer ends.
class TZeitsteuerung {
public:
    // One tick; returns the path to load now, or empty.
    QString Tick(const std::array<Entry, kEntries>& entries, const QString& hhmm, bool busy);
    // The running transfer has ended; returns a deferred path, or empty.
    QString TakeDeferred();
    void Defer(const QString& path) { m_deferred = path; }

    int ZeitsteuerungSperre = 0; // ticks the check still pauses

private:
    QString m_deferred;
};

} // namespace schedule
