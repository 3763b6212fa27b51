#include "charges/ChargeEvaluation.h"

#include <gtest/gtest.h>

using namespace charges;

namespace {
ChargeInput German(double price) {
    ChargeInput in;
    in.price = price;
    in.decimalPoint = u',';
    return in;
}
} // namespace

TEST(ChargeEvaluation, CostsInGermanSettings) {
    ChargeInput in = German(0.12);
    in.counters[0] = 15;
    const ChargeTexts t = Evaluate(in);
    EXPECT_EQ(t.einheiten[0], "15");
    EXPECT_EQ(t.kosten[0], "1,80");
    EXPECT_EQ(t.kosten[1], "0,00");
    EXPECT_EQ(t.kostenSumme, "  1,80");
    EXPECT_EQ(t.einheitenSumme, "15");
    EXPECT_EQ(t.ddeEinheiten, "15;0;0;0;0;0;0;0");
    EXPECT_EQ(t.ddeKosten, "1,80;0,00;0,00;0,00;0,00;0,00;0,00;0,00");
}

TEST(ChargeEvaluation, WideNumbersAreNeitherGroupedNorCut) {
    EXPECT_EQ(FormatCost(1440.0, 4, u','), "1440,00");
    EXPECT_EQ(FormatCost(12345.678, 6, u','), "12345,68");
    EXPECT_EQ(FormatCost(0.005, 4, u'.'), "0.01");
    EXPECT_EQ(FormatCost(3.0, 6, u'.'), "  3.00");
    ChargeInput in = German(9.99);
    in.counters.fill(65535);
    const ChargeTexts t = Evaluate(in);
    EXPECT_EQ(t.kosten[7], "654694,65");
    EXPECT_EQ(t.unitsSum, 8 * 65535);
    EXPECT_EQ(t.kostenSumme, "5237557,20");
}

TEST(ChargeEvaluation, OldUnitsKeepTheirOldCost) {
    struct Case {
        int counter;
        const char* cost;
    };
    for (const Case c :
         {Case{150, "16,00"}, Case{100, "12,00"}, Case{90, "10,80"}, Case{101, "10,12"}}) {
        ChargeInput in = German(0.12);
        in.alteEinheiten[0] = 100;
        in.alteKosten[0] = 10.0;
        in.counters[0] = c.counter;
        EXPECT_EQ(Evaluate(in).kosten[0], c.cost) << c.counter;
    }
}

TEST(ChargeEvaluation, OnlyThePortsTheExchangeHas) {
    ChargeInput in = German(0.12);
    in.ports = 4;
    in.counters = {12, 0, 3, 0, 9, 9, 9, 9};
    const ChargeTexts t = Evaluate(in);
    EXPECT_EQ(t.ddeEinheiten, "12;0;3;0;9;9;9;9");
    EXPECT_EQ(t.ddeKosten, "1,44;0,00;0,36;0,00");
    EXPECT_EQ(t.unitsSum, 15);
    EXPECT_TRUE(t.einheiten[4].isNull());
    EXPECT_TRUE(t.kosten[7].isNull());
    for (int ports : {0, -3, 200}) {
        in.ports = ports;
        const ChargeTexts u = Evaluate(in);
        EXPECT_EQ(u.ddeEinheiten.count(u';'), 7) << ports;
        EXPECT_EQ(u.ddeKosten.isEmpty(), ports <= 0) << ports;
    }
}

TEST(ChargeEvaluation, DifferenceOnlyWhenGrown) {
    EXPECT_EQ(DiffText(12, 10), "(+2)");
    EXPECT_EQ(DiffText(10, 10), "");
    EXPECT_EQ(DiffText(5, 10), "");
    EXPECT_EQ(DiffText(65535, 0), "(+65535)");
}
