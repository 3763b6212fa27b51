// The window beside the service winvarnod (a copy of the real program, on this test's
// own session bus), both on the simulated exchange: exactly one of them has the line.
#include "E2eFixture.h"

#include "desktop/UMsgHook.h"
#include "platform/DdeExport.h"
#include "service/Schnittstelle.h"

#include <QComboBox>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTabWidget>

namespace {

constexpr int kSchreibenMs = 120000; // a whole write is paced over some 25 s

// Counts how often a control was locked.
struct SperrZaehler : QObject {
    int gesperrt = 0;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::EnabledChange && !static_cast<QWidget*>(o)->isEnabled())
            ++gesperrt;
        return false;
    }
};

struct DienstFenster : E2eFixture {
    QProcess dienst;
    void TearDown() override {
        w.reset();
        if (dienst.state() != QProcess::NotRunning) {
            dienst.terminate();
            if (!dienst.waitForFinished(10000))
                dienst.kill();
            dienst.waitForFinished(5000);
        }
        E2eFixture::TearDown();
    }

    void einstellungen() {
        // An hour between cyclic reads: none of the service's falls into a test.
        settings("[Allgemein]\nAnschluß=COM1\nWartezeit=60\n[Schnittstellen]\nCOM1=" +
                 QByteArray::fromStdString(sim->DevicePath()) + "\n");
    }

    static QDBusConnection bus() { return QDBusConnection::sessionBus(); }
    static bool aufDemBus(const QString& name) {
        return bus().interface()->isServiceRegistered(name).value();
    }
    static QVariant eigenschaft(const QString& name) {
        const QDBusMessage antwort =
            bus().call(QDBusMessage::createMethodCall(
                           service::kBusName, service::kObjektPfad,
                           QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"))
                       << service::kInterface << name);
        return antwort.arguments().value(0).value<QDBusVariant>().variant();
    }

    // A copy in the scratch home keeps the service's charge log there too.
    void dienstStarten() {
        const QString programm = home.file("winvarnod");
        if (!QFile::exists(programm)) {
            ASSERT_TRUE(QFile::copy(QStringLiteral(WINVARNOD_EXE), programm));
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                       QStringLiteral(":verify_asan_link_order=0"));
        dienst.setProcessEnvironment(env);
        dienst.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        dienst.start(programm, {});
        ASSERT_TRUE(dienst.waitForStarted(kWaitMs));
        ASSERT_TRUE(QTest::qWaitFor([] { return aufDemBus(service::kBusName); }, kWaitMs));
    }
    bool dienstFrei() {
        return !eigenschaft(QStringLiteral("TransferLaeuft")).toBool() &&
               eigenschaft(QStringLiteral("SteuerungFrei")).toBool();
    }

    void fensterOeffnen(const QStringList& args = {}) {
        dienstBus = [] { return QDBusConnection::sessionBus(); };
        TUmgebung env = umgebung(args);
        env.line = nullptr; // the real serial component: it would find the port taken
        w = std::make_unique<THauptFenster>(env);
        Control<QTimer>(*w, "SekundenTimer")->stop();
        ASSERT_FALSE(w->terminated()) << "the service is no second instance";
        EXPECT_TRUE(warnings.isEmpty());
    }
    bool portOffen() const { return w->findChild<TComm32*>("Communication")->IsOpen(); }
    bool exportiert() const { return w->findChild<TDdeServer*>("WinVarno") != nullptr; }
    bool frei() const { return Control<QPushButton>(*w, "LesenButton")->isEnabled(); }
    int zaehle(const char* was) { return int(events().filter(was).size()); }
};

TEST_F(DienstFenster, TheWindowShowsTheServicesReadsAndHandsItsRequestsOver) {
    exchange.SetPortCount(2); // a shorter write
    ASSERT_NO_FATAL_FAILURE(startExchange());
    einstellungen();
    ASSERT_NO_FATAL_FAILURE(dienstStarten());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return requestsAnswered().size() == 3 && dienstFrei(); }, kWaitMs));

    // The service's read at once, without a request of the window's own.
    ASSERT_NO_FATAL_FAILURE(fensterOeffnen({QStringLiteral("ZYKLISCH")}));
    ASSERT_TRUE(w->DienstVerbunden());
    EXPECT_FALSE(portOffen());
    EXPECT_FALSE(exportiert()) << "the service exports the charges";
    EXPECT_TRUE(aufDemBus(QStringLiteral("dde.WinVarno")));
    const varnosim::TImage image = sim->ImageSnapshot();
    EXPECT_EQ(Data(config::Region::Basic), Data(image, varnosim::BasicRegion));
    EXPECT_EQ(Data(config::Region::Charge), Data(image, varnosim::ChargeRegion));
    EXPECT_EQ(Control<QLabel>(*w, "Firmware")->text(), "1.93");
    EXPECT_EQ(MSNTabelle(*w, 0)->text(), "4711");
    EXPECT_EQ(EinheitenTabelle(*w, 1)->text(), QString::number(sim->Units(2)));
    EXPECT_EQ(w->statusText(0), "0:");
    EXPECT_TRUE(Control<QPushButton>(*w, "SchreibenButton")->isEnabled());
    EXPECT_TRUE(Control<TMessageHook>(*w, "MessageHook")->Active()) << "a whole read is shown";

    // The window's own cyclic read and schedule keep still; the clock goes on.
    w->Sitzung().SetZyklusZaehler(1);
    now = now.addSecs(1);
    w->OnSekunde();
    EXPECT_FALSE(w->Sitzung().TransferAktiv());
    EXPECT_FALSE(portOffen());
    EXPECT_EQ(w->statusText(1), "09:05:04");

    // "Lesen": the service reads, once, and the window follows with its controls locked.
    SperrZaehler sperre;
    Control<QPushButton>(*w, "LesenButton")->installEventFilter(&sperre);
    Control<QPushButton>(*w, "LesenButton")->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return requestsAnswered().size() == 6 && sperre.gesperrt > 0 && frei(); }, kWaitMs))
        << events().join('\n').toStdString();
    EXPECT_EQ(w->statusText(0), "0:");

    // "Schreiben": the image as the pages hold it, with the counter set on port 22.
    w->Sitzung().Image().SetMsnText(1, u"98765");
    w->ZeigeSeite(Control<QWidget>(*w, "TabParametrierung"),
                  Control<QWidget>(*w, "abParametrierung"));
    Control<QComboBox>(*w, "abAuswahl")->setCurrentIndex(1);
    w->OnabAuswahlChange();
    Tippe(Control<QLineEdit>(*w, "GebuehrenEinheiten"), "4321");
    w->CommitPortPage();
    Control<QPushButton>(*w, "SchreibenButton")->click();
    // The service's status messages in blue, as the window's own; its controls locked.
    // The first stands while the basic block is paced out, for seconds.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return w->statusText(0) == QString::fromUtf8("1:Grundkonfiguration wird übertragen");
        },
        kSchreibenMs));
    EXPECT_GT(pixelsOf(*w, Qt::blue), 10);
    EXPECT_FALSE(frei());
    ASSERT_TRUE(QTest::qWaitFor([&] { return zaehle("basic block written") == 1; }, kSchreibenMs));
    // A second write while the first runs is the service's to refuse, with its reason.
    w->OnSchreibenClick();
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("2:Nicht geschrieben: eine Übertragung läuft"));
    EXPECT_GT(pixelsOf(*w, Qt::red), 10);
    ASSERT_TRUE(QTest::qWaitFor([&] { return zaehle("charge block written") == 1 && frei(); },
                                kSchreibenMs))
        << events().join('\n').toStdString();
    EXPECT_EQ(zaehle("basic block written"), 1);
    EXPECT_EQ(requestsAnswered().size(), 9)
        << "the write's fresh read of the counters, and its read-back of two blocks";
    EXPECT_EQ(sim->Units(2), 4321);
    EXPECT_EQ(EinheitenTabelle(*w, 1)->text(), "4321");
    EXPECT_FALSE(portOffen());

    // "Beenden" ends the window, not the service.
    w->BeendenButtonClick();
    w.reset();
    EXPECT_EQ(dienst.state(), QProcess::Running);
    EXPECT_TRUE(aufDemBus(service::kBusName));
}

TEST_F(DienstFenster, WithoutTheServiceTheWindowHasTheLineAndHandsItOverAndBack) {
    ASSERT_NO_FATAL_FAILURE(startExchange());
    einstellungen();
    ASSERT_NO_FATAL_FAILURE(fensterOeffnen());
    EXPECT_FALSE(w->DienstVerbunden());
    EXPECT_TRUE(portOffen());
    EXPECT_TRUE(exportiert());
    ASSERT_TRUE(QTest::qWaitFor([&] { return readDone(); }, kWaitMs));
    EXPECT_EQ(requestsAnswered().size(), 3);

    // The service comes: it finds the port taken, the window hands it over and the
    // service reads (once, whichever of the two came first).
    ASSERT_NO_FATAL_FAILURE(dienstStarten());
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->DienstVerbunden(); }, kWaitMs));
    EXPECT_FALSE(portOffen());
    // The export of the charges goes with the line.
    EXPECT_FALSE(exportiert());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return bus().interface()->serviceOwner(QStringLiteral("dde.WinVarno")).value() ==
                   bus().interface()->serviceOwner(service::kBusName).value();
        },
        kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return requestsAnswered().size() == 6 && dienstFrei() && frei(); }, kWaitMs))
        << events().join('\n').toStdString();
    EXPECT_EQ(w->statusText(0), "0:");

    // The service ends: the window takes the line again and reads.
    dienst.terminate();
    ASSERT_TRUE(dienst.waitForFinished(kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->DienstVerbunden(); }, kWaitMs));
    EXPECT_TRUE(portOffen()) << w->statusText(0).toStdString();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return requestsAnswered().size() == 9 && readDone(); }, kWaitMs))
        << events().join('\n').toStdString();
    EXPECT_TRUE(exportiert());
}

} // namespace
