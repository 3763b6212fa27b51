#include "support/WindowFixture.h"

#include "app/Hilfe.h"
#include "app/StatusZeile.h"
#include "app/ZeitEdit.h"
#include "platform/IniFile.h"
#include "platform/SingleInstance.h"

#include "desktop/TrayIcon.h"
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QWhatsThis>

namespace {
const QColor kRed(Qt::red), kBlue(Qt::blue);
const QByteArray kGood = "[Allgemein]\nAnschluß=COM2\nKosten=0,15\nWartezeit=5\n";
} // namespace

TEST_F(WindowFixture, WithoutSettingsTheWindowIsCompleteButNothingIsRead) {
    auto w = make();
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("2:Portadresse 'COMx' ist ungültig"));
    EXPECT_GT(pixelsOf(*w, kRed), 10);
    EXPECT_EQ(pixelsOf(*w, kBlue), 0);
    EXPECT_TRUE(calls.isEmpty()) << "no port opened, no read started";
    EXPECT_EQ(Control<QTabWidget>(*w, "MainPageControl")->currentWidget(),
              Control<QWidget>(*w, "TabKonfiguration"));
    EXPECT_EQ(Control<QLabel>(*w, "VersionsString")->text(), "Version 3.03 vom 13. Juli 1996");
    EXPECT_EQ(Control<QCheckBox>(*w, "ZyklischNeuLesen")->text(), "Jede Minute neu lesen");
    EXPECT_EQ(w->statusText(1), "09:05:03");
    EXPECT_EQ(EditUhrzeit(*w, 0)->displayText(), "99:99");
    EXPECT_TRUE(Control<QTimer>(*w, "SekundenTimer")->isActive());
    // A read that cannot have a port says so again and leaves everything usable.
    w->LesenButtonClick();
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("2:Portadresse 'COMx' ist ungültig"));
    EXPECT_FALSE(w->Sitzung().Transfer().Busy());
}

TEST_F(WindowFixture, PortNameIsCaseSensitive) {
    settings("[Allgemein]\nAnschluß=com2\n");
    auto w = make();
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("2:Portadresse 'com2' ist ungültig"));
    EXPECT_TRUE(calls.isEmpty());
}

TEST_F(WindowFixture, StartUpOpensThePortThenReadsWithEverySetting) {
    settings(kGood + "[Bezeichnungen]\n23=" + QByteArray(45, 'L') +
             "\n[Zeitpunkt2]\nZeit=0730\nDatei=/tmp/x.vrn\n[AlteEinheiten]\n21=4\n"
             "[AlteKosten]\n21=0,48\n");
    auto w = make({"zyklisch"});
    EXPECT_EQ(calls, QStringList({"open COM2", "send 83 0a 00 00"}));
    EXPECT_EQ(w->Sitzung().CommPort(), "COM2");
    EXPECT_EQ(w->statusText(0), "1:Grundkonfiguration wird gelesen");
    EXPECT_GT(pixelsOf(*w, kBlue), 10);
    EXPECT_EQ(Control<QTabWidget>(*w, "MainPageControl")->currentWidget(),
              Control<QWidget>(*w, "TabKonfiguration"));
    EXPECT_EQ(Control<QTabWidget>(*w, "ParametrierungPageControl")->currentWidget(),
              Control<QWidget>(*w, "MSNParametrierung"));
    EXPECT_EQ(Control<QLabel>(*w, "VersionsString")->text(), "Version 3.03 vom 13. Juli 1996");
    EXPECT_EQ(w->statusText(1), "09:05:03");
    EXPECT_DOUBLE_EQ(w->Sitzung().KostenProEinheit(), 0.15);
    EXPECT_EQ(w->Sitzung().AlteEinheiten()[0], 4);
    EXPECT_DOUBLE_EQ(w->Sitzung().AlteKosten()[0], 0.48);
    EXPECT_EQ(w->Sitzung().ZyklusSekunden(), 300);
    EXPECT_EQ(w->Sitzung().ZyklusZaehler(), 300);
    EXPECT_EQ(Control<QCheckBox>(*w, "ZyklischNeuLesen")->text(), "Alle 5 Minuten neu lesen");
    EXPECT_TRUE(Control<QCheckBox>(*w, "ZyklischNeuLesen")->isChecked());
    for (QLabel* label :
         {BezeichnungTabelleA(*w, 2), BezeichnungTabelleB(*w, 2), BezeichnungTabelleC(*w, 2)})
        EXPECT_EQ(label->text(), QString(40, 'L'));
    EXPECT_EQ(EditUhrzeit(*w, 1)->zeitText(), "0730");
    EXPECT_EQ(EditUhrzeit(*w, 1)->displayText(), "07:30");
    EXPECT_EQ(EditDateiname(*w, 1)->text(), "/tmp/x.vrn");
    EXPECT_EQ(EditUhrzeit(*w, 3)->zeitText(), "9999");
    EXPECT_EQ(Control<QComboBox>(*w, "BerechtigungsAuswahl")->itemText(2),
              QString::fromUtf8("Ortsgespräch"));
    EXPECT_EQ(Control<QComboBox>(*w, "DienstAuswahl")->itemText(5), "Kombidienst");
}

TEST_F(WindowFixture, WithoutZyklischTheBoxStartsUnticked) {
    settings(kGood);
    auto w = make();
    EXPECT_EQ(Control<QCheckBox>(*w, "ZyklischNeuLesen")->text(), "Alle 5 Minuten neu lesen");
    EXPECT_FALSE(Control<QCheckBox>(*w, "ZyklischNeuLesen")->isChecked());
    EXPECT_EQ(w->Sitzung().ZyklusZaehler(), -1);
}

TEST_F(WindowFixture, OneMinuteOrLessReadsEveryMinute) {
    for (const QByteArray wartezeit : {"", "Wartezeit=1\n", "Wartezeit=0\n", "Wartezeit=-3\n"}) {
        settings("[Allgemein]\nAnschluß=COM1\n" + wartezeit);
        auto w = make({"ZYKLISCH"});
        EXPECT_EQ(Control<QCheckBox>(*w, "ZyklischNeuLesen")->text(), "Jede Minute neu lesen")
            << wartezeit.data();
        EXPECT_EQ(w->Sitzung().ZyklusSekunden(), 60);
        EXPECT_EQ(w->Sitzung().ZyklusZaehler(), 60) << "a countdown that can fire";
    }
}

TEST_F(WindowFixture, BothSwitchesGiveAutoEndeWithoutCyclicReading) {
    settings(kGood);
    auto w = make({"Zyklisch", "autoende"});
    EXPECT_TRUE(w->Sitzung().AutoEnde());
    EXPECT_FALSE(w->Sitzung().Zyklisch());
    EXPECT_FALSE(Control<QCheckBox>(*w, "ZyklischNeuLesen")->isChecked());
    EXPECT_EQ(w->Sitzung().ZyklusZaehler(), -1);
    EXPECT_EQ(Control<QTabWidget>(*w, "MainPageControl")->currentWidget(),
              Control<QWidget>(*w, "TabGebuehren"));
}

TEST_F(WindowFixture, APortThatCannotBeOpenedIsOpenedByTheNextTransfer) {
    settings("[Allgemein]\nAnschluß=COM3\nKosten=0,15\n[Bezeichnungen]\n21=Flur\n");
    line->openThrows = true;
    auto w = make({"ZYKLISCH"});
    EXPECT_EQ(calls, QStringList({"open COM3"}));
    EXPECT_EQ(w->statusText(0),
              QString::fromUtf8("2:Schnittstelle COM3 kann nicht geöffnet werden"));
    EXPECT_EQ(Control<QTabWidget>(*w, "MainPageControl")->currentWidget(),
              Control<QWidget>(*w, "TabKonfiguration"));
    EXPECT_EQ(BezeichnungTabelleA(*w, 0)->text(), "Flur");
    EXPECT_DOUBLE_EQ(w->Sitzung().KostenProEinheit(), 0.15);
    EXPECT_EQ(w->Sitzung().ZyklusZaehler(), 60) << "the cyclic read is armed and will try again";
    EXPECT_FALSE(w->Sitzung().Transfer().Busy());

    w->LesenButtonClick(); // still missing: said again, controls stay usable
    EXPECT_EQ(calls, QStringList({"open COM3", "open COM3"}));
    EXPECT_FALSE(EnabledControls(*w).isEmpty());

    line->openThrows = false; // the adapter is there now
    calls.clear();
    w->Sitzung().SetZyklusZaehler(1);
    w->OnSekunde();
    EXPECT_EQ(calls, QStringList({"open COM3", "send 83 0a 00 00"}));

    // The line dies: its descriptor goes at once, and the next read opens it anew.
    LetReadTimeOut(*w);
    line->Lose();
    EXPECT_EQ(calls.last(), "close");
    calls.clear();
    w->LesenButtonClick();
    EXPECT_EQ(calls, QStringList({"open COM3", "send 83 0a 00 00"}));
}

TEST_F(WindowFixture, PriceAboveTheLimitIsZero) {
    for (const QByteArray kosten : {"12,50", "-1"}) {
        settings("[Allgemein]\nAnschluß=COM1\nKosten=" + kosten + "\n");
        EXPECT_DOUBLE_EQ(make()->Sitzung().KostenProEinheit(), 0.0) << kosten.data();
    }
}

TEST_F(WindowFixture, WindowPositionComesFromTheSettings) {
    settings(kGood);
    EXPECT_FALSE(make()->testAttribute(Qt::WA_Moved)) << "without keys the desktop places it";
    settings(kGood + "[Fenster]\nX-Position=120\nY-Position=$50\n");
    auto w = make();
    EXPECT_EQ(w->pos(), QPoint(120, 80));
}

TEST_F(WindowFixture, CloseBoxMinimisesWhileBeendenEnds) {
    settings(kGood);
    auto w = make();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->isMinimized());
    EXPECT_FALSE(calls.contains("close"));
    EXPECT_FALSE(w->Sitzung().BeendenAngefordert());

    EXPECT_FALSE(Control<QPushButton>(*w, "BeendenButton")->isEnabled())
        << "locked while the first read waits";
    for (int i = 0; i < 10; ++i)
        w->OnSekunde();
    QTest::mouseClick(Control<QPushButton>(*w, "HilfeButton"), Qt::LeftButton);
    ASSERT_TRUE(Control<THilfe>(*w, "Hilfe")->helpWindow() &&
                Control<THilfe>(*w, "Hilfe")->helpWindow()->isVisible());
    QTest::mouseClick(Control<QPushButton>(*w, "BeendenButton"), Qt::LeftButton);
    EXPECT_TRUE(w->Sitzung().BeendenAngefordert());
    EXPECT_TRUE(!Control<THilfe>(*w, "Hilfe")->helpWindow() ||
                !Control<THilfe>(*w, "Hilfe")->helpWindow()->isVisible())
        << "no window is left to keep the program running";
    EXPECT_EQ(calls.last(), "close");
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(Control<QTimer>(*w, "SekundenTimer")->isActive());
}

TEST_F(WindowFixture, TimerDutiesCountDownAndFireOnce) {
    settings(kGood);
    auto w = make({"ZYKLISCH"});
    calls.clear();
    w->show();

    // Cyclic re-read: fires at zero, re-arms, and reads only while the box is ticked.
    LetReadTimeOut(*w);
    w->Sitzung().SetZyklusZaehler(2);
    w->OnSekunde();
    EXPECT_TRUE(calls.isEmpty());
    w->OnSekunde();
    EXPECT_EQ(calls, QStringList({"send 83 0a 00 00"}));
    EXPECT_EQ(w->Sitzung().ZyklusZaehler(), 300);
    Control<QCheckBox>(*w, "ZyklischNeuLesen")->setChecked(false);
    w->Sitzung().SetZyklusZaehler(1);
    w->OnSekunde();
    EXPECT_EQ(calls.size(), 1);
    EXPECT_EQ(w->Sitzung().ZyklusZaehler(), 300);

    // Transfer time-out: the cyclic read's request unanswered for 10 s gives
    // message 4 in red, then idle.
    while (w->Sitzung().Transfer().TimeoutLeft() > 1)
        w->OnSekunde();
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("1:Grundkonfiguration wird gelesen"));
    w->OnSekunde();
    EXPECT_EQ(w->statusText(0), "2:Kommunikationsfehler");
    EXPECT_FALSE(w->Sitzung().Transfer().Busy());

    // Automatic close: a close request without the exit flag minimises.
    w->Sitzung().SetAutoEndeZaehler(2);
    w->OnSekunde();
    EXPECT_FALSE(w->isMinimized());
    w->OnSekunde();
    EXPECT_EQ(w->Sitzung().AutoEndeZaehler(), 0);
    EXPECT_TRUE(w->isMinimized());
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(calls.contains("close"));

    now = now.addSecs(3600 + 60 + 1);
    w->OnSekunde();
    EXPECT_EQ(w->statusText(1), "10:06:04");
}

TEST_F(WindowFixture, ZeigeMeldungLetsPendingEventsRun) {
    auto w = make();
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    w->ZeigeMeldung(27, 1, "23");
    EXPECT_TRUE(ran);
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("1:Anschluß 23 wird konfiguriert"));
    w->ZeigeMeldung(0, 0, QString());
    EXPECT_EQ(pixelsOf(*w, kRed) + pixelsOf(*w, kBlue) + pixelsOf(*w, Qt::black), 0)
        << "message 0 leaves the panel empty";
}

TEST_F(WindowFixture, WindowMovesRewriteOnlyThePosition) {
    const QByteArray before = kGood + "; Kommentar\n[Fenster]\nX-Position=1\n";
    settings(before);
    auto w = make();
    w->move(33, 44);
    TMessage other{5, 0, 0, 0};
    w->OnMessage(other);
    EXPECT_EQ(testsupport::readAll(settingsPath()), before);
    TMessage moved{WM_MOVE, 0, 0, 0};
    w->OnMessage(moved);
    const platform::IniFile ini(settingsPath());
    EXPECT_EQ(ini.readInt("Fenster", "X-Position", 0), 33);
    EXPECT_EQ(ini.readInt("Fenster", "Y-Position", 0), 44);
    EXPECT_TRUE(testsupport::readAll(settingsPath()).startsWith(kGood + "; Kommentar\n"));
}

TEST_F(WindowFixture, HelpContentsAndContextTopics) {
    auto w = make();
    w->show();
    QTest::mouseClick(Control<QPushButton>(*w, "HilfeButton"), Qt::LeftButton);
    QTextBrowser* browser = Control<THilfe>(*w, "Hilfe")->helpWindow();
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->isVisible());
    EXPECT_TRUE(browser->toPlainText().contains(QString::fromUtf8("WinVarno – Hilfe")));

    // F1 on a focused control shows its topic.
    Control<QTabWidget>(*w, "MainPageControl")
        ->setCurrentWidget(Control<QWidget>(*w, "TabParametrierung"));
    Control<QLineEdit>(*w, "TelefonNummer")->setFocus();
    QTest::keyClick(Control<QLineEdit>(*w, "TelefonNummer"), Qt::Key_F1);
    EXPECT_TRUE(Control<THilfe>(*w, "Hilfe")->lastPopup().contains("Telefonnummer"));
    // A control without a number takes its enclosing control's; the page has none.
    EXPECT_EQ(THilfe::ContextOf(ZuordnungTabelle(*w, 2)), 109);
    EXPECT_EQ(THilfe::ContextOf(Control<QLabel>(*w, "Protokoll")), 0);
    EXPECT_EQ(browser->windowIcon().cacheKey(), w->windowIcon().cacheKey());
    browser->close();

    // Shift+F1, then a click on a control, shows that control's topic.
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QTest::keyClick(Control<QLineEdit>(*w, "TelefonNummer"), Qt::Key_F1, Qt::ShiftModifier);
    ASSERT_TRUE(QWhatsThis::inWhatsThisMode());
    QTest::mouseClick(Control<QPushButton>(*w, "LesenButton"), Qt::LeftButton);
    EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
    EXPECT_TRUE(Control<THilfe>(*w, "Hilfe")->lastPopup().contains("Liest nacheinander"));
    QWhatsThis::hideText();
}

TEST_F(WindowFixture, SecondInstanceWarnsAndEndsAtOnce) {
    settings(kGood);
    const platform::SingleInstance first(QStringLiteral("Varno KM20/KM50 - Konfiguration"));
    auto w = make();
    EXPECT_TRUE(w->terminated());
    EXPECT_EQ(warnings, QStringList({"Warnung|WinVarno ist schon aktiv"}));
    EXPECT_TRUE(calls.isEmpty()) << "neither port nor settings touched";
    EXPECT_EQ(w->findChild<TTrayIcon*>(), nullptr) << "no tray icon beside the warning";
}

TEST_F(WindowFixture, SecondInstanceBesideARunningProgram) {
    // The first instance is the real program; it must run on untouched.
    settings("[Allgemein]\nAnschluß=COMx\n");
    QProcess first;
    first.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    first.start(QStringLiteral(WINVARNO_EXE), {});
    ASSERT_TRUE(first.waitForStarted());
    const QString lock = platform::SingleInstance::LockPath("Varno KM20/KM50 - Konfiguration");
    for (int i = 0; i < 200 && !QFileInfo::exists(lock); ++i)
        QTest::qWait(50);
    ASSERT_TRUE(QFileInfo::exists(lock));
    QTest::qWait(300); // the lock follows the file's creation at once

    auto w = make();
    EXPECT_TRUE(w->terminated());
    EXPECT_EQ(warnings.size(), 1);
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
    EXPECT_FALSE(make()->terminated()) << "the lock died with the first process";
}
