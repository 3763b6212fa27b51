#pragma once

#include "schedule/Feiertage.h"
#include "schedule/Schedule.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace platform {
class IniFile;
}

// Which days the schedule's entries fire on: the days of the week per entry, and the
// public holidays and closing days, which count as Sundays.
namespace schedule {

// A set of days of the week, numbered as QDate::dayOfWeek() (1 = Monday, 7 = Sunday).
class TWochentage {
public:
    static constexpr TWochentage Alle() { return TWochentage(0x7F); }

    bool contains(int dayOfWeek) const;
    void set(int dayOfWeek, bool on);
    bool isEmpty() const { return m_bits == 0; }

    // A "Tage" value: words "Mo" … "So" or the full names, in any order and letter
    // case, apart by commas, semicolons or spaces; "Mo-Fr" is a range, "Sa-Mo" wraps
    // over the weekend. Words that are none of these are passed over (and appended to
    // `unknown` when given). A value naming no day at all means every day, as an
    // empty one does.
    static TWochentage FromText(const QString& text, QStringList* unknown = nullptr);
    // "Mo,Di,Mi,Do,Fr" in week order. An empty set writes "", which reads back as
    // every day: "never" is the time 9999, not an empty week.
    QString toText() const;
    // For a narrow field: runs of three days or more as a range ("Mo-Fr,So"), and
    // every day as "" (which reads back as every day).
    QString kurzText() const;

    friend bool operator==(const TWochentage&, const TWochentage&) = default;

private:
    constexpr explicit TWochentage(std::uint8_t bits) : m_bits(bits) {}
    std::uint8_t m_bits;
};

// Closing days: date ranges, both ends included.
class TBetriebsferien {
public:
    // Ranges whose end lies before their start are refused (false).
    bool add(QDate from, QDate to);
    bool contains(QDate day) const;
    const std::vector<std::pair<QDate, QDate>>& ranges() const { return m_ranges; }

private:
    std::vector<std::pair<QDate, QDate>> m_ranges;
};

// "31.12.2026" (also "1.5.2026") with spaces around it; an invalid date otherwise.
QDate DateFromText(const QString& text);

// "Zeitpunkt1" … "Zeitpunkt4" for the indices 0 … 3.
QString ZeitpunktSection(int index);

struct TWochenplan {
    std::array<TWochentage, kEntries> tage{TWochentage::Alle(), TWochentage::Alle(),
                                           TWochentage::Alle(), TWochentage::Alle()};
    std::optional<Land> land; // none: no public holidays
    TBetriebsferien betriebsferien;

    // Why the day counts as a Sunday: the holiday's name, or "Betriebsferien";
    // nullopt on an ordinary day.
    std::optional<QString> sonntagsGrund(QDate day) const;
    // The day of the week as the entries see it: 7 on holidays and closing days.
    int wochentag(QDate day) const;
    // Whether entry `index` (0 … 3) fires on that day, its time having come. False for
    // an index out of range or an invalid date.
    bool fires(int index, QDate day) const;
};

// Reads "Tage" of [Zeitpunkt1] … [Zeitpunkt4], "Land" of [Feiertage] and the ranges of
// [Betriebsferien] ("from=to"). What is passed over (an unknown day or Land, a key or
// value that is not a date, a range ending before it starts) is appended to
// `uebergangen` as "[Section] key=value", so it can be shown to the user.
TWochenplan ReadWochenplan(const platform::IniFile& ini, QStringList* uebergangen = nullptr);

// Sets "Tage" of entry `index` in memory; the caller saves the file.
void WriteTage(platform::IniFile& ini, int index, const TWochentage& tage);

} // namespace schedule
