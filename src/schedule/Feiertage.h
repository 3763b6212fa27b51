#pragma once

#include <QDate>
#include <QString>
#include <array>
#include <optional>
#include <vector>

// Statutory public holidays of the sixteen German Länder, as the law stands for the
// years 2000 to 2100, with the changes of those years (Reformationstag in HB, HH, NI
// and SH from 2018, Frauentag in BE from 2019 and in MV from 2023, Weltkindertag in TH
// from 2019, and the one-off days of 2017, 2020 and 2025).
//
// Only holidays of the whole Land count. Days kept in some communities only are left
// out: Mariä Himmelfahrt in Bavaria (predominantly Catholic communities), the
// Augsburger Friedensfest, Fronleichnam in parts of Saxony and Thuringia. A place that
// keeps one enters it under [Betriebsferien].
namespace schedule {

enum class Land { BW, BY, BE, BB, HB, HH, HE, MV, NI, NW, RP, SL, SN, ST, SH, TH };
inline constexpr int kLaender = 16;

struct LandInfo {
    Land land;
    const char* kuerzel; // as written after "Land="
    const char* name;
};
const std::array<LandInfo, kLaender>& Laender();

// The abbreviation in any letter case, spaces around it allowed; nullopt otherwise.
std::optional<Land> LandFromText(const QString& text);
QString LandText(Land land);

// Easter Sunday of the Gregorian calendar; an invalid date outside 1583 to 9999.
QDate Ostersonntag(int year);

struct Feiertag {
    QDate datum;
    QString name;
};

// The year's holidays of the Land in date order. Ostersonntag and Pfingstsonntag are
// listed where the Land's law names them (BB, HE). Two holidays may share a date
// (Christi Himmelfahrt on 1 May, as in 2008). Empty outside 1583 to 9999.
std::vector<Feiertag> Feiertage(Land land, int year);

// The name of the holiday on that day, or nullopt when it is none.
std::optional<QString> FeiertagAm(Land land, QDate day);

} // namespace schedule
