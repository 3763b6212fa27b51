// The settings dialog and the port as the window handles them, with the port faked.
#include "support/WindowFixture.h"

#include "app/EinstellungenDialog.h"
#include "app/StatusZeile.h"
#include "serial/Comm32.h"

#include <QTest>

namespace {
struct BusyLine : testsupport::TFakeLine {
    void Open(const QString& portName) override {
        calls << "open " + portName;
        throw ECommsError("Error opening com port", serial::TPortFailure::Busy, EWOULDBLOCK,
                          "/dev/ttyUSB0");
    }
};
} // namespace

TEST_F(WindowFixture, TheReasonOfAFailedOpenGoesWithMessageFive) {
    settings("[Allgemein]\nAnschluß=COM3\n");
    TUmgebung env = umgebung();
    env.line = std::make_shared<BusyLine>();
    auto w = std::make_unique<THauptFenster>(env);
    const QString grund = catalogue::OeffnungsGrund(serial::TPortFailure::Busy, "/dev/ttyUSB0", 0);
    EXPECT_EQ(w->statusText(0),
              QString::fromUtf8("2:Schnittstelle COM3 kann nicht geöffnet werden"));
    EXPECT_EQ(Control<TStatusZeile>(*w, "StatusZeile")->toolTip(), grund);
    EXPECT_EQ(Control<TStatusZeile>(*w, "StatusZeile")->accessibleDescription(), grund);
    EXPECT_EQ(Control<TStatusZeile>(*w, "StatusZeile")->cursor().shape(), Qt::PointingHandCursor);

    w->ZeigeMeldung(meldung::Kommunikationsfehler, stufe::Fehler);
    EXPECT_TRUE(Control<TStatusZeile>(*w, "StatusZeile")->toolTip().isEmpty())
        << "the reason went with its message";
    EXPECT_TRUE(Control<TStatusZeile>(*w, "StatusZeile")->accessibleDescription().isEmpty());
    QTest::mouseClick(Control<TStatusZeile>(*w, "StatusZeile"), Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(w->EinstellungenDialog(), nullptr) << "only the start-up messages lead there";
}

TEST_F(WindowFixture, ReopeningWaitsForTheRunningTransfer) {
    settings("[Allgemein]\nAnschluß=COM2\n");
    auto w = make();
    ASSERT_TRUE(w->TransferAktiv());
    settings("[Allgemein]\nAnschluß=COM3\n");
    calls.clear();
    w->PortNeuOeffnen();
    QTest::qWait(50);
    EXPECT_TRUE(calls.isEmpty()) << "the read waiting for its answer goes first";
    LetReadTimeOut(*w);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return calls.size() >= 3; }));
    EXPECT_EQ(calls, QStringList({"close", "open COM3", "send 83 0a 00 00"}));
    EXPECT_EQ(w->Sitzung().CommPort(), "COM3");
}
