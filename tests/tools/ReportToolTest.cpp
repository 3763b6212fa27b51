#include "Report.h"

#include <gtest/gtest.h>

// An empty chart says why, each cause once; a chart with bars needs no word.
TEST(ReportTool, AnEmptyChartSaysWhy) {
    charges::PeriodCosts counted;
    counted.units[0] = 5;
    EXPECT_TRUE(report::LeeresDiagramm({}).contains("keine Zeile"));
    EXPECT_TRUE(report::LeeresDiagramm({charges::PeriodCosts{}}).contains("keine Einheiten"));
    EXPECT_TRUE(report::LeeresDiagramm({counted}).contains("kein Preis je Einheit"));
    counted.costs[0] = 0.6;
    EXPECT_EQ(report::LeeresDiagramm({charges::PeriodCosts{}, counted}), QString());
}
