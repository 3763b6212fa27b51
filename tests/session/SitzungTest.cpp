#include "session/Sitzung.h"

#include "charges/ChargeLog.h"
#include "config/ParameterFile.h"
#include "device/PacedSend.h"
#include "platform/IniFile.h"
#include "support/FakeLine.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using testsupport::TFakeLine;

QByteArray Grundblock(int ports, const QByteArray& msn0 = QByteArray::fromHex("21f3ffffff")) {
    QByteArray data(113, '\0');
    data[2] = char(ports);
    data[3] = 1;
    data[4] = 1;
    data[5] = 93;
    for (int m = 0; m < 10; ++m)
        data.replace(7 + 5 * m, 5, QByteArray::fromHex("ffffffffff"));
    data.replace(7, 5, msn0);
    return TFakeLine::Frame(data);
}

QByteArray Endgeraeteblock() {
    return TFakeLine::Frame(QByteArray(195, '\0'));
}

QByteArray Gebuehrenblock(int units21) {
    QByteArray data(132, '\0');
    data[1] = char(units21);
    return TFakeLine::Frame(data);
}

// Everything the session reports, one line each.
struct TProtokoll : session::TBeobachter {
    QStringList seen;
    void Meldung(int nummer, int stufe, const QString& argument) override {
        seen << QStringLiteral("meldung %1 %2 %3").arg(nummer).arg(stufe).arg(argument);
    }
    void GrundblockDecodiert(const config::BasicBlockView& v) override {
        seen << "grundblock " + v.Firmware + " " + v.MSN[0];
    }
    void EndgeraeteblockDecodiert(const config::TerminalBlockView& v) override {
        seen << QStringLiteral("endgeraete %1").arg(v.DecodedPorts);
    }
    void GebuehrenBerechnet(const charges::ChargeTexts& t, int ports) override {
        seen << QStringLiteral("gebuehren %1 %2 %3")
                    .arg(ports)
                    .arg(t.einheitenSumme, t.kostenSumme.trimmed());
    }
    void ZuwaechseBerechnet(const std::array<QString, session::kPorts>& z, const QString& summe,
                            int) override {
        seen << "zuwaechse " + z[0] + " " + summe;
    }
    void ZaehlerBehalten(int port, std::uint16_t wert) override {
        seen << QStringLiteral("behalten %1 %2").arg(port).arg(wert);
    }
    void SteuerungFreigeben(bool frei) override { seen << (frei ? "frei" : "gesperrt"); }
    void LesenVollstaendig() override { seen << "vollstaendig"; }
    void BudgetWarnung(const QString& text) override { seen << "budget " + text; }
    void VerlaufErgaenzt(int id) override { seen << QStringLiteral("verlauf %1").arg(id); }
};

struct SitzungFixture : ::testing::Test {
    testsupport::ScratchHome home;
    TFakeLine line;
    TProtokoll protokoll;
    QDateTime now{QDate(2026, 12, 7), QTime(9, 5, 3)};
    std::unique_ptr<session::TSitzung> sitzung;
    QString historyDirectory = home.file("Verlauf");

    void SetUp() override {
        device::SetPacingStep(std::chrono::milliseconds(1));
        line.answers[QByteArray::fromHex("830a0000")] = Grundblock(2);
        line.answers[QByteArray::fromHex("83080000")] = Endgeraeteblock();
        line.answers[QByteArray::fromHex("83060000")] = Gebuehrenblock(12);
    }
    void TearDown() override { device::SetPacingStep(std::chrono::milliseconds(50)); }

    // Start-up as the program runs it, without a window.
    void start(const QByteArray& settings, const startup::Switches& schalter = {}) {
        testsupport::writeAll(home.file("WinVarno.INI"), settings);
        session::TSitzungsUmgebung env;
        env.settingsPath = home.file("WinVarno.INI");
        env.programPath = home.file("WinVarno");
        env.now = [this] { return now; };
        env.historyDirectory = historyDirectory;
        sitzung.reset(); // a restart: the old session lets go of the line first
        sitzung = std::make_unique<session::TSitzung>(env, line, protokoll);
        sitzung->Vorbereiten();
        sitzung->SetzeSchalter(schalter);
        const platform::IniFile ini(env.settingsPath);
        ASSERT_TRUE(sitzung->OeffneSchnittstelle(startup::LiesPortName(ini)));
        sitzung->EinstellungenAnwenden(startup::LiesEinstellungen(ini));
        sitzung->WochenplanAnwenden(ini);
        sitzung->ArmeZyklus();
        line.calls.clear();
        protokoll.seen.clear();
    }
    bool readDone() const {
        return !sitzung->TransferAktiv() && protokoll.seen.contains("vollstaendig");
    }
    bool read() {
        protokoll.seen.clear();
        return sitzung->StartRead() && testsupport::WaitUntil([&] { return readDone(); });
    }
    // What the exchange answers from now on: its MSN 0 with the digits packed.
    void exchangeHolds(const char* msn0) {
        line.answers[QByteArray::fromHex("830a0000")] = Grundblock(2, QByteArray::fromHex(msn0));
    }
    // The history as another process reads it: "number origin MSN0" per version.
    QStringList versions() const {
        config::ConfigHistory history(historyDirectory);
        history.Open();
        QStringList out;
        for (const config::HistoryVersion& v : history.Versions())
            out << QStringLiteral("%1 %2 %3")
                       .arg(v.id)
                       .arg(config::OriginText(v.origin, v.detail), history.Load(v.id)->MsnText(0));
        return out;
    }
};

QByteArray Row(const QDateTime& when, int units21) {
    return charges::LogRow(when, {units21, 0, 0, 0, 0, 0, 0, 0}, units21);
}

} // namespace

TEST_F(SitzungFixture, AFullReadDecodesLogsItsRowAndChecksTheBudgets) {
    start("[Allgemein]\nAnschluß=COM2\nKosten=0,10\n[Budget]\n21=1,00\n");
    const QByteArray before = charges::LogHeader() + Row(QDateTime(QDate(2026, 11, 30), {}), 0);
    testsupport::writeAll(sitzung->ChargeLogPath(), before);

    ASSERT_TRUE(sitzung->StartRead());
    EXPECT_TRUE(sitzung->TransferAktiv());
    ASSERT_TRUE(testsupport::WaitUntil([&] { return readDone(); }));

    EXPECT_EQ(line.calls,
              QStringList({"send 83 0a 00 00", "send 83 08 00 00", "send 83 06 00 00"}));
    const QString budget =
        QString::fromUtf8("Anschluß 21: Kosten 1,20 im Monat 12/2026, Budget 1,00");
    EXPECT_EQ(protokoll.seen,
              QStringList({"meldung 2 1 ", "gesperrt", "grundblock 1.93 123", "meldung 3 1 ",
                           "endgeraete 2", "meldung 1 1 ", "meldung 0 0 ", "gebuehren 2 12 1,20",
                           "zuwaechse (+12) (+12)", "budget " + budget,
                           QString::fromUtf8("meldung 50 2 21: 1,20 von 1,00"), "verlauf 1",
                           "vollstaendig", "frei"}));
    EXPECT_EQ(testsupport::readAll(sitzung->ChargeLogPath()), before + Row(now, 12));
    EXPECT_EQ(sitzung->LoggedSum(), 0) << "the row that was last before";
    EXPECT_FALSE(sitzung->BackupPending());
    EXPECT_EQ(sitzung->Arrays().UnitCounter[0], 12);
}

TEST_F(SitzungFixture, AWriteSendsTheImageAndKeepsTheUsersCounter) {
    start("[Allgemein]\nAnschluß=COM2\n");
    ASSERT_TRUE(sitzung->StartRead());
    ASSERT_TRUE(testsupport::WaitUntil([&] { return readDone(); }));
    sitzung->Arrays().UnitCounter[1] = 99;
    sitzung->Arrays().UnitCounterEdited[1] = true;
    line.calls.clear();
    protokoll.seen.clear();

    EXPECT_EQ(sitzung->Schreiben(), device::TWriteResult::Written);
    EXPECT_FALSE(sitzung->TransferAktiv());
    EXPECT_EQ(protokoll.seen.first(), "gesperrt");
    EXPECT_EQ(protokoll.seen.last(), "frei");
    for (const QString& m : {QString::fromUtf8("meldung 26 1 "), QStringLiteral("meldung 27 1 21"),
                             QStringLiteral("meldung 27 1 22"), QStringLiteral("behalten 2 99"),
                             QStringLiteral("meldung 35 1 "), QStringLiteral("meldung 0 0 ")})
        EXPECT_TRUE(protokoll.seen.contains(m)) << m.toStdString();
    EXPECT_FALSE(protokoll.seen.contains("vollstaendig")) << "a write evaluates nothing";
    EXPECT_TRUE(line.calls.contains("send 83 06 00 00")) << "the counters read afresh";
    EXPECT_EQ(sitzung->Image().UnitCounterValue(2), 99);
}

TEST_F(SitzungFixture, TheCyclicReadFallsDueOncePerPeriodWhileTheBoxIsTicked) {
    start("[Allgemein]\nAnschluß=COM2\nWartezeit=2\n", {false, true});
    sitzung->SetZyklischNeuLesen(true);
    ASSERT_EQ(sitzung->ZyklusZaehler(), 120);
    for (int i = 0; i < 119; ++i)
        sitzung->Sekunde();
    EXPECT_TRUE(line.calls.isEmpty());
    sitzung->Sekunde();
    EXPECT_EQ(line.calls, QStringList({"send 83 0a 00 00"}));
    EXPECT_EQ(sitzung->ZyklusZaehler(), 120) << "re-armed";
    ASSERT_TRUE(testsupport::WaitUntil([&] { return readDone(); }));

    // Unticked, the period runs on and reads nothing.
    sitzung->SetZyklischNeuLesen(false);
    line.calls.clear();
    for (int i = 0; i < 120; ++i)
        sitzung->Sekunde();
    EXPECT_TRUE(line.calls.isEmpty());
    EXPECT_EQ(sitzung->ZyklusZaehler(), 120);
}

TEST_F(SitzungFixture, AScheduledLoadWritesTheFileWithTheExchangesCounters) {
    start("[Allgemein]\nAnschluß=COM2\n");
    ASSERT_TRUE(sitzung->StartRead());
    ASSERT_TRUE(testsupport::WaitUntil([&] { return readDone(); }));
    config::ConfigImage file = sitzung->Image();
    file.SetMsnText(0, u"4711");
    file.SetUnitCounterValue(1, 500);
    const QString path = home.file("nacht.vrn");
    ASSERT_TRUE(config::SaveParameterFile(path, file));
    sitzung->SetZeitpunkt(2, {"0906", path});
    line.calls.clear();
    protokoll.seen.clear();

    sitzung->Sekunde();
    EXPECT_TRUE(line.calls.isEmpty()) << "09:05 is not yet its time";
    now = now.addSecs(60);
    sitzung->Sekunde();
    EXPECT_TRUE(sitzung->TransferAktiv()) << "the line is held for the load";
    EXPECT_TRUE(line.calls.isEmpty()) << "the load runs once the timer's handler has returned";
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return !sitzung->TransferAktiv() && protokoll.seen.contains("frei"); }));
    EXPECT_EQ(protokoll.seen.first(), "grundblock 1.93 4711");
    EXPECT_TRUE(protokoll.seen.contains("meldung 26 1 "));
    EXPECT_EQ(sitzung->Image().MsnText(0), "4711");
    EXPECT_EQ(sitzung->Image().UnitCounterValue(1), 12) << "the exchange keeps its own counters";
    line.calls.clear();
    sitzung->Sekunde();
    EXPECT_FALSE(sitzung->TransferAktiv()) << "once in its minute";
    EXPECT_TRUE(line.calls.isEmpty());
}

TEST_F(SitzungFixture, AnEntryNotMeantForTheDayIsAsIfItWereNotThere) {
    // 7 December 2026 is a Monday.
    start("[Allgemein]\nAnschluß=COM2\n[Zeitpunkt1]\nTage=Mon\n"
          "[Zeitpunkt3]\nTage=Mo\n[Zeitpunkt4]\nTage=Sa\n");
    ASSERT_TRUE(sitzung->StartRead());
    ASSERT_TRUE(testsupport::WaitUntil([&] { return readDone(); }));
    config::ConfigImage file = sitzung->Image();
    file.SetMsnText(0, u"4711");
    ASSERT_TRUE(config::SaveParameterFile(home.file("montag.vrn"), file));
    file.SetMsnText(0, u"6666");
    ASSERT_TRUE(config::SaveParameterFile(home.file("samstag.vrn"), file));
    sitzung->SetZeitpunkt(2, {"0906", home.file("montag.vrn")});
    sitzung->SetZeitpunkt(3, {"0906", home.file("samstag.vrn")});

    sitzung->Sekunde();
    now = now.addSecs(60);
    sitzung->Sekunde();
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return !sitzung->TransferAktiv() && protokoll.seen.contains("frei"); }));
    EXPECT_EQ(sitzung->Image().MsnText(0), "4711") << "the Saturday entry does not outrank it";

    // Re-applied settings take the file's days anew and tell what they passed over.
    protokoll.seen.clear();
    sitzung->WochenplanAnwenden(platform::IniFile(home.file("WinVarno.INI")));
    EXPECT_EQ(protokoll.seen, QStringList({"meldung 75 2 [Zeitpunkt1] Tage=Mon"}));
    EXPECT_EQ(sitzung->Wochenplan().tage[3], schedule::TWochentage::FromText("Sa"));
}

TEST_F(SitzungFixture, ALineHandedToAnotherProcessIsLeftAloneUntilTakenBack) {
    start("[Allgemein]\nAnschluß=COM2\n", {false, true});
    sitzung->SetZyklischNeuLesen(true);
    ASSERT_TRUE(sitzung->StartRead());
    EXPECT_FALSE(sitzung->LeitungAbgeben()) << "not in the middle of a read";
    ASSERT_TRUE(testsupport::WaitUntil([&] { return readDone(); }));
    const QString path = home.file("nacht.vrn");
    ASSERT_TRUE(config::SaveParameterFile(path, sitzung->Image()));
    sitzung->SetZeitpunkt(0, {"0905", path});
    line.calls.clear();
    protokoll.seen.clear();

    ASSERT_TRUE(sitzung->LeitungAbgeben());
    EXPECT_EQ(line.calls, QStringList{"close"});
    // A cyclic read and a scheduled load both fall due: neither comes.
    sitzung->SetZyklusZaehler(1);
    sitzung->Sekunde();
    EXPECT_FALSE(sitzung->StartRead());
    EXPECT_EQ(sitzung->Schreiben(), device::TWriteResult::NotStarted);
    EXPECT_FALSE(sitzung->JetztSchreiben(0));
    sitzung->PortNeuOeffnen();
    QCoreApplication::processEvents();
    EXPECT_FALSE(sitzung->TransferAktiv());
    EXPECT_EQ(line.calls, QStringList{"close"});

    // Taken back, the line is opened again for the next read.
    sitzung->LeitungZuruecknehmen();
    ASSERT_TRUE(sitzung->StartRead());
    EXPECT_EQ(line.calls, QStringList({"close", "open COM2", "send 83 0a 00 00"}));
}

TEST_F(SitzungFixture, TheHistoryKeepsEachConfigurationOnceWithWhereItCameFrom) {
    start("[Allgemein]\nAnschluß=COM2\n");
    ASSERT_TRUE(read());
    EXPECT_TRUE(protokoll.seen.contains("verlauf 1"));
    ASSERT_TRUE(read());
    EXPECT_TRUE(protokoll.seen.filter("verlauf").isEmpty());
    EXPECT_EQ(versions(), QStringList({"1 gelesen 123"})) << "seen again, kept once";
    EXPECT_TRUE(protokoll.seen.filter("meldung 94").isEmpty());

    // A write the exchange takes, read back as written.
    sitzung->Image().SetMsnText(0, u"4711");
    exchangeHolds("7411ffffff");
    protokoll.seen.clear();
    EXPECT_EQ(sitzung->Schreiben(), device::TWriteResult::Written);
    EXPECT_TRUE(protokoll.seen.contains("meldung 90 1 "));

    sitzung->Image().SetMsnText(0, u"5555");
    ASSERT_TRUE(sitzung->SpeichereParameterDatei(home.file("a.vrn")));
    ASSERT_TRUE(sitzung->LadeParameterDatei(home.file("a.vrn")));

    // Entry 3 by its time: recorded as the schedule's, not as the file's.
    config::ConfigImage file = sitzung->Image();
    file.SetMsnText(0, u"6666");
    ASSERT_TRUE(config::SaveParameterFile(home.file("b.vrn"), file));
    sitzung->SetZeitpunkt(2, {"0906", home.file("b.vrn")});
    exchangeHolds("6666ffffff");
    sitzung->Sekunde();
    now = now.addSecs(60);
    protokoll.seen.clear();
    sitzung->Sekunde();
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return !sitzung->TransferAktiv() && protokoll.seen.contains("frei"); }));
    EXPECT_TRUE(protokoll.seen.contains("meldung 90 1 "));

    // Programmed at the exchange meanwhile: said once.
    exchangeHolds("7777ffffff");
    ASSERT_TRUE(read());
    EXPECT_TRUE(protokoll.seen.contains(QString::fromUtf8("meldung 94 1 MSN 0: 6666 → 7777")));
    ASSERT_TRUE(read());
    EXPECT_TRUE(protokoll.seen.filter("meldung 94").isEmpty());

    EXPECT_EQ(versions(), QStringList({"1 gelesen 123", "2 geschrieben 4711", "3 Datei a.vrn 5555",
                                       "4 Zeitpunkt 3 6666",
                                       QString::fromUtf8("5 an der Anlage geändert 7777")}));

    // A version back into the pages, with the exchange's counters.
    protokoll.seen.clear();
    ASSERT_TRUE(sitzung->WiederherstellenVersion(2));
    EXPECT_EQ(protokoll.seen.first(), "grundblock 1.93 4711");
    EXPECT_EQ(sitzung->Image().UnitCounterValue(1), 12);
    EXPECT_EQ(sitzung->Transfer().WriteBlocker(), device::TWriteBlocker::None);
    EXPECT_FALSE(sitzung->WiederherstellenVersion(9));
    EXPECT_EQ(protokoll.seen.last(),
              QString::fromUtf8("meldung 96 2 Version 9 gibt es im Konfigurationsverlauf nicht"));
    EXPECT_EQ(sitzung->Image().MsnText(0), "4711");
}

TEST_F(SitzungFixture, AWriteTheExchangeDidNotTakeIsRedAndBothAreKept) {
    start("[Allgemein]\nAnschluß=COM2\n[Bezeichnungen]\n21=Büro\n");
    ASSERT_TRUE(read());
    sitzung->Image().SetAssignmentMask(0, 0x01);
    sitzung->Image().SetAssignmentMask(1, 0x01);
    protokoll.seen.clear();
    EXPECT_EQ(sitzung->Schreiben(), device::TWriteResult::Differs);
    EXPECT_TRUE(protokoll.seen.contains(QString::fromUtf8(
        "meldung 91 2 Anschluß 21 (Büro) klingelt nicht mehr bei MSN 0 und 1 weitere Änderung")));
    config::ConfigHistory history(historyDirectory);
    history.Open();
    ASSERT_EQ(history.Versions().size(), 2u);
    EXPECT_EQ(history.Versions()[0].origin, config::Origin::Read);
    EXPECT_EQ(history.Load(2)->AssignmentMask(1), 0x01) << "as written";
    ASSERT_TRUE(sitzung->AnlagenKonfiguration());
    EXPECT_EQ(sitzung->AnlagenKonfiguration()->AssignmentMask(1), 0) << "as read back";
    EXPECT_EQ(sitzung->Image().AssignmentMask(1), 0x01) << "the pages keep it, to write again";
}

TEST_F(SitzungFixture, AScheduledFileTheExchangeHoldsIsNotWrittenAlsoAfterARestart) {
    start("[Allgemein]\nAnschluß=COM2\n");
    ASSERT_TRUE(read());
    config::ConfigImage file = sitzung->Image();
    file.SetUnitCounterValue(1, 500); // counters are no configuration
    file.BasicBlock()[5] = 92;        // nor is the firmware, which the exchange sets
    ASSERT_TRUE(config::SaveParameterFile(home.file("gleich.vrn"), file));
    file.SetMsnText(0, u"4711");
    file.BasicBlock()[5] = 93;
    ASSERT_TRUE(config::SaveParameterFile(home.file("anders.vrn"), file));
    const auto jetzt = [&](const QString& name) {
        sitzung->SetZeitpunkt(0, {"9999", home.file(name)});
        line.calls.clear();
        protokoll.seen.clear();
        EXPECT_TRUE(sitzung->JetztSchreiben(0));
        EXPECT_TRUE(testsupport::WaitUntil(
            [&] { return !sitzung->TransferAktiv() && protokoll.seen.size() > 2; }));
        return !line.calls.isEmpty();
    };

    EXPECT_FALSE(jetzt("gleich.vrn")) << "as the last complete read left it";
    EXPECT_EQ(protokoll.seen.last(), "meldung 95 1 gleich.vrn");
    exchangeHolds("7411ffffff");
    EXPECT_TRUE(jetzt("anders.vrn"));
    EXPECT_FALSE(jetzt("anders.vrn")) << "as the last write read it back";

    // The next run knows what the exchange holds before it has read anything.
    start("[Allgemein]\nAnschluß=COM2\n");
    EXPECT_FALSE(jetzt("anders.vrn"));
    EXPECT_TRUE(jetzt("gleich.vrn"));
    EXPECT_TRUE(protokoll.seen.contains("meldung 91 2 MSN 0: 123 → 4711")) << "not taken";
    // The history tells configurations apart by every byte written, the firmware too.
    EXPECT_EQ(versions(),
              QStringList({"1 gelesen 123", "2 Zeitpunkt 1 4711", "3 Zeitpunkt 1 123"}));

    // A write cut short by the program's end leaves the next run knowing nothing.
    int sent = 0;
    line.onSend = [&](QByteArrayView) {
        if (++sent == 10)
            sitzung->Beenden();
        return true;
    };
    EXPECT_EQ(sitzung->Schreiben(), device::TWriteResult::Aborted);
    line.onSend = nullptr;
    start("[Allgemein]\nAnschluß=COM2\n");
    EXPECT_FALSE(sitzung->AnlagenKonfiguration());
}

TEST_F(SitzungFixture, AHistoryThatCannotBeKeptIsToldOnceAndBlocksNothing) {
    historyDirectory = home.file("Verlauf.txt");
    testsupport::writeAll(historyDirectory, "no directory");
    start("[Allgemein]\nAnschluß=COM2\n");
    ASSERT_TRUE(read());
    EXPECT_EQ(protokoll.seen.filter("meldung 93 2 Verzeichnis").size(), 1);
    ASSERT_TRUE(read());
    EXPECT_TRUE(protokoll.seen.filter("meldung 93").isEmpty()) << "told once";
    protokoll.seen.clear();
    EXPECT_EQ(sitzung->Schreiben(), device::TWriteResult::Written);
}
