#include "schedule/Wochenplan.h"
#include "platform/IniFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

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
    }
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
