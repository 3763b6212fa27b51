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
    EXPECT_EQ(w->Sitzung().Image().UnitCounterValue(7), 1999);

    // Configuration page.
    EXPECT_EQ(Control<QLabel>(*w, "Firmware")->text(), "1.93");
    EXPECT_EQ(MSNTabelle(*w, 0)->text(), "4711");
    EXPECT_EQ(MSNTabelle(*w, 4)->text(), "0301234567");
    EXPECT_EQ(MSNTabelle(*w, 7)->text(), "");
    EXPECT_FALSE(Control<QLabel>(*w, "Protokoll")->text().isEmpty());
    EXPECT_EQ(Control<QComboBox>(*w, "abAuswahl")->count(), 8);
    // Permissions page: each port decoded from its own record.
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(BerechtigungTabelle(*w, i)->text(),
                  Control<QComboBox>(*w, "BerechtigungsAuswahl")->itemText(i % 5))
            << i;
        EXPECT_EQ(DienstTabelle(*w, i)->text(),
                  Control<QComboBox>(*w, "DienstAuswahl")->itemText((i + 2) % 6))
            << i;
    }
    EXPECT_TRUE(RufumleitungTabelle(*w, 4)->text().contains("01715551234"));
    // Assignment page: MSN 0 rings on 21 only.
    EXPECT_NE(MSNMatrixTabelle(*w, 0, 0)->picture(), MSNMatrixTabelle(*w, 1, 0)->picture());
    EXPECT_EQ(MSNMatrixTabelle(*w, 1, 0)->picture(), MSNMatrixTabelle(*w, 2, 0)->picture());
    // Charges page.
    EXPECT_EQ(EinheitenTabelle(*w, 3)->text(), "512");
    EXPECT_EQ(EinheitenTabelle(*w, 6)->text(), "1999");

    EXPECT_EQ(w->statusText(0), "0:");
    EXPECT_TRUE(Control<TMessageHook>(*w, "MessageHook")->Active());
    EXPECT_EQ(enabledControls().size(), 11);
    EXPECT_TRUE(ZuordnungTabelle(*w, 7)->isEnabled());
    const QStringList requests = requestsAnswered();
    ASSERT_EQ(requests.size(), 3) << requests.join(", ").toStdString();
    EXPECT_TRUE(requests[0].startsWith("request 10 "));
    EXPECT_TRUE(requests[1].startsWith("request 8 "));
    EXPECT_TRUE(requests[2].startsWith("request 6 "));
}

TEST_F(E2eFixture, OtherFirmwareStopsAfterTheBasicBlock) {
    exchange.SetFirmware(1, 92);
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Control<QLabel>(*w, "Firmware")->text() == "1.92"; },
                                kWaitMs));
    EXPECT_EQ(w->statusText(0),
              QString::fromUtf8("2:WinVarno ist nur für Firmware-Version 1.93 geeignet"));
    EXPECT_GT(pixelsOf(*w, Qt::red), 10);
    EXPECT_EQ(enabledControls(), QList<QWidget*>({Control<QPushButton>(*w, "LesenButton"),
                                                  Control<QPushButton>(*w, "HilfeButton"),
                                                  Control<QPushButton>(*w, "BeendenButton")}));
    EXPECT_EQ(w->Sitzung().Transfer().TimeoutLeft(), -1);
    EXPECT_EQ(MSNTabelle(*w, 0)->text(), "4711") << "the basic block is still shown";

    // Had the terminal block been asked for, its answer would be here long since.
    QTest::qWait(500);
    EXPECT_EQ(requestsAnswered().size(), 1);
    EXPECT_EQ(sim->BytesSent(),
              long(varnosim::AnswerLineBytes(exchange.Image(), varnosim::BasicRegion).size()));
    EXPECT_EQ(enabledControls(), QList<QWidget*>({Control<QPushButton>(*w, "LesenButton"),
                                                  Control<QPushButton>(*w, "HilfeButton"),
                                                  Control<QPushButton>(*w, "BeendenButton")}));
}

TEST_F(E2eFixture, SilentChargeRequestTimesOutWithTheViewsKept) {
    exchange.Faults().silentOn = 6;
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return w->Sitzung().Transfer().CurrentState() == 2 &&
                   w->Sitzung().Transfer().TimeoutLeft() == 5;
        },
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
    EXPECT_FALSE(Control<TMessageHook>(*w, "MessageHook")->Active());

    EXPECT_EQ(Control<QLabel>(*w, "Firmware")->text(), "1.93");
    EXPECT_EQ(MSNTabelle(*w, 1)->text(), "4712");
    EXPECT_EQ(BerechtigungTabelle(*w, 3)->text(),
              Control<QComboBox>(*w, "BerechtigungsAuswahl")->itemText(3));
    EXPECT_TRUE(RufumleitungTabelle(*w, 4)->text().contains("01715551234"));
    EXPECT_EQ(w->Sitzung().Image().UnitCounterValue(1), 0) << "no charge block was stored";
}

TEST_F(E2eFixture, LateAnswerStillContinuesTheSequence) {
    // Late in real time only a little; the twelve seconds are counted by hand.
    exchange.Faults().lateOn = 10;
    exchange.Faults().lateMs = 1500;
    ASSERT_NO_FATAL_FAILURE(start());
    ticks(10);
    ASSERT_EQ(w->Sitzung().Image().FirmwareMajor(), 0)
        << "the answer came before the time-out was counted";
    EXPECT_EQ(w->statusText(0), "2:Kommunikationsfehler");
    EXPECT_EQ(enabledControls().size(), 10);
    EXPECT_FALSE(Control<QPushButton>(*w, "SchreibenButton")->isEnabled())
        << "nothing read to write";
    ticks(2);

    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    EXPECT_EQ(Control<QLabel>(*w, "Firmware")->text(), "1.93");
    EXPECT_EQ(MSNTabelle(*w, 0)->text(), "4711");
    EXPECT_EQ(BerechtigungTabelle(*w, 4)->text(),
              Control<QComboBox>(*w, "BerechtigungsAuswahl")->itemText(4));
    EXPECT_EQ(w->Sitzung().Image().UnitCounterValue(4), 512);
    EXPECT_EQ(w->statusText(0), "0:");
    EXPECT_TRUE(Control<TMessageHook>(*w, "MessageHook")->Active());
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
    w->Sitzung().Image().SetMsnText(1, u"98765");
    w->Sitzung().Image().SetAssignmentMask(2, 0x03);
    w->Sitzung().Image().Port(1).SetPermission(3);
    w->Sitzung().Image().Port(2).SetForwardingNumberText(u"0897654321");
    // A counter set on the port page goes out as set; the others as read afresh.
    w->ZeigeSeite(Control<QWidget>(*w, "TabParametrierung"),
                  Control<QWidget>(*w, "abParametrierung"));
    Control<QComboBox>(*w, "abAuswahl")->setCurrentIndex(1);
    w->OnabAuswahlChange();
    Tippe(Control<QLineEdit>(*w, "GebuehrenEinheiten"), "4321");
    w->CommitPortPage();
    const config::ConfigImage image = w->Sitzung().Image();
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

    const QString checked = QString::fromUtf8("1:Konfiguration geschrieben und geprüft");
    statuses.removeAll("0:"); // the fresh charge read's evaluation clears the line
    statuses.removeAll(checked);
    EXPECT_EQ(statuses,
              QStringList({QString::fromUtf8("1:Grundkonfiguration wird übertragen"),
                           QString::fromUtf8("1:Anschluß 21 wird konfiguriert"),
                           QString::fromUtf8("1:Anschluß 22 wird konfiguriert"),
                           QString::fromUtf8("1:Gebühreninformationen werden gelesen"),
                           QString::fromUtf8("1:Gebühreneinheiten werden geschrieben"),
                           QString::fromUtf8("1:Geschriebene Konfiguration wird zurückgelesen")}));
    EXPECT_EQ(w->statusText(0), checked);
    EXPECT_EQ(enabledControls().size(), 11);

    ASSERT_TRUE(sim->WaitForWrites(5, kWaitMs)) << events().join("\n").toStdString();
    const QByteArray wire = tap.Sent().mid(12);
    EXPECT_EQ(wire.size(), 144 + 32 + 32 + 4 + 4 + 172 + 4 + 4);
    const QList<LineMessage> messages = SplitMessages(wire);
    ASSERT_EQ(messages.size(), 8);
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
    EXPECT_EQ(messages[6].data.toHex(' '), "0a 00 00") << "then the configuration read back";
    EXPECT_EQ(messages[7].data.toHex(' '), "08 00 00");

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

TEST_F(E2eFixture, AWriteMessageTheExchangeLostIsNamedInRed) {
    exchange.SetPortCount(2);
    exchange.Faults().ignoreWrite = 3; // the record of port 22
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    w->Sitzung().Image().Port(2).SetPermission(4);
    device::SetPacingStep(2ms);
    w->OnSchreibenClick();
    EXPECT_EQ(w->statusText(0),
              QString::fromUtf8("2:Die Anlage weicht vom Geschriebenen ab (geschrieben → gelesen): "
                                "Anschluß 22: Berechtigung \"Keine\" → \"Inland\""));
    EXPECT_EQ(w->Sitzung().Image().Port(2).Permission(), 4) << "kept, to be written again";
}

TEST_F(E2eFixture, AnswerArrivingDuringAWriteChangesNothing) {
    // The charge request times out, the user writes, and then the charge block comes.
    exchange.SetPortCount(2);
    exchange.Faults().lateOn = 6;
    exchange.Faults().lateMs = 600;
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return w->Sitzung().Transfer().CurrentState() == 2 &&
                   w->Sitzung().Transfer().TimeoutLeft() == 5;
        },
        kWaitMs));
    ticks(5);
    ASSERT_EQ(w->statusText(0), "2:Kommunikationsfehler");

    QList<bool> deliveredDuringWrite;
    auto deliver = Control<TComm32>(*w, "Communication")->OnReceiveData;
    Control<TComm32>(*w, "Communication")->OnReceiveData = [&](const char* buffer,
                                                               uint16_t length) {
        deliveredDuringWrite << w->Sitzung().Transfer().Writing();
        deliver(buffer, length);
    };
    const config::ConfigImage before = w->Sitzung().Image();
    const QString firmware = Control<QLabel>(*w, "Firmware")->text(),
                  berechtigung = BerechtigungTabelle(*w, 1)->text();
    device::SetPacingStep(5ms); // long enough for the late answer to come in the middle
    w->OnSchreibenClick();

    // The late answer, dropped, then the answer to the write's own fresh read.
    // Then the answers to the read-back.
    ASSERT_EQ(deliveredDuringWrite, QList<bool>({true, true, true, true}))
        << "the late answer must arrive while the write runs";
    // Basic and terminal block as they were; the counters are the fresh ones.
    config::ConfigImage expected = before;
    expected.BasicBlock()[0] = 9; // the write marks its own messages in the image
    const auto charges = w->Sitzung().Image().ChargeBlock();
    std::copy(charges.begin(), charges.end(), expected.ChargeBlock().begin());
    EXPECT_TRUE(w->Sitzung().Image() == expected);
    EXPECT_EQ(Data(config::Region::Charge), Data(sim->ImageSnapshot(), varnosim::ChargeRegion));
    EXPECT_EQ(Control<QLabel>(*w, "Firmware")->text(), firmware);
    EXPECT_EQ(BerechtigungTabelle(*w, 1)->text(), berechtigung);
    EXPECT_FALSE(Control<TMessageHook>(*w, "MessageHook")->Active());
    EXPECT_EQ(w->Sitzung().Transfer().CurrentState(), 3);
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("1:Konfiguration geschrieben und geprüft"));
    EXPECT_EQ(enabledControls().size(), 11);
    EXPECT_TRUE(sim->WaitForWrites(5, kWaitMs));
    QTest::qWait(300);
    EXPECT_EQ(requestsAnswered().size(), 6)
        << "nothing but the fresh read of the counters and the read-back";
}

TEST_F(E2eFixture, CyclicReadDoesNotCutIntoAWrite) {
    exchange.SetPortCount(2);
    ASSERT_NO_FATAL_FAILURE(start({"ZYKLISCH"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    ASSERT_TRUE(Control<QCheckBox>(*w, "ZyklischNeuLesen")->isChecked());
    ASSERT_EQ(w->Sitzung().ZyklusSekunden(), 60);

    // Seconds pass quickly while the write runs, so the re-read falls due inside it.
    w->Sitzung().SetZyklusZaehler(2);
    int ticksDuringWrite = 0, dueDuringWrite = 0;
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, [&] {
        if (!w->Sitzung().Transfer().Writing())
            return;
        ++ticksDuringWrite;
        w->OnSekunde();
        dueDuringWrite += w->Sitzung().ZyklusZaehler() == w->Sitzung().ZyklusSekunden();
    });
    clock.start(50); // five seconds in 250 ms: room for the write's fresh read
    device::SetPacingStep(2ms);
    w->OnSchreibenClick();
    clock.stop();

    ASSERT_GE(ticksDuringWrite, 3);
    EXPECT_GE(dueDuringWrite, 1) << "the re-read fell due inside the write";
    ASSERT_TRUE(sim->WaitForWrites(5, kWaitMs));
    // The write ends with its read-back, whose answer takes a while on a busy machine;
    // a re-read falling due before that would wait for the next period.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->TransferAktiv(); }, kWaitMs));
    QTest::qWait(300);
    EXPECT_EQ(requestsAnswered().size(), 6) << "no request but the write's own went out";
    EXPECT_TRUE(events().filter(QRegularExpression("unknown|dropped")).isEmpty())
        << events().join("\n").toStdString();
    EXPECT_EQ(w->Sitzung().Transfer().CurrentState(), 3);
    EXPECT_EQ(enabledControls().size(), 11);

    // The next period reads as usual.
    w->Sitzung().SetZyklusZaehler(1);
    ticks(1);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return readDone() && requestsAnswered().size() == 9; }, kWaitMs));
}

TEST_F(E2eFixture, ScheduledEntryWritesTheFileWithTheExchangesOwnCounters) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    const QByteArray counters = Data(config::Region::Charge);

    // A prepared configuration: other MSN 0, other permissions, and stale counters.
    config::ConfigImage prepared = w->Sitzung().Image();
    prepared.SetMsnText(0, u"5550199");
    prepared.Port(4).SetPermission(4);
    for (int p = 1; p <= 8; ++p)
        prepared.SetUnitCounterValue(p, 9999);
    const QString file = home.file("nacht.vrn");
    ASSERT_TRUE(config::SaveParameterFile(file, prepared));

    now = QDateTime(QDate(2026, 12, 7), QTime(22, 14, 59));
    EditUhrzeit(*w, 2)->setZeitText("2215");
    EditDateiname(*w, 2)->setText(file);
    ticks(1);
    EXPECT_TRUE(events().filter("write").isEmpty()) << "not yet its minute";
    now = now.addSecs(1);
    const int before = int(events().size());
    ticks(1); // the write starts once the tick's handler has returned
    EXPECT_TRUE(w->Sitzung().Transfer().Busy()) << "the line is held for it";
    EXPECT_FALSE(w->Sitzung().Transfer().Writing());
    ASSERT_TRUE(QTest::qWaitFor([&] { return int(events().size()) > before; }, kWaitMs));
    ASSERT_TRUE(sim->WaitForWrites(11, kWaitMs)) << events().join('\n').toStdString();

    const varnosim::TImage image = sim->ImageSnapshot();
    config::ConfigImage held;
    std::copy(image.begin(), image.end(), held.Bytes().begin());
    EXPECT_EQ(held.MsnText(0), "5550199");
    EXPECT_EQ(held.Port(4).Permission(), 4);
    EXPECT_EQ(Data(image, varnosim::ChargeRegion), counters) << "its own counters came back";
    EXPECT_EQ(MSNTabelle(*w, 0)->text(), "5550199");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->Sitzung().Transfer().Busy(); }, kWaitMs));
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("1:Konfiguration geschrieben und geprüft"));
}

// An adapter at a stable link (a udev rule's /dev/varno): missing at start-up, there
// later, then pulled and put back. No restart is ever needed.
TEST_F(E2eFixture, AnAdapterThatComesLateOrReturnsIsReadWithoutARestart) {
    const QString link = home.file("varno");
    options.linkPath = link.toStdString();
    ASSERT_NO_FATAL_FAILURE(makeWindow(link, {}, "Kosten=0,10\n[Bezeichnungen]\n21=Empfang\n"));
    EXPECT_FALSE(Control<TComm32>(*w, "Communication")->IsOpen());
    EXPECT_EQ(w->statusText(0),
              QString::fromUtf8("2:Schnittstelle COM1 kann nicht geöffnet werden"));
    EXPECT_EQ(BezeichnungTabelleC(*w, 0)->text(), "Empfang") << "start-up went on without it";
    EXPECT_TRUE(requestsAnswered().isEmpty());

    ASSERT_NO_FATAL_FAILURE(startExchange()); // plugged in
    Control<QPushButton>(*w, "LesenButton")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    EXPECT_EQ(MSNTabelle(*w, 0)->text(), "4711");
    EXPECT_EQ(KostenTabelle(*w, 3)->text(),
              charges::FormatCost(512 * 0.10, 4, QLocale::system().decimalPoint().front()));

    sim->Stop(); // pulled: the line hangs up and the dead descriptor is let go
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !Control<TComm32>(*w, "Communication")->IsOpen(); }, kWaitMs));
    ASSERT_NO_FATAL_FAILURE(startExchange()); // back, at the same link
    const auto before = requestsAnswered().size();
    Control<QPushButton>(*w, "LesenButton")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    EXPECT_EQ(requestsAnswered().size() - before, 3);
    EXPECT_EQ(w->statusText(0), "0:");
}
