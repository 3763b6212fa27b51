// Faults on the line and odd device contents, end to end: whatever happens, the
// window ends with nothing awaited, its controls usable and a status that does not
// claim a read that did not happen.
#include "E2eFixture.h"
#include "serial/SerialTestSupport.h"

#include "serial/Comm32.h"
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <algorithm>
#include <optional>
#include <thread>

namespace {

const QString kKommunikationsfehler = QStringLiteral("2:Kommunikationsfehler");
const QString kNichtGeoeffnet =
    QString::fromUtf8("2:Schnittstelle COM1 kann nicht geöffnet werden");

QString FirmwareMeldung() {
    return QString::fromUtf8("2:WinVarno ist nur für Firmware-Version 1.93 geeignet");
}

QByteArray ToBytes(const std::vector<uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// The exchange's answer to a read request of `region`, as it goes over the line.
QByteArray Answer(const varnosim::TImage& image, const varnosim::TRegion& region) {
    return ToBytes(varnosim::AnswerLineBytes(image, region));
}

struct FaultE2e : E2eFixture {
    // What a successful read must show; the simulator's image unless a test plays
    // the exchange itself.
    std::optional<varnosim::TImage> truth;

    // Waits until neither the exchange nor the window has moved for a while, then
    // counts out every time-out still running.
    void settle() {
        auto snapshot = [&] {
            return std::tuple(sim ? sim->BytesSent() : 0L, events().size(), w->statusText(0),
                              w->Sitzung().Transfer().CurrentState(),
                              w->Sitzung().Transfer().TimeoutLeft());
        };
        QElapsedTimer total, quiet;
        total.start();
        quiet.start();
        auto last = snapshot();
        while (quiet.elapsed() < 600 && total.elapsed() < kWaitMs) {
            QTest::qWait(20);
            if (const auto seen = snapshot(); seen != last) {
                last = seen;
                quiet.restart();
            }
        }
        ticks(11); // longer than the longest time-out
        QTest::qWait(20);
    }

    void expectUsableAndTruthful() {
        EXPECT_LE(w->Sitzung().Transfer().TimeoutLeft(), 0) << "nothing is awaited any more";
        EXPECT_FALSE(w->Sitzung().Transfer().Writing());
        EXPECT_TRUE(Control<QPushButton>(*w, "HilfeButton")->isEnabled());
        EXPECT_TRUE(Control<QPushButton>(*w, "BeendenButton")->isEnabled());
        const QString status = w->statusText(0);
        if (status == FirmwareMeldung()) {
            EXPECT_NE(Control<QLabel>(*w, "Firmware")->text(), "1.93");
            return;
        }
        EXPECT_TRUE(Control<QPushButton>(*w, "LesenButton")->isEnabled()) << status.toStdString();
        if (status != "0:") {
            EXPECT_TRUE(status.startsWith("2:")) << status.toStdString();
            return;
        }
        // A read reported as done shows what the exchange holds.
        const varnosim::TImage image = truth ? *truth : sim->ImageSnapshot();
        EXPECT_EQ(Data(config::Region::Basic).toHex(' '),
                  Data(image, varnosim::BasicRegion).toHex(' '));
        EXPECT_EQ(Data(config::Region::Terminal).toHex(' '),
                  Data(image, varnosim::TerminalRegion).toHex(' '));
        EXPECT_EQ(Data(config::Region::Charge).toHex(' '),
                  Data(image, varnosim::ChargeRegion).toHex(' '));
    }

    bool waitForEvent(const QString& text, int count = 1) {
        return QTest::qWaitFor([&] { return events().filter(text).size() >= count; }, kWaitMs);
    }
};

struct Request {
    int code;
    int timeout; // seconds the window waits for the answer
    int state;   // TransferState while it waits
};
const Request kRequests[] = {{10, 10, 0}, {8, 10, 1}, {6, 5, 2}};

std::string RequestName(const testing::TestParamInfo<Request>& info) {
    return "Code" + std::to_string(info.param.code);
}

struct SilentRequest : FaultE2e, testing::WithParamInterface<Request> {};

TEST_P(SilentRequest, TimesOutToAnErrorAndLesenAsksAgain) {
    const Request r = GetParam();
    exchange.Faults().silentOn = r.code;
    ASSERT_NO_FATAL_FAILURE(start());
    const QString unanswered = QString("request %1 left unanswered").arg(r.code);
    ASSERT_TRUE(waitForEvent(unanswered)) << events().join('\n').toStdString();
    ASSERT_EQ(w->Sitzung().Transfer().CurrentState(), r.state);

    ticks(r.timeout - 1);
    EXPECT_NE(w->statusText(0), kKommunikationsfehler);
    EXPECT_FALSE(Control<QPushButton>(*w, "LesenButton")->isEnabled());
    ticks(1);
    EXPECT_EQ(w->statusText(0), kKommunikationsfehler);
    expectUsableAndTruthful();

    Control<QPushButton>(*w, "LesenButton")->click();
    EXPECT_FALSE(Control<QPushButton>(*w, "LesenButton")->isEnabled())
        << "locked again while reading";
    ASSERT_TRUE(waitForEvent(unanswered, 2)) << events().join('\n').toStdString();
    settle();
    EXPECT_EQ(w->statusText(0), kKommunikationsfehler);
    expectUsableAndTruthful();
}

INSTANTIATE_TEST_SUITE_P(EachRequest, SilentRequest, testing::ValuesIn(kRequests), RequestName);

struct LateAnswer : FaultE2e, testing::WithParamInterface<Request> {};

// A late basic block is covered with the other transfer tests.
TEST_P(LateAnswer, AfterTheTimeOutStillCompletesTheRead) {
    const Request r = GetParam();
    exchange.Faults().lateOn = r.code;
    exchange.Faults().lateMs = 2000;
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(waitForEvent(QString("request %1 answered").arg(r.code)));
    ASSERT_TRUE(w->Sitzung().Transfer().CurrentState() == r.state &&
                w->Sitzung().Transfer().TimeoutLeft() > 0)
        << "the answer came before the time-out was counted";

    ticks(r.timeout);
    EXPECT_EQ(w->statusText(0), kKommunikationsfehler);
    expectUsableAndTruthful();

    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone() && w->statusText(0) == "0:"; }, kWaitMs))
        << w->statusText(0).toStdString();
    expectUsableAndTruthful();
}

INSTANTIATE_TEST_SUITE_P(Requests, LateAnswer, testing::Values(kRequests[1], kRequests[2]),
                         RequestName);

TEST_F(FaultE2e, LateAnswersInsideTheTimeOutAreNoFault) {
    exchange.Faults().lateMs = 300; // every answer
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    EXPECT_EQ(w->statusText(0), "0:");
    expectUsableAndTruthful();
}

TEST_F(FaultE2e, AnswerSplitByAPauseIsNotTakenForTwoBlocks) {
    // The component hands over what it has after 100 ms without a byte.
    exchange.Faults().pauseAfter = 60;
    exchange.Faults().pauseMs = 400;
    ASSERT_NO_FATAL_FAILURE(start());
    settle();
    EXPECT_EQ(w->statusText(0), kKommunikationsfehler);
    expectUsableAndTruthful();
    EXPECT_EQ(w->Sitzung().Image().FirmwareMajor(), 0) << "no piece was decoded";
}

struct Garbage : FaultE2e, testing::WithParamInterface<int> {};

// The noise is skipped: the read completes with what the exchange holds, never with
// shifted bytes, and a write sends back the counters as the exchange keeps them.
TEST_P(Garbage, InFrontOfEveryAnswer) {
    exchange.Faults().garbage = GetParam();
    exchange.SetPortCount(2);
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs))
        << w->statusText(0).toStdString();
    EXPECT_EQ(w->statusText(0), "0:");
    EXPECT_EQ(Control<QLabel>(*w, "Firmware")->text(), "1.93");
    expectUsableAndTruthful();

    const varnosim::TImage before = sim->ImageSnapshot();
    Control<QPushButton>(*w, "SchreibenButton")->click();
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("1:Konfiguration geschrieben und geprüft"))
        << "the read-back too is found behind the noise";
    ASSERT_TRUE(sim->WaitForWrites(5, kWaitMs)) << events().join('\n').toStdString();
    EXPECT_TRUE(sim->ImageSnapshot() == before) << "the counters went back unshifted";
}

// 2849 bytes of noise make a 3000-byte basic block answer.
INSTANTIATE_TEST_SUITE_P(Bytes, Garbage, testing::Values(1, 4, 57, 2849));

struct HangUp : FaultE2e, testing::WithParamInterface<long> {};

// A pseudo-terminal's number is taken by the next one opened anywhere (another
// test running beside this one) as soon as it is free, so a line that is gone is
// opened anew by a name that goes with it.
void ByALinkThatGoesWithTheDevice(FaultE2e& t) {
    t.options.linkPath = QFile::encodeName(t.home.file("varno")).toStdString();
}

TEST_P(HangUp, InTheMiddleOfAnAnswer) {
    exchange.Faults().hangupAfter = GetParam();
    ByALinkThatGoesWithTheDevice(*this);
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim->HungUp(); }, kWaitMs));
    settle();
    EXPECT_EQ(w->statusText(0), kKommunikationsfehler);
    expectUsableAndTruthful();

    // The line is gone: a new read tries to open it anew and says why it cannot.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !Control<TComm32>(*w, "Communication")->IsOpen(); }, kWaitMs));
    Control<QPushButton>(*w, "LesenButton")->click();
    settle();
    EXPECT_EQ(w->statusText(0), kNichtGeoeffnet);
    expectUsableAndTruthful();
}

// Inside the basic, the terminal and the charge block's answer.
INSTANTIATE_TEST_SUITE_P(Bytes, HangUp, testing::Values(75L, 152L + 130, 152L + 260 + 88));

TEST_F(FaultE2e, DeviceGoneWhenLesenIsPressed) {
    ByALinkThatGoesWithTheDevice(*this);
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    const QString msn = MSNTabelle(*w, 0)->text();
    sim->Stop(); // the device end of the line disappears with it
    QTest::qWait(100);

    Control<QPushButton>(*w, "LesenButton")->click();
    settle();
    EXPECT_EQ(w->statusText(0), kNichtGeoeffnet) << "the dead line is let go and opened anew";
    EXPECT_FALSE(Control<TComm32>(*w, "Communication")->IsOpen());
    expectUsableAndTruthful();
    EXPECT_EQ(MSNTabelle(*w, 0)->text(), msn) << "the last read's values stay";
}

struct PortCount : FaultE2e, testing::WithParamInterface<int> {};

TEST_P(PortCount, ReadsAndWritesTheRecordsThatExist) {
    const int count = GetParam(), used = std::clamp(count, 0, 8);
    exchange.SetPortCount(count);
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs))
        << w->statusText(0).toStdString();
    EXPECT_EQ(w->statusText(0), "0:");
    expectUsableAndTruthful();
    EXPECT_EQ(Control<QLabel>(*w, "abSchnittstellen")->text(), QString::number(count));
    EXPECT_EQ(Control<QComboBox>(*w, "abAuswahl")->count(), used);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(ZuordnungTabelle(*w, i)->isEnabled(), i < used) << i;

    // A port count outside 1..8 is never written back.
    const auto seen = events().size();
    EXPECT_FALSE(Control<QPushButton>(*w, "SchreibenButton")->isEnabled());
    w->OnSchreibenClick();
    EXPECT_EQ(
        w->statusText(0),
        QString::fromUtf8("2:Nicht geschrieben: %1 a/b-Schnittstellen sind ungültig").arg(count));
    EXPECT_EQ(enabledControls().size(), 10);
    QTest::qWait(200);
    EXPECT_EQ(events().size(), seen) << events().join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Stored, PortCount, testing::Values(0, 9, 255));

struct PortIndex : FaultE2e, testing::WithParamInterface<int> {};

TEST_P(PortIndex, PermissionAndServiceWithoutANameSurviveEditingAndWriting) {
    const int index = GetParam();
    for (int p = 0; p < 8; ++p) {
        exchange.Image()[152 + 24 * p + config::port::Permission] = uint8_t(index);
        exchange.Image()[152 + 24 * p + config::port::Service] = uint8_t(index);
    }
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    EXPECT_EQ(w->statusText(0), "0:");
    expectUsableAndTruthful();
    const bool serviceNamed = index < Control<QComboBox>(*w, "DienstAuswahl")->count();
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(BerechtigungTabelle(*w, i)->text(), "") << i;
        EXPECT_EQ(DienstTabelle(*w, i)->text(),
                  serviceNamed ? Control<QComboBox>(*w, "DienstAuswahl")->itemText(index) : "")
            << i;
    }
    EXPECT_EQ(Control<QComboBox>(*w, "BerechtigungsAuswahl")->currentIndex(), -1);
    EXPECT_EQ(Control<QComboBox>(*w, "DienstAuswahl")->currentIndex(), serviceNamed ? index : -1);

    // Through the port page's commit points, then back to the exchange.
    const varnosim::TImage before = sim->ImageSnapshot();
    w->ZeigeSeite(Control<QWidget>(*w, "TabParametrierung"),
                  Control<QWidget>(*w, "abParametrierung"));
    for (int i : {1, 2, 0})
        Control<QComboBox>(*w, "abAuswahl")->setCurrentIndex(i);
    Control<QPushButton>(*w, "SchreibenButton")->click();
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("1:Konfiguration geschrieben und geprüft"));
    ASSERT_TRUE(sim->WaitForWrites(11, kWaitMs)) << events().join('\n').toStdString();
    EXPECT_TRUE(sim->ImageSnapshot() == before);
}

INSTANTIATE_TEST_SUITE_P(Index, PortIndex, testing::Values(5, 6, 255));

// Faults the simulator cannot make: the test plays the exchange on a bare
// pseudo-terminal.
struct RawLine : FaultE2e {
    serialtest::PtyPair pty;
    const varnosim::TImage image = varnosim::DefaultImage();

    void SetUp() override {
        FaultE2e::SetUp();
        truth = image;
    }
    QByteArray request() {
        QByteArray got;
        serialtest::WaitUntil(
            [&] {
                got += pty.read(4 - int(got.size()), 10);
                return got.size() >= 4;
            },
            kWaitMs);
        return got;
    }
    // Answers the three requests of a read as the exchange would.
    void serveRead() {
        for (const varnosim::TRegion& region :
             {varnosim::BasicRegion, varnosim::TerminalRegion, varnosim::ChargeRegion}) {
            const QByteArray expected =
                QByteArray::fromHex("83") + char(region.readCode) + QByteArray(2, 0);
            ASSERT_EQ(request().toHex(' '), expected.toHex(' '));
            pty.write(Answer(image, region));
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    }
};

TEST_F(RawLine, OversizedAnswerInOneBurst) {
    ASSERT_NO_FATAL_FAILURE(openWindow(pty.devicePath()));
    ASSERT_EQ(request().toHex(), "830a0000");
    QByteArray burst = Answer(image, varnosim::BasicRegion);
    burst += QByteArray(3000 - burst.size(), char(0x03));
    pty.write(burst);
    // Whatever the window asks next is left unanswered.
    settle();
    expectUsableAndTruthful();
}

TEST_F(RawLine, HangUpInTheMiddleOfAWrite) {
    const QString link = home.file("varno");
    ASSERT_TRUE(QFile::link(pty.devicePath(), link));
    ASSERT_NO_FATAL_FAILURE(openWindow(link));
    ASSERT_NO_FATAL_FAILURE(serveRead());
    EXPECT_EQ(w->statusText(0), "0:");

    QByteArray taken;
    std::thread exchangeSide([&] {
        taken = pty.read(200, kWaitMs);
        QFile::remove(link); // the device's name goes with it, as the simulator's does
        pty.closeMaster();
    });
    Control<QPushButton>(*w, "SchreibenButton")->click();
    exchangeSide.join();
    ASSERT_EQ(taken.size(), 200);

    EXPECT_EQ(w->statusText(0),
              QString::fromUtf8("2:Schnittstelle COM1 kann nicht beschrieben werden"));
    EXPECT_EQ(enabledControls().size(), 11);
    expectUsableAndTruthful();
    Control<QPushButton>(*w, "LesenButton")->click();
    settle();
    EXPECT_EQ(w->statusText(0), kNichtGeoeffnet);
    expectUsableAndTruthful();
}

} // namespace
