#include "support/WindowFixture.h"

#include "charges/ChargeLog.h"
#include "platform/DdeExport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>

namespace {

struct GebuehrenFixture : WindowFixture {
    std::unique_ptr<THauptFenster> w;
    void start(const QByteArray& extra = {}) {
        settings("[Allgemein]\nAnschluß=COM1\nKosten=0,12\n" + extra);
        w = make();
        LetReadTimeOut(*w);
        w->Sitzung().Image().BasicBlock()[2] = 8;
        w->DecodeBasicBlock();
    }
    void counters(std::array<int, 8> units) {
        for (int p = 1; p <= 8; ++p)
            w->Sitzung().Image().SetUnitCounterValue(p, std::uint16_t(units[p - 1]));
    }
};

} // namespace

TEST_F(GebuehrenFixture, GermanSettingsPriceTheUnits) {
    ASSERT_EQ(QLocale::system().decimalPoint(), ",") << "the test runs in German settings";
    start();
    w->Sitzung().Image().ChargeBlock()[1] = 0x34;
    w->Sitzung().Image().ChargeBlock()[2] = 0x12;
    w->Sitzung().Image().SetUnitCounterValue(2, 15);
    w->EvaluateCharges();
    EXPECT_EQ(EinheitenTabelle(*w, 0)->text(), "4660");
    EXPECT_EQ(KostenTabelle(*w, 1)->text(), "1,80");
    EXPECT_EQ(KostenTabelle(*w, 0)->text(), "559,20");
    EXPECT_EQ(Control<QLabel>(*w, "EinheitenSumme")->text(), "4675");
    EXPECT_EQ(Control<QLabel>(*w, "KostenSumme")->text(), "561,00");
    EXPECT_EQ(Control<TDdeServer>(*w, "WinVarno")->DDEEinheiten(), "4660;15;0;0;0;0;0;0");
    EXPECT_EQ(Control<TDdeServer>(*w, "WinVarno")->DDEKosten(),
              "559,20;1,80;0,00;0,00;0,00;0,00;0,00;0,00");
    EXPECT_EQ(w->Sitzung().Arrays().UnitCounter[0], 4660);
}

TEST_F(GebuehrenFixture, FourPortsLeaveTheOtherRowsAlone) {
    start();
    w->Sitzung().Image().BasicBlock()[2] = 4;
    w->DecodeBasicBlock();
    for (int i = 4; i < 8; ++i)
        EinheitenTabelle(*w, i)->setText("alt");
    counters({1, 2, 3, 4, 5, 6, 7, 8});
    w->EvaluateCharges();
    EXPECT_EQ(EinheitenTabelle(*w, 3)->text(), "4");
    for (int i = 4; i < 8; ++i) {
        EXPECT_EQ(EinheitenTabelle(*w, i)->text(), "alt");
        EXPECT_TRUE(KostenTabelle(*w, i)->text().isEmpty());
    }
    EXPECT_EQ(Control<TDdeServer>(*w, "WinVarno")->DDEEinheiten(), "1;2;3;4;5;6;7;8");
    EXPECT_EQ(Control<TDdeServer>(*w, "WinVarno")->DDEKosten().count(u';'), 3);
    EXPECT_EQ(Control<QLabel>(*w, "EinheitenSumme")->text(), "10");
}

TEST_F(GebuehrenFixture, OldUnitsFromTheSettings) {
    start("[AlteEinheiten]\n21=100\n[AlteKosten]\n21=10,00\n");
    for (const auto& [units, cost] : {std::pair{150, "16,00"}, {100, "12,00"}, {90, "10,80"}}) {
        counters({units, 0, 0, 0, 0, 0, 0, 0});
        w->EvaluateCharges();
        EXPECT_EQ(KostenTabelle(*w, 0)->text(), cost) << units;
    }
}

TEST_F(GebuehrenFixture, IncreasesSinceTheLastLoggedRowAndTheLogItself) {
    start();
    testsupport::writeAll(w->Sitzung().ChargeLogPath(),
                          charges::LogHeader() +
                              charges::LogRow(now, {10, 0, 0, 0, 0, 0, 0, 0}, 10));
    counters({12, 0, 0, 0, 0, 0, 0, 0});
    w->EvaluateCharges();
    EXPECT_EQ(DiffTabelle(*w, 0)->text(), "(+2)");
    EXPECT_EQ(DiffTabelle(*w, 1)->text(), "");
    EXPECT_EQ(Control<QLabel>(*w, "DiffSumme")->text(), "(+2)");
    EXPECT_TRUE(testsupport::readAll(w->Sitzung().ChargeLogPath())
                    .endsWith(charges::LogRow(now, {12, 0, 0, 0, 0, 0, 0, 0}, 12)));
    EXPECT_TRUE(QFile::exists(w->Sitzung().ChargeBackupPath()));
    for (int units : {10, 5}) {
        counters({units, 0, 0, 0, 0, 0, 0, 0});
        w->EvaluateCharges();
        EXPECT_EQ(DiffTabelle(*w, 0)->text(), "") << units;
    }
    EXPECT_EQ(w->Sitzung().ChargeLogPath(), home.file("WinVarno.dat"));
}

TEST_F(GebuehrenFixture, AnEditedLabelTurnsBlackAndThePortPageFollows) {
    start();
    QPalette red = EinheitenTabelle(*w, 2)->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    EinheitenTabelle(*w, 2)->setPalette(red);
    Control<QComboBox>(*w, "abAuswahl")->setCurrentIndex(2);
    counters({0, 0, 33, 0, 0, 0, 0, 0});
    w->EvaluateCharges();
    EXPECT_EQ(EinheitenTabelle(*w, 2)->palette().color(QPalette::WindowText), QColor(Qt::black));
    EXPECT_EQ(Control<QLineEdit>(*w, "GebuehrenEinheiten")->text(), "33");
}

TEST_F(GebuehrenFixture, AutoEndeMinimisesThreeSecondsAfterTheCharges) {
    settings("[Allgemein]\nAnschluß=COM1\n");
    w = make({"AUTOENDE"});
    w->show();
    LetReadTimeOut(*w);
    w->EvaluateCharges();
    EXPECT_EQ(w->statusText(0), "0:");
    EXPECT_EQ(w->Sitzung().AutoEndeZaehler(), 3);
    w->OnSekunde();
    w->OnSekunde();
    EXPECT_FALSE(w->isMinimized());
    w->OnSekunde();
    EXPECT_TRUE(w->isMinimized());
    EXPECT_TRUE(w->isVisible()) << "a close request without Beenden keeps the program";
}
