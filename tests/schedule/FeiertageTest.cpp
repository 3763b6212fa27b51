#include "schedule/Feiertage.h"

#include <gtest/gtest.h>

using namespace schedule;

namespace {

constexpr int kJahre[] = {2000, 2017, 2019, 2020, 2024, 2025, 2026, 2100};

struct Zeile {
    const char* name;
    const char* laender;                 // "*" for all sixteen
    const char* tage[std::size(kJahre)]; // "dd.MM", "-" when not a holiday that year
};

// Checked by hand against the calendar and the Länder's holiday laws. Easter Sundays:
// 23.04.2000, 16.04.2017, 21.04.2019, 12.04.2020, 31.03.2024, 20.04.2025, 05.04.2026,
// 28.03.2100.
// clang-format off
const Zeile kTabelle[] = {
    //                                                          2000     2017     2019     2020     2024     2025     2026     2100
    {"Neujahr",                   "*",                        {"01.01", "01.01", "01.01", "01.01", "01.01", "01.01", "01.01", "01.01"}},
    {"Heilige Drei Könige",       "BW BY ST",                 {"06.01", "06.01", "06.01", "06.01", "06.01", "06.01", "06.01", "06.01"}},
    {"Internationaler Frauentag", "BE",                       {"-",     "-",     "08.03", "08.03", "08.03", "08.03", "08.03", "08.03"}},
    {"Internationaler Frauentag", "MV",                       {"-",     "-",     "-",     "-",     "08.03", "08.03", "08.03", "08.03"}},
    {"Karfreitag",                "*",                        {"21.04", "14.04", "19.04", "10.04", "29.03", "18.04", "03.04", "26.03"}},
    {"Ostersonntag",              "BB HE",                    {"23.04", "16.04", "21.04", "12.04", "31.03", "20.04", "05.04", "28.03"}},
    {"Ostermontag",               "*",                        {"24.04", "17.04", "22.04", "13.04", "01.04", "21.04", "06.04", "29.03"}},
    {"Tag der Arbeit",            "*",                        {"01.05", "01.05", "01.05", "01.05", "01.05", "01.05", "01.05", "01.05"}},
    {"Tag der Befreiung",         "BE",                       {"-",     "-",     "-",     "08.05", "-",     "08.05", "-",     "-"}},
    {"Christi Himmelfahrt",       "*",                        {"01.06", "25.05", "30.05", "21.05", "09.05", "29.05", "14.05", "06.05"}},
    {"Pfingstsonntag",            "BB HE",                    {"11.06", "04.06", "09.06", "31.05", "19.05", "08.06", "24.05", "16.05"}},
    {"Pfingstmontag",             "*",                        {"12.06", "05.06", "10.06", "01.06", "20.05", "09.06", "25.05", "17.05"}},
    {"Fronleichnam",              "BW BY HE NW RP SL",        {"22.06", "15.06", "20.06", "11.06", "30.05", "19.06", "04.06", "27.05"}},
    {"Mariä Himmelfahrt",         "SL",                       {"15.08", "15.08", "15.08", "15.08", "15.08", "15.08", "15.08", "15.08"}},
    {"Weltkindertag",             "TH",                       {"-",     "-",     "20.09", "20.09", "20.09", "20.09", "20.09", "20.09"}},
    {"Tag der Deutschen Einheit", "*",                        {"03.10", "03.10", "03.10", "03.10", "03.10", "03.10", "03.10", "03.10"}},
    {"Reformationstag",           "BB MV SN ST TH",           {"31.10", "31.10", "31.10", "31.10", "31.10", "31.10", "31.10", "31.10"}},
    {"Reformationstag",           "HB HH NI SH",              {"-",     "31.10", "31.10", "31.10", "31.10", "31.10", "31.10", "31.10"}},
    {"Reformationstag",           "BW BY BE HE NW RP SL",     {"-",     "31.10", "-",     "-",     "-",     "-",     "-",     "-"}},
    {"Allerheiligen",             "BW BY NW RP SL",           {"01.11", "01.11", "01.11", "01.11", "01.11", "01.11", "01.11", "01.11"}},
    {"Buß- und Bettag",           "SN",                       {"22.11", "22.11", "20.11", "18.11", "20.11", "19.11", "18.11", "17.11"}},
    {"1. Weihnachtstag",          "*",                        {"25.12", "25.12", "25.12", "25.12", "25.12", "25.12", "25.12", "25.12"}},
    {"2. Weihnachtstag",          "*",                        {"26.12", "26.12", "26.12", "26.12", "26.12", "26.12", "26.12", "26.12"}},
};
// clang-format on

QStringList Expected(const LandInfo& land, size_t jahr) {
    QStringList out;
    for (const Zeile& z : kTabelle) {
        const QString laender = QString::fromLatin1(z.laender);
        const QString tag = QString::fromLatin1(z.tage[jahr]);
        if ((laender == "*" || laender.split(' ').contains(land.kuerzel)) && tag != "-")
            out.append(tag + "." + QString::number(kJahre[jahr]) + " " + QString::fromUtf8(z.name));
    }
    out.sort();
    return out;
}

QStringList Computed(Land land, int year) {
    QStringList out;
    for (const Feiertag& f : Feiertage(land, year))
        out.append(f.datum.toString("dd.MM.yyyy") + " " + f.name);
    out.sort();
    return out;
}

} // namespace

TEST(Feiertage, AllLaenderAgainstTheHandCheckedTable) {
    for (size_t j = 0; j < std::size(kJahre); ++j)
        for (const LandInfo& land : Laender())
            EXPECT_EQ(Computed(land.land, kJahre[j]), Expected(land, j))
                << land.kuerzel << " " << kJahre[j];
}

TEST(Feiertage, YearsTheLawChanged) {
    struct Fall {
        Land land;
        QDate day;
        const char* name; // nullptr: no holiday
    };
    const Fall faelle[] = {
        {Land::HB, QDate(2016, 10, 31), nullptr},
        {Land::HB, QDate(2018, 10, 31), "Reformationstag"},
        {Land::BW, QDate(2018, 10, 31), nullptr},
        {Land::BE, QDate(2018, 3, 8), nullptr},
        {Land::MV, QDate(2022, 3, 8), nullptr},
        {Land::TH, QDate(2018, 9, 20), nullptr},
        {Land::BE, QDate(2021, 5, 8), nullptr},
        {Land::BY, QDate(2026, 8, 15), nullptr}, // only in some communities
        {Land::SN, QDate(2026, 6, 4), nullptr},  // Fronleichnam likewise
    };
    for (const Fall& f : faelle) {
        const std::optional<QString> name = FeiertagAm(f.land, f.day);
        EXPECT_EQ(name.value_or(QString()), QString::fromUtf8(f.name ? f.name : ""))
            << LandText(f.land).toStdString() << " " << f.day.toString().toStdString();
    }

    // 2008: Christi Himmelfahrt fell on 1 May; both are listed.
    const auto bw2008 = Feiertage(Land::BW, 2008);
    EXPECT_EQ(std::count_if(bw2008.begin(), bw2008.end(),
                            [](const Feiertag& f) { return f.datum == QDate(2008, 5, 1); }),
              2);
}

TEST(Feiertage, EasterIsASundayInItsWindowInEveryYear) {
    for (int year = 1583; year <= 9999; ++year) {
        const QDate e = Ostersonntag(year);
        ASSERT_TRUE(e.isValid()) << year;
        ASSERT_EQ(e.dayOfWeek(), Qt::Sunday) << year;
        ASSERT_GE(e, QDate(year, 3, 22)) << year;
        ASSERT_LE(e, QDate(year, 4, 25)) << year;
    }
}

TEST(Feiertage, LandTextsAndYearsOutOfRange) {
    for (const LandInfo& land : Laender())
        EXPECT_EQ(LandFromText(LandText(land.land)), land.land);
    EXPECT_EQ(LandFromText(" by "), Land::BY);
    EXPECT_EQ(LandFromText("Bayern"), std::nullopt);
    EXPECT_EQ(LandFromText(""), std::nullopt);
    EXPECT_FALSE(Ostersonntag(1582).isValid());
    EXPECT_TRUE(Feiertage(Land::BY, 10000).empty());
    EXPECT_TRUE(Feiertage(Land::BY, -44).empty());
    EXPECT_EQ(FeiertagAm(Land::BY, QDate()), std::nullopt);
}
