#include "schedule/Schedule.h"

#include <algorithm>
#include <utility>

namespace schedule {
namespace {

// How far back a jump of the clock is searched for an entry's date. A day rule
// may skip days, but no rule skips a month; a clock set years ahead costs no more.
constexpr qint64 kLookBackDays = 31;

} // namespace

std::optional<QTime> EntryTime(const QString& zeit) {
    if (zeit.size() != 4)
        return std::nullopt;
    for (const QChar c : zeit)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    const int hours = zeit.left(2).toInt(), minutes = zeit.mid(2).toInt();
    if (hours > 23 || minutes > 59)
        return std::nullopt;
    return QTime(hours, minutes);
}

QString TZeitsteuerung::Tick(const std::array<Entry, kEntries>& entries, bool busy) {
    const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTime();
    if (!now.isValid())
        return {};
    const Wall current{now.date().toJulianDay(), now.time().msecsSinceStartOfDay()};
    const std::optional<Wall> previous = std::exchange(m_last, current);
    // At start nothing has been passed yet; a clock that stood still or went back
    // passes nothing new.
    if (!previous || current <= *previous)
        return {};

    // Per entry, the latest of its instants the clock has just passed.
    std::array<std::optional<Wall>, kEntries> passed;
    for (int n = 0; n < kEntries; ++n) {
        const std::optional<QTime> time = EntryTime(entries[size_t(n)].zeit);
        if (!time)
            continue;
        const int ms = time->msecsSinceStartOfDay();
        const Fired& fired = m_fired[size_t(n)];
        const qint64 oldest = std::max(previous->day, current.day - kLookBackDays);
        for (qint64 day = current.day - (ms > current.ms ? 1 : 0); day >= oldest; --day) {
            const Wall at{day, ms};
            if (at <= *previous)
                break;
            const QDate date = QDate::fromJulianDay(day);
            if (fired.zeit == entries[size_t(n)].zeit && fired.date.isValid() && date <= fired.date)
                break; // passed again after a step back: it fired already
            if (m_dayRule && !m_dayRule(n, date))
                continue;
            passed[size_t(n)] = at;
            m_fired[size_t(n)] = {entries[size_t(n)].zeit, date};
            break;
        }
    }

    // The latest instant whose winner (the highest entry at it) names a file.
    std::optional<Wall> best;
    QString path;
    int entry = 0;
    for (int n = 0; n < kEntries; ++n) {
        const auto& at = passed[size_t(n)];
        if (!at)
            continue;
        bool outranked = false;
        for (int higher = n + 1; higher < kEntries; ++higher)
            outranked = outranked || passed[size_t(higher)] == at;
        const QString& datei = entries[size_t(n)].datei;
        if (outranked || datei.isEmpty() || (best && *at < *best))
            continue;
        best = at;
        path = datei.left(kPathLength);
        entry = n;
    }
    if (path.isEmpty())
        return {};
    if (busy) {
        // Two transfers must never mix on the line: this one waits its turn.
        Defer(path, entry);
        return {};
    }
    m_entry = entry;
    return path;
}

QString TZeitsteuerung::TakeDeferred() {
    QString path;
    path.swap(m_deferred);
    m_entry = m_deferredEntry;
    return path;
}

} // namespace schedule
