#include "schedule/Schedule.h"

namespace schedule {

QString Candidate(const std::array<Entry, kEntries>& entries, const QString& hhmm) {
    QString candidate;
    for (const Entry& e : entries)
        if (e.zeit == hhmm)
            candidate = e.datei.left(kPathLength);
    return candidate;
}

QString TZeitsteuerung::Tick(const std::array<Entry, kEntries>& entries, const QString& hhmm,
                             bool busy) {
    if (ZeitsteuerungSperre != 0) {
        --ZeitsteuerungSperre;
        return {};
    }
    const QString candidate = Candidate(entries, hhmm);
    if (candidate.isEmpty())
        return {};
    ZeitsteuerungSperre = kLockTicks;
    if (busy) {
        // Two transfers must never mix on the line: this one waits its turn.
        m_deferred = candidate;
        return {};
    }
    return candidate;
}

QString TZeitsteuerung::TakeDeferred() {
    QString path;
    path.swap(m_deferred);
    return path;
}

} // namespace schedule
