// The read and write sequences of the real window over the real serial component,
// against the simulated exchange on a pseudo-terminal.
#include "E2eFixture.h"

#include "app/MatrixBild.h"
#include "app/ZeitEdit.h"
#include "charges/ChargeEvaluation.h"
#include "config/ParameterFile.h"
#include "desktop/UMsgHook.h"
#include "device/PacedSend.h"
#include "serial/Comm32.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <mutex>

using namespace std::chrono_literals;

namespace {

// One message as it went over the line: its group headers and its valid data bytes.
struct LineMessage {
    QByteArray headers;
    QByteArray data;
};

QList<LineMessage> SplitMessages(const QByteArray& line) {
    QList<LineMessage> messages;
    LineMessage current;
    for (qsizetype i = 0; i + 4 <= line.size(); i += 4) {
        const auto header = std::uint8_t(line[i]);
        current.headers += char(header);
        current.data += line.mid(i + 1, header & 0x80 ? header & 0x7F : 3);
        if (header & 0x80) {
            messages << current;
            current = {};
        }
    }
    if (!current.headers.isEmpty())
        messages << current; // unterminated: shows up as a wrong header list
    return messages;
}

QByteArray Headers(int groups, std::uint8_t last) {
    return QByteArray(groups - 1, char(0x03)) + char(last);
}

QByteArray Bytes(std::span<const std::uint8_t> bytes, qsizetype n) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), n);
}

} // namespace

TEST_F(E2eFixture, FullReadFillsEveryPage) {
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_TRUE(enabledControls().isEmpty()) << "locked while reading";
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));

    const varnosim::TImage image = sim->ImageSnapshot();
    EXPECT_EQ(Data(config::Region::Basic), Data(image, varnosim::BasicRegion));
    EXPECT_EQ(Data(config::Region::Terminal), Data(image, varnosim::TerminalRegion));
    EXPECT_EQ(Data(config::Region::Charge), Data(image, varnosim::ChargeRegion));
    EXPECT_EQ(w->Image.UnitCounterValue(7), 1999);

    // Configuration page.
    EXPECT_EQ(w->Firmware->text(), "1.93");
    EXPECT_EQ(w->MSNTabelle[0]->text(), "4711");
    EXPECT_EQ(w->MSNTabelle[4]->text(), "0301234567");
    EXPECT_EQ(w->MSNTabelle[7]->text(), "");
    EXPECT_FALSE(w->Protokoll->text().isEmpty());
    EXPECT_EQ(w->abAuswahl->count(), 8);
    // Permissions page: each port decoded from its own record.
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(w->BerechtigungTabelle[i]->text(), w->BerechtigungsNamen[i % 5]) << i;
        EXPECT_EQ(w->DienstTabelle[i]->text(), w->DienstNamen[(i + 2) % 6]) << i;
    }
    EXPECT_TRUE(w->RufumleitungTabelle[4]->text().contains("01715551234"));
    // Assignment page: MSN 0 rings on 21 only.
    EXPECT_NE(w->MSNMatrixTabelle[0][0]->picture(), w->MSNMatrixTabelle[1][0]->picture());
    EXPECT_EQ(w->MSNMatrixTabelle[1][0]->picture(), w->MSNMatrixTabelle[2][0]->picture());
    // Charges page.
    EXPECT_EQ(w->EinheitenTabelle[3]->text(), "512");
    EXPECT_EQ(w->EinheitenTabelle[6]->text(), "1999");

    EXPECT_EQ(w->statusText(0), "0:");
    EXPECT_TRUE(w->MessageHook->Active());
    EXPECT_EQ(enabledControls().size(), 11);
    EXPECT_TRUE(w->ZuordnungTabelle[7]->isEnabled());
    const QStringList requests = requestsAnswered();
    ASSERT_EQ(requests.size(), 3) << requests.join(", ").toStdString();
    EXPECT_TRUE(requests[0].startsWith("request 10 "));
    EXPECT_TRUE(requests[1].startsWith("request 8 "));
    EXPECT_TRUE(requests[2].startsWith("request 6 "));
}

TEST_F(E2eFixture, OtherFirmwareStopsAfterTheBasicBlock) {
    exchange.SetFirmware(1, 92);
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->Firmware->text() == "1.92"; }, kWaitMs));
    EXPECT_EQ(w->statusText(0),
              QString::fromUtf8("2:WinVarno ist nur für Firmware-Version 1.93 geeignet"));
    EXPECT_GT(pixelsOf(*w, Qt::red), 10);
    EXPECT_EQ(enabledControls(),
              QList<QWidget*>({w->LesenButton, w->HilfeButton, w->BeendenButton}));
    EXPECT_EQ(w->Transfer->TimeoutLeft(), -1);
    EXPECT_EQ(w->MSNTabelle[0]->text(), "4711") << "the basic block is still shown";

    // Had the terminal block been asked for, its answer would be here long since.
    QTest::qWait(500);
    EXPECT_EQ(requestsAnswered().size(), 1);
    EXPECT_EQ(sim->BytesSent(),
              long(varnosim::AnswerLineBytes(exchange.Image(), varnosim::BasicRegion).size()));
    EXPECT_EQ(enabledControls(),
              QList<QWidget*>({w->LesenButton, w->HilfeButton, w->BeendenButton}));
}

TEST_F(E2eFixture, SilentChargeRequestTimesOutWithTheViewsKept) {
    exchange.Faults().silentOn = 6;
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w->Transfer->CurrentState() == 2 && w->Transfer->TimeoutLeft() == 5; },
        kWaitMs));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return events().filter("left unanswered").size() == 1; }, kWaitMs));

    ticks(4);
    EXPECT_TRUE(enabledControls().isEmpty());
    EXPECT_NE(w->statusText(0), "2:Kommunikationsfehler");
    ticks(1);
    EXPECT_EQ(w->statusText(0), "2:Kommunikationsfehler");
    EXPECT_GT(pixelsOf(*w, Qt::red), 10);
    EXPECT_EQ(enabledControls().size(), 11);
    EXPECT_FALSE(w->MessageHook->Active());

    EXPECT_EQ(w->Firmware->text(), "1.93");
    EXPECT_EQ(w->MSNTabelle[1]->text(), "4712");
    EXPECT_EQ(w->BerechtigungTabelle[3]->text(), w->BerechtigungsNamen[3]);
    EXPECT_TRUE(w->RufumleitungTabelle[4]->text().contains("01715551234"));
    EXPECT_EQ(w->Image.UnitCounterValue(1), 0) << "no charge block was stored";
}

TEST_F(E2eFixture, LateAnswerStillContinuesTheSequence) {
    // Late in real time only a little; the twelve seconds are counted by hand.
    exchange.Faults().lateOn = 10;
    exchange.Faults().lateMs = 1500;
    ASSERT_NO_FATAL_FAILURE(start());
    ticks(10);
    ASSERT_EQ(w->Image.FirmwareMajor(), 0) << "the answer came before the time-out was counted";
    EXPECT_EQ(w->statusText(0), "2:Kommunikationsfehler");
    EXPECT_EQ(enabledControls().size(), 10);
    EXPECT_FALSE(w->SchreibenButton->isEnabled()) << "nothing read to write";
    ticks(2);

    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    EXPECT_EQ(w->Firmware->text(), "1.93");
    EXPECT_EQ(w->MSNTabelle[0]->text(), "4711");
    EXPECT_EQ(w->BerechtigungTabelle[4]->text(), w->BerechtigungsNamen[4]);
    EXPECT_EQ(w->Image.UnitCounterValue(4), 512);
    EXPECT_EQ(w->statusText(0), "0:");
    EXPECT_TRUE(w->MessageHook->Active());
    EXPECT_EQ(requestsAnswered().size(), 3);
}

// The one test at the program's own pacing of 50 ms a line byte.
TEST_F(E2eFixture, WriteWithTwoPortsPutsTheFramedImageOnTheLine) {
    exchange.SetPortCount(2);
    tapTheLine = true;
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    EXPECT_EQ(tap.Sent().toHex(' '), "83 0a 00 00 83 08 00 00 83 06 00 00");
    const varnosim::TImage before = sim->ImageSnapshot();

    // Something to write that the exchange does not hold yet.
    w->Image.SetMsnText(1, u"98765");
    w->Image.SetAssignmentMask(2, 0x03);
    w->Image.Port(1).SetPermission(3);
    w->Image.Port(2).SetForwardingNumberText(u"0897654321");
    // A counter set on the port page goes out as set; the others as read afresh.
    w->ZeigeSeite(w->TabParametrierung, w->abParametrierung);
    w->abAuswahl->setCurrentIndex(1);
    w->OnabAuswahlChange();
    Tippe(w->GebuehrenEinheiten, "4321");
    w->CommitPortPage();
    const config::ConfigImage image = w->Image;
    QByteArray basic = Bytes(image.BasicBlock(), 107);
    basic[0] = 9;
    QByteArray charges = Bytes(image.ChargeBlock(), 129);
    charges[0] = 5;
    auto port = [&](int p) { return char(7) + Bytes(image.Port(p).Bytes(), 21); };

    QStringList statuses;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (statuses.isEmpty() || statuses.last() != w->statusText(0))
            statuses << w->statusText(0);
    });
    watch.start(10);
    device::SetPacingStep(50ms);
    w->OnSchreibenClick();
    watch.stop();

    statuses.removeAll("0:"); // the fresh charge read's evaluation clears the line
    EXPECT_EQ(statuses, QStringList({QString::fromUtf8("1:Grundkonfiguration wird übertragen"),
                                     QString::fromUtf8("1:Anschluß 21 wird konfiguriert"),
                                     QString::fromUtf8("1:Anschluß 22 wird konfiguriert"),
                                     QString::fromUtf8("1:Gebühreninformationen werden gelesen"),
                                     QString::fromUtf8("1:Gebühreneinheiten werden geschrieben")}));
    EXPECT_EQ(w->statusText(0), "0:");
    EXPECT_EQ(enabledControls().size(), 11);

    ASSERT_TRUE(sim->WaitForWrites(5, kWaitMs)) << events().join("\n").toStdString();
    const QByteArray wire = tap.Sent().mid(12);
    EXPECT_EQ(wire.size(), 144 + 32 + 32 + 4 + 4 + 172);
    const QList<LineMessage> messages = SplitMessages(wire);
    ASSERT_EQ(messages.size(), 6);
    EXPECT_EQ(messages[0].headers.toHex(' '), Headers(36, 0x82).toHex(' '));
    EXPECT_EQ(messages[0].data.toHex(' '), basic.toHex(' '));
    for (int p = 1; p <= 2; ++p) {
        EXPECT_EQ(messages[p].headers.toHex(' '), Headers(8, 0x81).toHex(' ')) << p;
        EXPECT_EQ(messages[p].data.toHex(' '), port(p).toHex(' ')) << p;
    }
    EXPECT_EQ(messages[3].headers.toHex(' '), "81");
    EXPECT_EQ(messages[3].data.toHex(' '), "0c");
    EXPECT_EQ(messages[4].headers.toHex(' '), "83") << "the counters read afresh";
    EXPECT_EQ(messages[4].data.toHex(' '), "06 00 00");
    EXPECT_EQ(messages[5].headers.toHex(' '), Headers(43, 0x83).toHex(' '));
    EXPECT_EQ(messages[5].data.toHex(' '), charges.toHex(' '));

    // The exchange took every message and now holds the image.
    EXPECT_EQ(events().filter(QRegularExpression("written|end of port records")),
              QStringList({"basic block written", "port 21 written", "port 22 written",
                           "end of port records", "charge block written"}));
    EXPECT_TRUE(events().filter("dropped").isEmpty()) << events().join("\n").toStdString();
    const varnosim::TImage after = sim->ImageSnapshot();
    EXPECT_EQ(Bytes(after, 107).mid(1), basic.mid(1));
    for (int p = 1; p <= 2; ++p)
        EXPECT_EQ(Bytes(std::span(after).subspan(152 + 24 * (p - 1)), 21), port(p).mid(1)) << p;
    EXPECT_EQ(Bytes(std::span(after).subspan(152 + 24 * 2), 24),
              Bytes(std::span(before).subspan(152 + 24 * 2), 24))
        << "port 23 is not written";
    EXPECT_EQ(Bytes(std::span(after).subspan(412), 129).mid(1), charges.mid(1));
    EXPECT_EQ(after[2], 2);
}

TEST_F(E2eFixture, AnswerArrivingDuringAWriteChangesNothing) {
    // The charge request times out, the user writes, and then the charge block comes.
    exchange.SetPortCount(2);
    exchange.Faults().lateOn = 6;
    exchange.Faults().lateMs = 600;
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w->Transfer->CurrentState() == 2 && w->Transfer->TimeoutLeft() == 5; },
        kWaitMs));
    ticks(5);
    ASSERT_EQ(w->statusText(0), "2:Kommunikationsfehler");

    QList<bool> deliveredDuringWrite;
    auto deliver = w->Communication->OnReceiveData;
    w->Communication->OnReceiveData = [&](const char* buffer, uint16_t length) {
        deliveredDuringWrite << w->Transfer->Writing();
        deliver(buffer, length);
    };
    const config::ConfigImage before = w->Image;
    const QString firmware = w->Firmware->text(), berechtigung = w->BerechtigungTabelle[1]->text();
    device::SetPacingStep(5ms); // long enough for the late answer to come in the middle
    w->OnSchreibenClick();

    // The late answer, dropped, then the answer to the write's own fresh read.
    ASSERT_EQ(deliveredDuringWrite, QList<bool>({true, true}))
        << "the late answer must arrive while the write runs";
    // Basic and terminal block as they were; the counters are the fresh ones.
    config::ConfigImage expected = before;
    expected.BasicBlock()[0] = 9; // the write marks its own messages in the image
    const auto charges = w->Image.ChargeBlock();
    std::copy(charges.begin(), charges.end(), expected.ChargeBlock().begin());
    EXPECT_TRUE(w->Image == expected);
    EXPECT_EQ(Data(config::Region::Charge), Data(sim->ImageSnapshot(), varnosim::ChargeRegion));
    EXPECT_EQ(w->Firmware->text(), firmware);
    EXPECT_EQ(w->BerechtigungTabelle[1]->text(), berechtigung);
    EXPECT_FALSE(w->MessageHook->Active());
    EXPECT_EQ(w->Transfer->CurrentState(), 3);
    EXPECT_EQ(w->statusText(0), "0:");
    EXPECT_EQ(enabledControls().size(), 11);
    EXPECT_TRUE(sim->WaitForWrites(5, kWaitMs));
    QTest::qWait(300);
    EXPECT_EQ(requestsAnswered().size(), 4) << "nothing but the fresh read of the counters";
}

TEST_F(E2eFixture, CyclicReadDoesNotCutIntoAWrite) {
    exchange.SetPortCount(2);
    ASSERT_NO_FATAL_FAILURE(start({"ZYKLISCH"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    ASSERT_TRUE(w->ZyklischNeuLesen->isChecked());
    ASSERT_EQ(w->ZyklusSekunden, 60);

    // Seconds pass quickly while the write runs, so the re-read falls due inside it.
    w->ZyklusZaehler = 2;
    int ticksDuringWrite = 0, dueDuringWrite = 0;
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, [&] {
        if (!w->Transfer->Writing())
            return;
        ++ticksDuringWrite;
        w->OnSekunde();
        dueDuringWrite += w->ZyklusZaehler == w->ZyklusSekunden;
    });
    clock.start(50); // five seconds in 250 ms: room for the write's fresh read
    device::SetPacingStep(2ms);
    w->OnSchreibenClick();
    clock.stop();

    ASSERT_GE(ticksDuringWrite, 3);
    EXPECT_GE(dueDuringWrite, 1) << "the re-read fell due inside the write";
    ASSERT_TRUE(sim->WaitForWrites(5, kWaitMs));
    QTest::qWait(300);
    EXPECT_EQ(requestsAnswered().size(), 4) << "no request but the write's own went out";
    EXPECT_TRUE(events().filter(QRegularExpression("unknown|dropped")).isEmpty())
        << events().join("\n").toStdString();
    EXPECT_EQ(w->Transfer->CurrentState(), 3);
    EXPECT_EQ(enabledControls().size(), 11);

    // The next period reads as usual.
    w->ZyklusZaehler = 1;
    ticks(1);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return readDone() && requestsAnswered().size() == 7; }, kWaitMs));
}

TEST_F(E2eFixture, ScheduledEntryWritesTheFileWithTheExchangesOwnCounters) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    const QByteArray counters = Data(config::Region::Charge);

    // A prepared configuration: other MSN 0, other permissions, and stale counters.
    config::ConfigImage prepared = w->Image;
    prepared.SetMsnText(0, u"5550199");
    prepared.Port(4).SetPermission(4);
    for (int p = 1; p <= 8; ++p)
        prepared.SetUnitCounterValue(p, 9999);
    const QString file = home.file("nacht.vrn");
    ASSERT_TRUE(config::SaveParameterFile(file, prepared));

    now = QDateTime(QDate(2026, 12, 7), QTime(22, 14, 59));
    w->EditUhrzeit[2]->setZeitText("2215");
    w->EditDateiname[2]->setText(file);
    ticks(1);
    EXPECT_TRUE(events().filter("write").isEmpty()) << "not yet its minute";
    now = now.addSecs(1);
    const int before = int(events().size());
    ticks(1); // the write starts once the tick's handler has returned
    EXPECT_TRUE(w->Transfer->Busy()) << "the line is held for it";
    EXPECT_FALSE(w->Transfer->Writing());
    ASSERT_TRUE(QTest::qWaitFor([&] { return int(events().size()) > before; }, kWaitMs));
    ASSERT_TRUE(sim->WaitForWrites(11, kWaitMs)) << events().join('\n').toStdString();

    const varnosim::TImage image = sim->ImageSnapshot();
    config::ConfigImage held;
    std::copy(image.begin(), image.end(), held.Bytes().begin());
    EXPECT_EQ(held.MsnText(0), "5550199");
    EXPECT_EQ(held.Port(4).Permission(), 4);
    EXPECT_EQ(Data(image, varnosim::ChargeRegion), counters) << "its own counters came back";
    EXPECT_EQ(w->MSNTabelle[0]->text(), "5550199");
    EXPECT_EQ(w->statusText(0), "0:");
}

// An adapter at a stable link (a udev rule's /dev/varno): missing at start-up, there
// later, then pulled and put back. No restart is ever needed.
TEST_F(E2eFixture, AnAdapterThatComesLateOrReturnsIsReadWithoutARestart) {
    const QString link = home.file("varno");
    options.linkPath = link.toStdString();
    ASSERT_NO_FATAL_FAILURE(makeWindow(link, {}, "Kosten=0,10\n[Bezeichnungen]\n21=Empfang\n"));
    EXPECT_FALSE(w->Communication->IsOpen());
    EXPECT_EQ(w->statusText(0),
              QString::fromUtf8("2:Schnittstelle COM1 kann nicht geöffnet werden"));
    EXPECT_EQ(w->BezeichnungTabelleC[0]->text(), "Empfang") << "start-up went on without it";
    EXPECT_TRUE(requestsAnswered().isEmpty());

    ASSERT_NO_FATAL_FAILURE(startExchange()); // plugged in
    w->LesenButton->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    EXPECT_EQ(w->MSNTabelle[0]->text(), "4711");
    EXPECT_EQ(w->KostenTabelle[3]->text(),
              charges::FormatCost(512 * 0.10, 4, QLocale::system().decimalPoint().front()));

    sim->Stop(); // pulled: the line hangs up and the dead descriptor is let go
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->Communication->IsOpen(); }, kWaitMs));
    ASSERT_NO_FATAL_FAILURE(startExchange()); // back, at the same link
    const auto before = requestsAnswered().size();
    w->LesenButton->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    EXPECT_EQ(requestsAnswered().size() - before, 3);
    EXPECT_EQ(w->statusText(0), "0:");
}
