#include "schedule/Schedule.h"

#include <gtest/gtest.h>

using namespace schedule;

namespace {
std::array<Entry, kEntries> Entries(std::initializer_list<Entry> set) {
    std::array<Entry, kEntries> e{Entry{"9999", ""}, Entry{"9999", ""}, Entry{"9999", ""},
                                  Entry{"9999", ""}};
    int i = 0;
    for (const Entry& x : set)
        e[i++] = x;
    return e;
}
} // namespace

TEST(ScheduleCandidate, ExactTimesAndTheHigherEntryWins) {
    EXPECT_EQ(Candidate(Entries({}), "9999"), "") << "an empty file never fires";
    EXPECT_EQ(Candidate(Entries({{"0930", "/a.vrn"}}), "0930"), "/a.vrn");
    EXPECT_EQ(Candidate(Entries({{" 930", "/a.vrn"}}), "0930"), "");
    EXPECT_EQ(Candidate(Entries({{"0930", "/a.vrn"}, {"0930", "/b.vrn"}}), "0930"), "/b.vrn");
    EXPECT_EQ(Candidate(Entries({{"0930", "/a.vrn"}, {"0930", ""}}), "0930"), "")
        << "the later entry wins even with an empty name";
    EXPECT_EQ(Candidate(Entries({{"0930", QString(200, 'x')}}), "0930").size(), 128);
}

TEST(ScheduleCheck, FiresOncePerMinuteAndWaitsForATransfer) {
    TZeitsteuerung z;
    const auto entries = Entries({{"0930", "/a.vrn"}});
    int fired = 0;
    for (int tick = 0; tick < 60; ++tick)
        fired += !z.Tick(entries, "0930", false).isEmpty();
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(z.ZeitsteuerungSperre, kLockTicks - 59);
    for (int tick = 0; tick < 10; ++tick)
        EXPECT_TRUE(z.Tick(entries, "0931", false).isEmpty());
    EXPECT_EQ(z.ZeitsteuerungSperre, 0);

    // Due during a transfer: nothing now, once when it ends, never twice.
    TZeitsteuerung busy;
    EXPECT_TRUE(busy.Tick(entries, "0930", true).isEmpty());
    for (int tick = 0; tick < 59; ++tick)
        EXPECT_TRUE(busy.Tick(entries, "0930", tick < 30).isEmpty());
    EXPECT_EQ(busy.TakeDeferred(), "/a.vrn");
    EXPECT_EQ(busy.TakeDeferred(), "");
}
