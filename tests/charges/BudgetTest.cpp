#include "charges/Budget.h"
#include "platform/IniFile.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace charges;

TEST(Budget, ValuesLikeKostenWithoutTheUpperBound) {
    testsupport::ScratchHome home;
    testsupport::writeAll(home.file("WinVarno.INI"),
                          "[budget]\n21=10,00\n22=1500\n23=nan\n24=-5\n25=viel\nsumme=40,5\n");
    const Budgets b = ReadBudgets(platform::IniFile(home.file("WinVarno.INI")));
    EXPECT_EQ(b.limit[0], 10.0);
    EXPECT_EQ(b.limit[1], 1500.0);
    for (int i = 2; i < kHistoryPorts; ++i)
        EXPECT_FALSE(b.limit[size_t(i)]) << i;
    EXPECT_EQ(b.limit[kBudgetSum], 40.5);
    EXPECT_TRUE(b.any());
    EXPECT_FALSE(ReadBudgets(platform::IniFile(home.file("none.INI"))).any());
}

TEST(Budget, EachBudgetOncePerMonthAlsoAcrossARestart) {
    testsupport::ScratchHome home;
    const QString state = home.file("WinVarno.budget");
    Budgets b;
    b.limit[0] = 10.0;
    b.limit[kBudgetSum] = 12.0;
    std::array<double, kHistoryPorts> costs{};
    const QDate dec(2026, 12, 7);

    TBudgetWaechter w(state);
    costs[0] = 10.0; // equal is not over
    costs[1] = 1.9;
    EXPECT_TRUE(w.Check(dec, costs, b).empty());
    costs[0] = 10.01;
    auto first = w.Check(dec, costs, b);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].index, 0);
    EXPECT_DOUBLE_EQ(first[0].costs, 10.01);
    EXPECT_DOUBLE_EQ(first[0].budget, 10.0);
    costs[1] = 2.5;
    auto sum = w.Check(dec, costs, b);
    ASSERT_EQ(sum.size(), 1u) << "port 21 was reported already";
    EXPECT_EQ(sum[0].index, kBudgetSum);
    EXPECT_NEAR(sum[0].costs, 12.51, 1e-9);

    TBudgetWaechter afterRestart(state);
    EXPECT_TRUE(afterRestart.Check(dec.addDays(20), costs, b).empty());
    EXPECT_EQ(afterRestart.Check(QDate(2027, 1, 2), costs, b).size(), 2u) << "a new month";

    // A state file of the wrong shape warns again rather than failing.
    testsupport::writeAll(state, QByteArray(10000, '\n') + "garbage");
    EXPECT_EQ(TBudgetWaechter(state).Check(dec, costs, b).size(), 2u);
}

TEST(Budget, AClockSteppedBackAcrossAMonthEndWarnsNeitherMonthAgain) {
    testsupport::ScratchHome home;
    const QString state = home.file("WinVarno.budget");
    Budgets b;
    b.limit[0] = 10.0;
    std::array<double, kHistoryPorts> costs{};
    costs[0] = 11.0;
    const QDate dec31(2026, 12, 31), jan1(2027, 1, 1);

    TBudgetWaechter w(state);
    EXPECT_EQ(w.Check(dec31, costs, b).size(), 1u);
    EXPECT_EQ(w.Check(jan1, costs, b).size(), 1u) << "a new month";
    EXPECT_TRUE(w.Check(dec31, costs, b).empty()) << "stepped back";
    EXPECT_TRUE(w.Check(jan1, costs, b).empty()) << "and forward again";
    EXPECT_TRUE(TBudgetWaechter(state).Check(dec31, costs, b).empty()) << "also after a restart";

    // A month the clock once wrongly showed does not silence the ones to come.
    EXPECT_EQ(w.Check(QDate(2099, 5, 1), costs, b).size(), 1u);
    EXPECT_EQ(w.Check(QDate(2027, 2, 1), costs, b).size(), 1u);
    EXPECT_TRUE(TBudgetWaechter(state).Check(QDate(2027, 2, 2), costs, b).empty());
}

TEST(Budget, TheStateFileIsKeptWholeOnAFullDiskAndAFifoIsNotWaitedFor) {
    testsupport::ScratchHome home;
    const QString state = home.file("WinVarno.budget");
    Budgets b;
    b.limit[0] = 1.0;
    b.limit[1] = 1.0;
    std::array<double, kHistoryPorts> costs{};
    costs[0] = 2.0;
    const QDate dec(2026, 12, 7);
    ASSERT_EQ(TBudgetWaechter(state).Check(dec, costs, b).size(), 1u);
    const QByteArray before = testsupport::readAll(state);
    costs[1] = 2.0;
    {
        testsupport::FileSizeLimit full(0);
        EXPECT_EQ(TBudgetWaechter(state).Check(dec, costs, b).size(), 1u);
    }
    EXPECT_EQ(testsupport::readAll(state), before) << "never emptied";

    QFile::remove(state);
    ASSERT_TRUE(testsupport::makeFifo(state));
    EXPECT_EQ(TBudgetWaechter(state).Check(dec, costs, b).size(), 2u);
    EXPECT_TRUE(QFileInfo(state).isFile() == false) << "the FIFO is neither read nor replaced";
}
