#include "schedule/Schedule.h"

#include <QTimeZone>
#include <gtest/gtest.h>
#include <vector>

using namespace schedule;

namespace {

std::array<Entry, kEntries> Entries(std::initializer_list<Entry> set) {
    std::array<Entry, kEntries> e{Entry{"9999", ""}, Entry{"9999", ""}, Entry{"9999", ""},
                                  Entry{"9999", ""}};
    int i = 0;
    for (const Entry& x : set)
        e[size_t(i++)] = x;
    return e;
}

const QTimeZone& Berlin() {
    static const QTimeZone zone("Europe/Berlin");
    return zone;
}

// A Berlin wall-clock reading, named with its offset so the repeated hour is clear.
QDateTime Local(const char* text, int offsetHours) {
    QDateTime t = QDateTime::fromString(QString::fromLatin1(text), "yyyy-MM-dd HH:mm:ss");
    t.setOffsetFromUtc(offsetHours * 3600);
    return t.toTimeZone(Berlin());
}

QString Shown(const QDateTime& t) {
    return t.toString("dd.MM. HH:mm:ss") + QString(" +%1").arg(t.offsetFromUtc() / 3600);
}

// The clock jumps by `jump` seconds (an NTP step, or a suspend), then the check
// runs `ticks` times, one second apart.
struct Move {
    int jump;
    int ticks;
};

struct Case {
    const char* name;
    QDateTime start;
    std::array<Entry, kEntries> entries;
    std::vector<Move> moves;
    QStringList fired; // "when what"
};

// Runs a case; what fired, with the wall clock it fired at.
QStringList Play(const Case& c) {
    QDateTime clock = c.start;
    TZeitsteuerung z([&] { return clock; });
    QStringList fired;
    z.Tick(c.entries, false); // the program starts
    for (const Move& m : c.moves) {
        clock = clock.addSecs(m.jump);
        for (int i = 0; i < m.ticks; ++i) {
            clock = clock.addSecs(1);
            if (const QString path = z.Tick(c.entries, false); !path.isEmpty())
                fired << Shown(clock) + " " + path;
        }
    }
    return fired;
}

} // namespace

TEST(ScheduleEntryTime, FourDigitsOfADayOnly) {
    EXPECT_EQ(EntryTime("0930"), QTime(9, 30));
    EXPECT_EQ(EntryTime("0000"), QTime(0, 0));
    EXPECT_EQ(EntryTime("2359"), QTime(23, 59));
    for (const char* never : {"9999", " 930", "930", "2400", "0960", "09:3", "", "09300", "+930"})
        EXPECT_FALSE(EntryTime(never)) << never;
}

TEST(ScheduleByTheCalendar, ClockChangesInBerlin) {
    ASSERT_TRUE(Berlin().isValid());
    const auto at0230 = Entries({{"0230", "/a.vrn"}});
    const auto at0930 = Entries({{"0930", "/a.vrn"}});
    const Case cases[] = {
        {"ordinary day",
         Local("2026-12-07 09:29:58", 1),
         at0930,
         {{0, 120}},
         {"07.12. 09:30:00 +1 /a.vrn"}},
        {"started after its time", Local("2026-12-07 09:30:10", 1), at0930, {{0, 120}}, {}},
        {"spring 2026: the gap's first minute",
         Local("2026-03-29 01:58:00", 1),
         at0230,
         {{0, 600}},
         {"29.03. 03:00:00 +2 /a.vrn"}},
        {"spring 2027",
         Local("2027-03-28 01:58:00", 1),
         at0230,
         {{0, 600}},
         {"28.03. 03:00:00 +2 /a.vrn"}},
        {"spring 2026: the gap's first time too",
         Local("2026-03-29 01:58:00", 1),
         Entries({{"0200", "/a.vrn"}}),
         {{0, 600}},
         {"29.03. 03:00:00 +2 /a.vrn"}},
        {"autumn 2026: the repeated hour fires once",
         Local("2026-10-25 02:20:00", 2),
         at0230,
         {{0, 3600 + 1200}},
         {"25.10. 02:30:00 +2 /a.vrn"}},
        {"autumn 2027",
         Local("2027-10-31 02:20:00", 2),
         at0230,
         {{0, 3600 + 1200}},
         {"31.10. 02:30:00 +2 /a.vrn"}},
        {"autumn: started within the repeated hour, after its first pass",
         Local("2026-10-25 02:40:00", 2),
         at0230,
         {{0, 3600}},
         {"25.10. 02:30:00 +1 /a.vrn"}},
        {"NTP -30 s right after it fired",
         Local("2026-12-07 09:29:50", 1),
         at0930,
         {{0, 15}, {-30, 120}},
         {"07.12. 09:30:00 +1 /a.vrn"}},
        {"NTP -30 s before it fired",
         Local("2026-12-07 09:29:50", 1),
         at0930,
         {{0, 5}, {-30, 120}},
         {"07.12. 09:30:00 +1 /a.vrn"}},
        {"NTP +30 s across it",
         Local("2026-12-07 09:29:50", 1),
         at0930,
         {{0, 5}, {30, 120}},
         {"07.12. 09:30:26 +1 /a.vrn"}},
        {"NTP -2 h after it fired",
         Local("2026-12-07 09:29:50", 1),
         at0930,
         {{0, 20}, {-7200, 7300}},
         {"07.12. 09:30:00 +1 /a.vrn"}},
        {"NTP +2 h across it",
         Local("2026-12-07 08:00:00", 1),
         at0930,
         {{0, 5}, {7200, 120}},
         {"07.12. 10:00:06 +1 /a.vrn"}},
        {"NTP -2 h across midnight after it fired",
         Local("2026-12-07 23:59:50", 1),
         Entries({{"0000", "/a.vrn"}}),
         {{0, 30}, {-7200, 7300}},
         {"08.12. 00:00:00 +1 /a.vrn"}},
        {"suspended over it",
         Local("2026-12-07 23:00:00", 1),
         Entries({{"0300", "/a.vrn"}}),
         {{0, 5}, {8 * 3600, 60}},
         {"08.12. 07:00:06 +1 /a.vrn"}},
        {"suspended over two, the later one is loaded",
         Local("2026-12-07 23:00:00", 1),
         Entries({{"0600", "/b.vrn"}, {"0300", "/a.vrn"}}),
         {{0, 5}, {8 * 3600, 60}},
         {"08.12. 07:00:06 +1 /b.vrn"}},
        {"suspended for two days",
         Local("2026-12-07 23:00:00", 1),
         Entries({{"0300", "/a.vrn"}}),
         {{0, 5}, {48 * 3600, 60}},
         {"09.12. 23:00:06 +1 /a.vrn"}},
        {"same time: the higher entry wins",
         Local("2026-12-07 09:29:58", 1),
         Entries({{"0930", "/a.vrn"}, {"0930", "/b.vrn"}}),
         {{0, 120}},
         {"07.12. 09:30:00 +1 /b.vrn"}},
        {"same time: the higher wins even without a file",
         Local("2026-12-07 09:29:58", 1),
         Entries({{"0930", "/a.vrn"}, {"0930", ""}}),
         {{0, 120}},
         {}},
        {"no file, no time",
         Local("2026-12-07 09:29:58", 1),
         Entries({{"0930", ""}, {" 930", "/a.vrn"}, {"9999", "/a.vrn"}}),
         {{0, 120}},
         {}},
        {"every day once",
         Local("2026-12-07 09:29:58", 1),
         at0930,
         {{0, 3 * 86400}},
         {"07.12. 09:30:00 +1 /a.vrn", "08.12. 09:30:00 +1 /a.vrn", "09.12. 09:30:00 +1 /a.vrn"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Play(c), c.fired) << c.name;
}

TEST(ScheduleByTheCalendar, AChangedTimeIsANewEntryAndPathsAreCut) {
    QDateTime clock = Local("2026-12-07 09:29:58", 1);
    TZeitsteuerung z([&] { return clock; });
    auto entries = Entries({{"0930", QString(200, 'x')}});
    auto tick = [&] {
        clock = clock.addSecs(1);
        return z.Tick(entries, false);
    };
    tick(); // the program starts
    EXPECT_EQ(tick().size(), kPathLength);
    entries[0].zeit = "0932";
    QList<QTime> fired;
    for (int i = 0; i < 200; ++i)
        if (!tick().isEmpty())
            fired << clock.time();
    EXPECT_EQ(fired, QList<QTime>{QTime(9, 32)}) << "the same entry at a new time, once";
}

TEST(ScheduleByTheCalendar, ADayRuleSkipsDates) {
    QDateTime clock = Local("2026-12-07 10:00:00", 1);
    TZeitsteuerung z([&] { return clock; });
    z.SetDayRule([](int, QDate date) { return date.day() != 10; });
    const auto entries = Entries({{"0930", "/a.vrn"}});
    z.Tick(entries, false);
    clock = clock.addDays(3); // suspended until the 10th
    EXPECT_EQ(z.Tick(entries, false), "/a.vrn") << "the 9th was the last date it was meant for";
    clock = clock.addDays(1);
    EXPECT_EQ(z.Tick(entries, false), "/a.vrn");
}

TEST(ScheduleByTheCalendar, DueDuringATransferItWaits) {
    QDateTime clock = Local("2026-12-07 09:29:58", 1);
    TZeitsteuerung z([&] { return clock; });
    const auto entries = Entries({{"0930", "/a.vrn"}});
    for (int tick = 0; tick < 60; ++tick) {
        EXPECT_TRUE(z.Tick(entries, tick < 30).isEmpty());
        clock = clock.addSecs(1);
    }
    EXPECT_EQ(z.TakeDeferred(), "/a.vrn");
    EXPECT_EQ(z.TakeDeferred(), "");
}
