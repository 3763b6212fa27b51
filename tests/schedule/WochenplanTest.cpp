#include "schedule/Wochenplan.h"
#include "platform/IniFile.h"
#include "support/TestSupport.h"

#include <QTimeZone>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <string>

using namespace schedule;

TEST(Wochentage, AnyOrderCaseAndSeparatorUnknownWordsPassedOver) {
    struct Fall {
        const char* text;
        const char* tage;
        QStringList unknown;
    };
    const Fall faelle[] = {
        {"Mo,Di,Mi,Do,Fr", "Mo,Di,Mi,Do,Fr", {}},
        {"fr,MO , di", "Mo,Di,Fr", {}},
        {"Sa;So", "Sa,So", {}},
        {"Mo Di", "Mo,Di", {}},
        {"Montag,SONNTAG,Mo", "Mo,So", {}},
        {"Mo-Fr", "Mo,Di,Mi,Do,Fr", {}},
        {"sa-mo", "Mo,Sa,So", {}},
        {"Fr-Fr", "Fr", {}},
        {"Mo,Mon,xx", "Mo", {"Mon", "xx"}},
        {"", "Mo,Di,Mi,Do,Fr,Sa,So", {}},
        {" , ", "Mo,Di,Mi,Do,Fr,Sa,So", {}},
        {"Mon", "Mo,Di,Mi,Do,Fr,Sa,So", {"Mon"}},
        {"Mo-", "Mo,Di,Mi,Do,Fr,Sa,So", {"Mo-"}},
        {"Mo-Fx,Sa", "Sa", {"Mo-Fx"}},
    };
    for (const Fall& f : faelle) {
        QStringList unknown;
        EXPECT_EQ(TWochentage::FromText(QString::fromUtf8(f.text), &unknown).toText(), f.tage)
            << f.text;
        EXPECT_EQ(unknown, f.unknown) << f.text;
    }

    // Every set that can be written reads back as itself.
    for (int bits = 1; bits < 128; ++bits) {
        TWochentage t = TWochentage::Alle();
        for (int d = 1; d <= 7; ++d)
            t.set(d, (bits & (1 << (d - 1))) != 0);
        EXPECT_EQ(TWochentage::FromText(t.toText()), t) << bits;
        EXPECT_EQ(TWochentage::FromText(t.kurzText()), t) << bits;
    }
    EXPECT_EQ(TWochentage::FromText("Mo,Di,Do,Fr,Sa,So").kurzText(), "Mo,Di,Do-So");
    EXPECT_EQ(TWochentage::Alle().kurzText(), "");
}

TEST(Wochenplan, ReadsDaysLandAndClosingDaysPassingOverWhatIsNone) {
    testsupport::ScratchHome home;
    testsupport::writeAll(home.file("WinVarno.INI"), "[Zeitpunkt1]\nZeit=0800\nTage=Mo-Fr\n"
                                                     "[zeitpunkt2]\nTAGE = sa, so \n"
                                                     "[Zeitpunkt4]\nTage=Mon\n"
                                                     "[Feiertage]\nLand= nw \n"
                                                     "[Betriebsferien]\n"
                                                     "27.07.2026=31.07.2026\n"
                                                     "5.5.2026 = 05.05.2026\n"
                                                     "Sommer=01.08.2026\n"
                                                     "24.12.2026=Weihnachten\n"
                                                     "10.01.2026=05.01.2026\n"
                                                     "31.02.2026=01.03.2026\n"
                                                     "01.09.2026=\n");
    QStringList uebergangen;
    const TWochenplan plan =
        ReadWochenplan(platform::IniFile(home.file("WinVarno.INI")), &uebergangen);
    EXPECT_EQ(plan.tage[0].toText(), "Mo,Di,Mi,Do,Fr");
    EXPECT_EQ(plan.tage[1].toText(), "Sa,So");
    EXPECT_EQ(plan.tage[2], TWochentage::Alle()) << "no key: every day";
    EXPECT_EQ(plan.tage[3], TWochentage::Alle());
    EXPECT_EQ(plan.land, Land::NW);
    ASSERT_EQ(plan.betriebsferien.ranges().size(), 2u);
    EXPECT_EQ(
        uebergangen,
        QStringList({"[Zeitpunkt4] Tage=Mon", "[Betriebsferien] Sommer=01.08.2026",
                     "[Betriebsferien] 24.12.2026=Weihnachten",
                     "[Betriebsferien] 10.01.2026=05.01.2026",
                     "[Betriebsferien] 31.02.2026=01.03.2026", "[Betriebsferien] 01.09.2026="}));

    uebergangen.clear();
    testsupport::writeAll(home.file("WinVarno.INI"), "[Feiertage]\nLand=Bayern\n");
    EXPECT_EQ(ReadWochenplan(platform::IniFile(home.file("WinVarno.INI")), &uebergangen).land,
              std::nullopt);
    EXPECT_EQ(uebergangen, QStringList{"[Feiertage] Land=Bayern"});
    EXPECT_EQ(ReadWochenplan(platform::IniFile(home.file("none.INI"))).land, std::nullopt);
}

TEST(Wochenplan, HolidaysAndClosingDaysFireAsSundays) {
    TWochenplan plan;
    plan.tage[0] = TWochentage::FromText("Mo-Fr"); // day configuration
    plan.tage[1] = TWochentage::FromText("Sa,So"); // night configuration at the weekend
    plan.tage[2] = TWochentage::FromText("Sa");
    ASSERT_TRUE(plan.betriebsferien.add(QDate(2026, 7, 27), QDate(2026, 7, 31)));

    const QDate fronleichnam(2026, 6, 4); // a Thursday
    EXPECT_TRUE(plan.fires(0, fronleichnam)) << "no Land, no holidays";
    plan.land = Land::NW;
    EXPECT_FALSE(plan.fires(0, fronleichnam));
    EXPECT_TRUE(plan.fires(1, fronleichnam));
    EXPECT_TRUE(plan.fires(3, fronleichnam)) << "every day by default";
    EXPECT_EQ(plan.sonntagsGrund(fronleichnam), "Fronleichnam");
    EXPECT_TRUE(plan.fires(0, QDate(2026, 6, 5)));
    EXPECT_FALSE(plan.fires(1, QDate(2026, 6, 5)));

    // A holiday on a Saturday is a Sunday too: a Saturday-only entry rests.
    EXPECT_TRUE(plan.fires(2, QDate(2027, 4, 24)));
    EXPECT_FALSE(plan.fires(2, QDate(2027, 5, 1)));
    EXPECT_TRUE(plan.fires(1, QDate(2027, 5, 1)));

    // Closing days, both ends included.
    EXPECT_TRUE(plan.fires(0, QDate(2026, 7, 24)));
    EXPECT_FALSE(plan.fires(0, QDate(2026, 7, 27)));
    EXPECT_FALSE(plan.fires(0, QDate(2026, 7, 31)));
    EXPECT_TRUE(plan.fires(1, QDate(2026, 7, 31)));
    EXPECT_EQ(plan.sonntagsGrund(QDate(2026, 7, 29)), "Betriebsferien");
    EXPECT_TRUE(plan.fires(0, QDate(2026, 8, 3)));
    EXPECT_EQ(plan.sonntagsGrund(QDate(2026, 8, 3)), std::nullopt);

    EXPECT_FALSE(plan.fires(-1, QDate(2026, 8, 3)));
    EXPECT_FALSE(plan.fires(kEntries, QDate(2026, 8, 3)));
    EXPECT_FALSE(plan.fires(3, QDate()));
}

TEST(Wochenplan, WritesTheDaysIntoTheEntrysSection) {
    testsupport::ScratchHome home;
    testsupport::writeAll(home.file("WinVarno.INI"), "[Zeitpunkt2]\nZeit=1800\n; Nacht\n");
    platform::IniFile ini(home.file("WinVarno.INI"));
    WriteTage(ini, 1, TWochentage::FromText("so,sa"));
    WriteTage(ini, 4, TWochentage::FromText("Mo"));
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(testsupport::readAll(home.file("WinVarno.INI")),
              "[Zeitpunkt2]\nZeit=1800\n; Nacht\nTage=Sa,So\n");
}

// A year of checks once a minute on a Berlin clock, against the plan of a practice in
// North Rhine-Westphalia: the expectation comes from the calendar written out here.
TEST(Wochenplan, AYearInBerlinFiresEachEntryOnItsDaysOnly) {
    const QTimeZone berlin("Europe/Berlin");
    ASSERT_TRUE(berlin.isValid());
    testsupport::ScratchHome home;
    testsupport::writeAll(home.file("WinVarno.INI"), "[Zeitpunkt1]\nTage=Mo-Fr\n"
                                                     "[Zeitpunkt2]\nTage=Mo,Di,Mi,Do,Fr\n"
                                                     "[Zeitpunkt3]\nTage=So\n"
                                                     "[Zeitpunkt4]\nTage=Fr\n"
                                                     "[Feiertage]\nLand=NW\n"
                                                     "[Betriebsferien]\n27.07.2026=31.07.2026\n");
    const TWochenplan plan = ReadWochenplan(platform::IniFile(home.file("WinVarno.INI")));
    // At 18:00 the Friday entry, lower in the list, wins over the weekday one, but only
    // where it is meant for the day; 02:30 is skipped in March and repeated in October.
    const std::array<Entry, kEntries> entries{Entry{"0800", "tag.vrn"}, Entry{"1800", "nacht.vrn"},
                                              Entry{"0230", "sonntag.vrn"},
                                              Entry{"1800", "wochenende.vrn"}};

    // NRW's holidays in 2026 (Easter on 5 April) and the closing week.
    const std::vector<QDate> sundays{{2026, 1, 1},  {2026, 4, 3},   {2026, 4, 6},   {2026, 5, 1},
                                     {2026, 5, 14}, {2026, 5, 25},  {2026, 6, 4},   {2026, 10, 3},
                                     {2026, 11, 1}, {2026, 12, 25}, {2026, 12, 26}, {2026, 7, 27},
                                     {2026, 7, 28}, {2026, 7, 29},  {2026, 7, 30},  {2026, 7, 31}};
    std::map<std::string, int> expected;
    for (QDate d(2026, 1, 1); d.year() == 2026; d = d.addDays(1)) {
        const bool sunday =
            d.dayOfWeek() == 7 || std::find(sundays.begin(), sundays.end(), d) != sundays.end();
        const int dow = sunday ? 7 : d.dayOfWeek();
        if (dow <= 5)
            ++expected["tag.vrn"];
        if (dow <= 4)
            ++expected["nacht.vrn"];
        if (dow == 5)
            ++expected["wochenende.vrn"];
        if (dow == 7)
            ++expected["sonntag.vrn"];
    }
    EXPECT_EQ(expected["tag.vrn"], 261 - 8 - 5) << "weekdays less weekday holidays and closing";

    QDateTime now(QDate(2025, 12, 31), QTime(23, 0), berlin);
    TZeitsteuerung zeitsteuerung([&] { return now; });
    zeitsteuerung.SetDayRule([&](int entry, QDate date) { return plan.fires(entry, date); });
    std::map<std::string, int> fired;
    QStringList atClockChanges;
    const QDateTime end(QDate(2027, 1, 1), QTime(0, 0), berlin);
    for (; now < end; now = now.addSecs(60)) {
        const QString path = zeitsteuerung.Tick(entries, false);
        if (path.isEmpty())
            continue;
        ++fired[path.toStdString()];
        if (now.date() == QDate(2026, 3, 29) || now.date() == QDate(2026, 10, 25))
            atClockChanges << now.toString("dd.MM. HH:mm") +
                                  QString(" +%1 ").arg(now.offsetFromUtc() / 3600) + path;
    }
    EXPECT_EQ(fired, expected);
    EXPECT_EQ(atClockChanges,
              QStringList({"29.03. 03:00 +2 sonntag.vrn", "25.10. 02:30 +2 sonntag.vrn"}));
}
