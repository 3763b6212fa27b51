// The service on a bus of its own, over the fake line: what its methods refuse,
// what the journal hears of an outage, and the settings file followed.
#include "service/Dienst.h"

#include "device/PacedSend.h"
#include "support/FakeLine.h"
#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QFile>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

using testsupport::TFakeLine;

QByteArray Grundblock(int ports) {
    QByteArray data(113, '\0');
    data[2] = char(ports);
    data[3] = 1;
    data[4] = 1;
    data[5] = 93;
    for (int m = 0; m < 10; ++m)
        data.replace(7 + 5 * m, 5, QByteArray::fromHex("ffffffffff"));
    return TFakeLine::Frame(data);
}

QByteArray Gebuehrenblock(int units21) {
    QByteArray data(132, '\0');
    data[1] = char(units21);
    return TFakeLine::Frame(data);
}

struct Stand {
    ushort anschluss, wert;
};

QDBusArgument& operator<<(QDBusArgument& arg, const Stand& s) {
    arg.beginStructure();
    arg << s.anschluss << s.wert;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, Stand& s) {
    arg.beginStructure();
    arg >> s.anschluss >> s.wert;
    arg.endStructure();
    return arg;
}

} // namespace

Q_DECLARE_METATYPE(Stand)

namespace {

struct DienstFixture : ::testing::Test {
    testsupport::ScratchHome home;
    TFakeLine line;
    QStringList journal;
    QDateTime jetzt{QDate(2026, 12, 7), QTime(9, 5, 58)};
    std::unique_ptr<service::TDienst> dienst;
    // Another connection, as another process would call.
    QDBusConnection klient =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("klient"));

    void SetUp() override {
        qDBusRegisterMetaType<Stand>();
        qDBusRegisterMetaType<QList<Stand>>();
        device::SetPacingStep(std::chrono::milliseconds(1));
        line.answers[QByteArray::fromHex("830a0000")] = Grundblock(2);
        line.answers[QByteArray::fromHex("83080000")] = TFakeLine::Frame(QByteArray(195, '\0'));
        line.answers[QByteArray::fromHex("83060000")] = Gebuehrenblock(12);
    }
    void TearDown() override {
        dienst.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("klient"));
        device::SetPacingStep(std::chrono::milliseconds(50));
    }

    void start(const QByteArray& settings) {
        testsupport::writeAll(home.file("WinVarno.INI"), settings);
        service::TDienstUmgebung env;
        env.sitzung.settingsPath = home.file("WinVarno.INI");
        env.sitzung.programPath = home.file("WinVarno");
        env.sitzung.now = [this] { return jetzt; };
        env.journal = [this](int prioritaet, const QString& text) {
            journal << QStringLiteral("<%1>%2").arg(prioritaet).arg(text);
        };
        env.sekundeMs = 0; // the test counts the seconds
        env.ddeExport = false;
        dienst = std::make_unique<service::TDienst>(env, line);
        ASSERT_EQ(dienst->Anmelden(), service::TDienst::TAnmeldung::Angemeldet);
        dienst->Starten();
    }
    bool gelesen() const {
        return !dienst->Sitzung().TransferAktiv() &&
               dienst->Zustand().value(QStringLiteral("Bloecke")).toUInt() == 7;
    }
    // One cyclic expiry, as the timer would bring it.
    void zyklus() {
        dienst->Sitzung().SetZyklusZaehler(1);
        sekunde();
    }
    void sekunde() {
        jetzt = jetzt.addSecs(1);
        dienst->Sitzung().Sekunde();
    }
    QDBusMessage rufe(const QString& methode, const QVariantList& argumente = {}) {
        QDBusMessage m = QDBusMessage::createMethodCall(service::kBusName, service::kObjektPfad,
                                                        service::kInterface, methode);
        m.setArguments(argumente);
        QDBusPendingCall p = klient.asyncCall(m);
        EXPECT_TRUE(testsupport::WaitUntil([&] { return p.isFinished(); }));
        return p.reply();
    }
    QDBusMessage schreibe(const QByteArray& bild, const QList<Stand>& zaehler = {}) {
        return rufe(QStringLiteral("Schreiben"), {bild, QVariant::fromValue(zaehler)});
    }
    QStringList sends() const { return line.calls.filter(QStringLiteral("send ")); }
};

::testing::AssertionResult Fehler(const QDBusMessage& antwort, const QString& name) {
    if (antwort.type() != QDBusMessage::ErrorMessage)
        return ::testing::AssertionFailure() << "no error";
    if (antwort.errorName() != QStringLiteral("de.winvarno.WinVarno.Fehler.") + name)
        return ::testing::AssertionFailure() << antwort.errorName().toStdString();
    // Every refusal is worded for the user.
    if (antwort.errorMessage().isEmpty())
        return ::testing::AssertionFailure() << "no message";
    return ::testing::AssertionSuccess() << antwort.errorMessage().toStdString();
}

TEST_F(DienstFixture, RefusedRequestsPutNothingOnTheLine) {
    start("[Allgemein]\nAnschluß=COM2\n");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return gelesen(); }));
    const QByteArray bild = dienst->Zustand().value(QStringLiteral("Bild")).toByteArray();
    ASSERT_EQ(bild.size(), 588);
    line.calls.clear();

    EXPECT_TRUE(Fehler(schreibe(bild.left(587)), "BildGroesse"));
    EXPECT_TRUE(Fehler(schreibe(bild + '\0'), "BildGroesse"));
    EXPECT_TRUE(Fehler(schreibe(bild, {{29, 5}}), "Anschluss"));
    EXPECT_TRUE(Fehler(schreibe(bild, {{0, 5}}), "Anschluss"));
    EXPECT_TRUE(Fehler(schreibe(bild, {{3, 5}}), "Anschluss")) << "the image has two ports";
    EXPECT_TRUE(Fehler(schreibe(bild, {{1, 5}, {1, 6}}), "Anschluss"));
    QByteArray keineAnschluesse = bild;
    keineAnschluesse[config::basic::PortCount] = 0;
    EXPECT_TRUE(Fehler(schreibe(keineAnschluesse), "AnschlussZahl"));
    QByteArray andereFirmware = bild;
    andereFirmware[config::basic::FirmwareMinor] = 92;
    EXPECT_TRUE(Fehler(schreibe(andereFirmware), "Firmware"));
    EXPECT_TRUE(Fehler(rufe(QStringLiteral("JetztSchreiben"), {5}), "Eintrag"));
    EXPECT_TRUE(Fehler(rufe(QStringLiteral("JetztSchreiben"), {1}), "KeineDatei"));
    EXPECT_TRUE(Fehler(rufe(QStringLiteral("Schreiben"), {bild}), "Argumente"));
    EXPECT_TRUE(sends().isEmpty()) << sends().join(u'\n').toStdString();
    EXPECT_EQ(dienst->Zustand().value(QStringLiteral("Bild")).toByteArray(), bild)
        << "a refusal leaves the image as it was";

    // A read the exchange does not answer keeps the line busy.
    line.answers.clear();
    EXPECT_EQ(rufe(QStringLiteral("Lesen")).type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(dienst->Sitzung().TransferAktiv());
    EXPECT_TRUE(Fehler(schreibe(bild), "UebertragungLaeuft"));
    EXPECT_TRUE(Fehler(schreibe({}), "UebertragungLaeuft"));
    EXPECT_TRUE(Fehler(rufe(QStringLiteral("Lesen")), "UebertragungLaeuft"));
    EXPECT_TRUE(Fehler(rufe(QStringLiteral("JetztSchreiben"), {1}), "UebertragungLaeuft"));
    EXPECT_EQ(sends(), QStringList{"send 83 0a 00 00"});
}

TEST_F(DienstFixture, OnlyAnImageReadOrHandedOverIsWritten) {
    line.openThrows = true;
    start("[Allgemein]\nAnschluß=COM2\n");
    EXPECT_TRUE(Fehler(schreibe({}), "NichtGelesen"));
    EXPECT_TRUE(Fehler(rufe(QStringLiteral("Lesen")), "Schnittstelle"));

    line.openThrows = false;
    zyklus();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return gelesen(); }));
    line.calls.clear();
    // The image the service holds, with a counter set: the line has it once.
    EXPECT_EQ(schreibe({}, {{1, 7}}).type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return journal.contains(QStringLiteral("<6>Schreiben beendet: vollständig")); }));
    EXPECT_EQ(journal.filter(QStringLiteral("Schreiben beendet")).size(), 1);
    EXPECT_FALSE(sends().isEmpty());
    EXPECT_FALSE(dienst->Sitzung().Arrays().UnitCounterEdited[0]) << "the edit went with the write";
}

TEST_F(DienstFixture, AnOutageIsOneLineOfTheJournalAndItsEndAnother) {
    line.openThrows = true;
    start("[Allgemein]\nAnschluß=COM2\n");
    for (int i = 0; i < 3; ++i)
        zyklus();
    const QStringList fehler = journal.filter(QStringLiteral("<3>"));
    ASSERT_EQ(fehler.size(), 1) << journal.join(u'\n').toStdString();
    EXPECT_TRUE(
        fehler[0].startsWith(QStringLiteral("<3>Schnittstelle COM2 kann nicht geöffnet werden: ")))
        << fehler[0].toStdString();
    EXPECT_TRUE(dienst->LetztesErgebnis().startsWith(QStringLiteral("Schnittstelle COM2")));

    line.openThrows = false;
    zyklus();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return gelesen(); }));
    EXPECT_TRUE(journal.contains(QStringLiteral("<6>Anlage an COM2 ist wieder erreichbar")));
    EXPECT_EQ(dienst->LetztesErgebnis(), QStringLiteral("vollständig"));

    // The device goes away again: a new outage, a new line; an answer that stays
    // away is one too.
    line.Lose();
    line.openThrows = true;
    zyklus();
    zyklus();
    EXPECT_EQ(journal.filter(QStringLiteral("<3>")).size(), 2);
    line.openThrows = false;
    line.answers.clear();
    zyklus();
    for (int i = 0; i < 10 && dienst->Sitzung().TransferAktiv(); ++i)
        sekunde();
    EXPECT_EQ(journal.filter(QStringLiteral("<3>")).size(), 2)
        << "the same outage: " << journal.join(u'\n').toStdString();
}

TEST_F(DienstFixture, AScheduleWrittenWhileItRunsWritesAtItsTime) {
    start("[Allgemein]\nAnschluß=COM2\n");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return gelesen(); }));
    config::ConfigImage nacht;
    const QByteArray bild = dienst->Zustand().value(QStringLiteral("Bild")).toByteArray();
    ASSERT_EQ(bild.size(), config::ConfigImage::Size);
    std::copy(bild.begin(), bild.end(), nacht.Bytes().begin());
    // Not the exchange's own configuration, which the schedule would not write again.
    nacht.SetMsnText(0, u"4799");
    testsupport::writeAll(home.file("nacht.vrn"), nacht.ToByteArray());
    sekunde(); // the schedule's first look at the clock
    testsupport::writeAll(home.file("WinVarno.INI"),
                          "[Allgemein]\nAnschluß=COM2\n[Zeitpunkt1]\nZeit=0906\nDatei=" +
                              QFile::encodeName(home.file("nacht.vrn")) + "\n");
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return journal.filter(QStringLiteral("Einstellungen neu gelesen")).size() == 1; }));
    // A cyclic read runs when the time comes: the write waits for it.
    line.calls.clear();
    dienst->Sitzung().SetZyklusZaehler(1);
    sekunde();
    EXPECT_TRUE(dienst->Sitzung().TransferAktiv()) << jetzt.toString().toStdString();
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        return journal.contains(QStringLiteral("<6>Grundkonfiguration wird übertragen"));
    })) << journal.join(u'\n').toStdString();
    // The read's request first; the write's read-back asks for the block again at its end.
    const QStringList sends = line.calls.filter(QStringLiteral("send "));
    ASSERT_FALSE(sends.isEmpty());
    EXPECT_TRUE(sends.front().startsWith(QStringLiteral("send 83 0a"))) << "the read came first";
}

TEST_F(DienstFixture, TheSettingsFileIsFollowedWhenReplaced) {
    start("[Allgemein]\nAnschluß=COM2\nKosten=0,10\n");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return gelesen(); }));
    line.calls.clear();

    // Replaced by rename, as every editor and the window's own saves do.
    testsupport::writeAll(home.file("neu.tmp"), "[Allgemein]\nAnschluß=COM2\nKosten=0,20\n");
    ASSERT_EQ(std::rename(QFile::encodeName(home.file("neu.tmp")).constData(),
                          QFile::encodeName(home.file("WinVarno.INI")).constData()),
              0);
    ASSERT_TRUE(
        testsupport::WaitUntil([&] { return dienst->Sitzung().KostenProEinheit() == 0.20; }));
    EXPECT_FALSE(line.calls.contains(QStringLiteral("close"))) << "the port stays open";

    // Written in place, with another port: opened and read there.
    testsupport::writeAll(home.file("WinVarno.INI"), "[Allgemein]\nAnschluß=COM3\nKosten=0,20\n");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return line.calls.contains("open COM3"); }));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return gelesen(); }));
    EXPECT_EQ(dienst->Zustand().value(QStringLiteral("Schnittstelle")).toString(),
              QStringLiteral("COM3"));
}

} // namespace
