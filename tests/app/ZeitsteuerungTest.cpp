#include "support/WindowFixture.h"

#include "app/StatusZeile.h"
#include "app/ZeitEdit.h"
#include "config/ParameterFile.h"
#include "device/PacedSend.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

struct ScheduleFixture : WindowFixture {
    std::unique_ptr<THauptFenster> w;
    QString datei;
    void SetUp() override {
        device::SetPacingStep(std::chrono::milliseconds(0));
        settings("[Allgemein]\nAnschluß=COM1\n");
        now = QDateTime(QDate(2026, 12, 7), QTime(9, 29, 58));
        w = make();
        LetReadTimeOut(*w);
        // The exchange's own counters, last read: 40 units on port 21.
        w->Sitzung().Image().SetUnitCounterValue(1, 40);
        w->Sitzung().Image().BasicBlock()[2] = 8;
        w->DecodeBasicBlock();
        w->EvaluateCharges();
        // Every write reads the counters afresh: the exchange still holds its 40.
        QByteArray charges(132, '\0');
        charges[1] = 40;
        line->answers[QByteArray("\x83\x06\x00\x00", 4)] = DeviceAnswer(charges);
        config::ConfigImage file;
        file.BasicBlock()[2] = 2;
        file.BasicBlock()[4] = 1;
        file.BasicBlock()[5] = 93;
        file.SetMsnText(0, u"8888");
        file.SetUnitCounterValue(1, 9999);
        datei = home.file("nacht.vrn");
        config::SaveParameterFile(datei, file);
        w->Sitzung().NachTransfer = [this] {
            if (w->Sitzung().Transfer().CurrentState() == 3)
                ++writes;
        };
        calls.clear();
    }
    int writes = 0;
    void TearDown() override { device::SetPacingStep(std::chrono::milliseconds(50)); }
    void entry(int n, const QString& zeit, const QString& file) {
        EditUhrzeit(*w, n)->setZeitText(zeit);
        EditDateiname(*w, n)->setText(file);
    }
    // Runs the clock on second by second, ticking the window each time.
    // Returns how many writes ran meanwhile.
    int runSeconds(int seconds) {
        const int before = writes;
        for (int i = 0; i < seconds; ++i) {
            now = now.addSecs(1);
            w->OnSekunde();
            QCoreApplication::processEvents();
        }
        return writes - before;
    }
};

} // namespace

TEST_F(ScheduleFixture, AnEntryFiresOnceInItsMinuteAndKeepsTheCounters) {
    entry(0, "0930", datei);
    EXPECT_EQ(runSeconds(1), 0);
    EXPECT_EQ(runSeconds(120), 1);
    EXPECT_EQ(MSNTabelle(*w, 0)->text(), "8888");
    EXPECT_EQ(w->Sitzung().Image().UnitCounterValue(1), 40) << "the charge block is the exchange's";
    EXPECT_EQ(EinheitenTabelle(*w, 0)->text(), "40");
    EXPECT_EQ(w->Sitzung().Arrays().UsedPorts(), 2);
    EXPECT_GT(calls.size(), 300) << "the write put the image on the line";
}

TEST_F(ScheduleFixture, TimesThatNeverMatch) {
    entry(0, "9999", datei);
    entry(1, " 930", datei);
    entry(2, "0930", "");
    EXPECT_EQ(runSeconds(180), 0);
    EXPECT_TRUE(calls.isEmpty());
}

TEST_F(ScheduleFixture, TheHigherEntryWinsEvenWithoutAFile) {
    entry(0, "0930", datei);
    entry(3, "0930", "");
    EXPECT_EQ(runSeconds(120), 0);
    entry(0, "9999", datei);
    entry(3, "0932", datei);
    entry(1, "0932", home.file("fehlt.vrn"));
    EXPECT_EQ(runSeconds(60), 1);
}

TEST_F(ScheduleFixture, AShortFileReportsOnceAndWritesNothing) {
    testsupport::writeAll(home.file("kurz.vrn"), QByteArray(100, '\0'));
    entry(2, "0930", home.file("kurz.vrn"));
    EXPECT_EQ(runSeconds(10), 0);
    const QString meldung =
        QString::fromUtf8("2:Datei %1 konnte nicht geöffnet werden").arg(home.file("kurz.vrn"));
    EXPECT_EQ(w->statusText(0), meldung);
    EXPECT_TRUE(calls.isEmpty());
    w->ZeigeMeldung(0, 0, {});
    EXPECT_EQ(runSeconds(60), 0);
    EXPECT_EQ(w->statusText(0), "0:") << "not tried again in its minute";
}

// The clock is the window's own: an NTP step back right after a write does not
// write again.
TEST_F(ScheduleFixture, AStepBackOfTheClockDoesNotWriteAgain) {
    entry(0, "0930", datei);
    EXPECT_EQ(runSeconds(10), 1);
    now = now.addSecs(-25);
    EXPECT_EQ(runSeconds(120), 0);
}

TEST_F(ScheduleFixture, DueDuringAReadItWaitsForTheEnd) {
    entry(0, "0930", datei);
    w->LesenButtonClick(); // a read that waits for its answer
    calls.clear();
    EXPECT_EQ(runSeconds(5), 0);
    EXPECT_TRUE(w->TransferAktiv());
    EXPECT_EQ(runSeconds(10), 1) << "fires once the time-out has ended the read";
    EXPECT_EQ(runSeconds(60), 0) << "and never twice";
}

TEST_F(ScheduleFixture, JetztSchreibenWritesTheEntrysFileAtOnceAndTheScheduleGoesOn) {
    // 7 December 2026 is a Monday: the entry is not meant for today.
    entry(1, "0930", datei);
    Control<QLineEdit>(*w, "EditTage2")->setText("Sa");
    Control<QPushButton>(*w, "ButtonJetztSchreiben2")->click();
    EXPECT_EQ(runSeconds(1), 1);
    EXPECT_EQ(MSNTabelle(*w, 0)->text(), "8888");
    EXPECT_EQ(w->Sitzung().Image().UnitCounterValue(1), 40) << "as a scheduled load";
    EXPECT_EQ(runSeconds(120), 0) << "its days still count for its time";

    Control<QLineEdit>(*w, "EditTage2")->setText("Mo-Fr");
    now = QDateTime(now.date().addDays(1), QTime(9, 29, 58));
    EXPECT_EQ(runSeconds(120), 1) << "the schedule goes on, on Tuesday";

    Control<QPushButton>(*w, "ButtonJetztSchreiben3")->click();
    EXPECT_EQ(runSeconds(1), 0);
    EXPECT_TRUE(Control<TStatusZeile>(*w, "StatusZeile")->panelText(0).contains("kein Dateiname"));
}
