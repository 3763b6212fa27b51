#include "schedule/Feiertage.h"

#include <algorithm>
#include <climits>

namespace schedule {

namespace {

constexpr unsigned Bit(Land land) {
    return 1u << static_cast<unsigned>(land);
}

template <typename... L> constexpr unsigned Set(L... laender) {
    return (Bit(laender) | ...);
}

constexpr unsigned kAlle = (1u << kLaender) - 1;
using enum Land;
constexpr unsigned kReformationAlt = Set(BB, MV, SN, ST, TH);
constexpr unsigned kReformationNeu = Set(HB, HH, NI, SH);

enum class Art { Fest, Ostern, BussUndBettag };

struct Regel {
    const char* name;
    Art art;
    int monat; // Fest
    int tag;   // Fest: day of month; Ostern: days after Easter Sunday
    unsigned laender;
    int von = 0; // first year the law names the day
    int bis = INT_MAX;
};

// clang-format off
constexpr Regel kRegeln[] = {
    {"Neujahr",                   Art::Fest,    1,   1, kAlle},
    {"Heilige Drei Könige",       Art::Fest,    1,   6, Set(BW, BY, ST)},
    {"Internationaler Frauentag", Art::Fest,    3,   8, Set(BE), 2019},
    {"Internationaler Frauentag", Art::Fest,    3,   8, Set(MV), 2023},
    {"Karfreitag",                Art::Ostern,  0,  -2, kAlle},
    {"Ostersonntag",              Art::Ostern,  0,   0, Set(BB, HE)},
    {"Ostermontag",               Art::Ostern,  0,   1, kAlle},
    {"Tag der Arbeit",            Art::Fest,    5,   1, kAlle},
    {"Tag der Befreiung",         Art::Fest,    5,   8, Set(BE), 2020, 2020},
    {"Tag der Befreiung",         Art::Fest,    5,   8, Set(BE), 2025, 2025},
    {"Christi Himmelfahrt",       Art::Ostern,  0,  39, kAlle},
    {"Pfingstsonntag",            Art::Ostern,  0,  49, Set(BB, HE)},
    {"Pfingstmontag",             Art::Ostern,  0,  50, kAlle},
    {"Fronleichnam",              Art::Ostern,  0,  60, Set(BW, BY, HE, NW, RP, SL)},
    {"Mariä Himmelfahrt",         Art::Fest,    8,  15, Set(SL)},
    {"Weltkindertag",             Art::Fest,    9,  20, Set(TH), 2019},
    {"Tag der Deutschen Einheit", Art::Fest,   10,   3, kAlle},
    {"Reformationstag",           Art::Fest,   10,  31, kReformationAlt},
    {"Reformationstag",           Art::Fest,   10,  31, kReformationNeu, 2018},
    {"Reformationstag",           Art::Fest,   10,  31, kAlle & ~kReformationAlt, 2017, 2017},
    {"Allerheiligen",             Art::Fest,   11,   1, Set(BW, BY, NW, RP, SL)},
    {"Buß- und Bettag",           Art::BussUndBettag, 0, 0, Set(SN)},
    {"1. Weihnachtstag",          Art::Fest,   12,  25, kAlle},
    {"2. Weihnachtstag",          Art::Fest,   12,  26, kAlle},
};

constexpr std::array<LandInfo, kLaender> kLaenderInfo{{
    {BW, "BW", "Baden-Württemberg"},
    {BY, "BY", "Bayern"},
    {BE, "BE", "Berlin"},
    {BB, "BB", "Brandenburg"},
    {HB, "HB", "Bremen"},
    {HH, "HH", "Hamburg"},
    {HE, "HE", "Hessen"},
    {MV, "MV", "Mecklenburg-Vorpommern"},
    {NI, "NI", "Niedersachsen"},
    {NW, "NW", "Nordrhein-Westfalen"},
    {RP, "RP", "Rheinland-Pfalz"},
    {SL, "SL", "Saarland"},
    {SN, "SN", "Sachsen"},
    {ST, "ST", "Sachsen-Anhalt"},
    {SH, "SH", "Schleswig-Holstein"},
    {TH, "TH", "Thüringen"},
}};
// clang-format on

constexpr int kErstesJahr = 1583;
constexpr int kLetztesJahr = 9999;

// The Wednesday before 23 November (between the 16th and the 22nd).
QDate BussUndBettag(int year) {
    const QDate d(year, 11, 22);
    return d.addDays(-((d.dayOfWeek() - Qt::Wednesday + 7) % 7));
}

} // namespace

const std::array<LandInfo, kLaender>& Laender() {
    return kLaenderInfo;
}

std::optional<Land> LandFromText(const QString& text) {
    const QString t = text.trimmed();
    for (const LandInfo& info : kLaenderInfo)
        if (t.compare(QLatin1String(info.kuerzel), Qt::CaseInsensitive) == 0)
            return info.land;
    return std::nullopt;
}

QString LandText(Land land) {
    return QLatin1String(kLaenderInfo[static_cast<size_t>(land)].kuerzel);
}

QDate Ostersonntag(int year) {
    if (year < kErstesJahr || year > kLetztesJahr)
        return {};
    // The anonymous Gregorian computus (Meeus/Jones/Butcher).
    const int a = year % 19;
    const int b = year / 100;
    const int c = year % 100;
    const int d = b / 4;
    const int e = b % 4;
    const int f = (b + 8) / 25;
    const int g = (b - f + 1) / 3;
    const int h = (19 * a + b - d - g + 15) % 30;
    const int i = c / 4;
    const int k = c % 4;
    const int l = (32 + 2 * e + 2 * i - h - k) % 7;
    const int m = (a + 11 * h + 22 * l) / 451;
    const int n = h + l - 7 * m + 114;
    return QDate(year, n / 31, n % 31 + 1);
}

std::vector<Feiertag> Feiertage(Land land, int year) {
    std::vector<Feiertag> out;
    const QDate ostern = Ostersonntag(year);
    if (!ostern.isValid())
        return out;
    for (const Regel& r : kRegeln) {
        if ((r.laender & Bit(land)) == 0 || year < r.von || year > r.bis)
            continue;
        QDate datum;
        switch (r.art) {
        case Art::Fest:
            datum = QDate(year, r.monat, r.tag);
            break;
        case Art::Ostern:
            datum = ostern.addDays(r.tag);
            break;
        case Art::BussUndBettag:
            datum = BussUndBettag(year);
            break;
        }
        out.push_back({datum, QString::fromUtf8(r.name)});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Feiertag& x, const Feiertag& y) { return x.datum < y.datum; });
    return out;
}

std::optional<QString> FeiertagAm(Land land, QDate day) {
    if (!day.isValid())
        return std::nullopt;
    for (const Feiertag& f : Feiertage(land, day.year()))
        if (f.datum == day)
            return f.name;
    return std::nullopt;
}

} // namespace schedule
