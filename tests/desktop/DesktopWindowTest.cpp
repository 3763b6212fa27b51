#include "support/WindowFixture.h"

#include "desktop/TrayIcon.h"
#include "desktop/UMsgHook.h"
#include "desktop/animationcontrol.h"
#include "device/PacedSend.h"
#include "platform/IniFile.h"

#include <QApplication>
#include <QMenu>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {

QByteArray Antwort(const QByteArray& data) {
    return WindowFixture::DeviceAnswer(data);
}

// The three answers of a complete read, firmware 1.93 with eight ports.
QList<QByteArray> VollstaendigesLesen() {
    QByteArray grund(113, '\0');
    grund[2] = 8;
    grund[3] = 1;
    grund[4] = 1;
    grund[5] = 93;
    return {Antwort(grund), Antwort(QByteArray(195, '\0')), Antwort(QByteArray(132, '\0'))};
}

const QByteArray kGood = "[Allgemein]\nAnschluß=COM2\n";

struct DesktopFixture : WindowFixture {
    std::unique_ptr<THauptFenster> w;
    void SetUp() override {
        device::SetPacingStep(std::chrono::milliseconds(1));
        settings(kGood);
        w = make();
        Control<TTrayIcon>(*w, "TaskleistenIcon")->HasNotificationArea = [] { return true; };
        w->show();
        calls.clear();
    }
    void TearDown() override {
        device::SetPacingStep(std::chrono::milliseconds(50));
        QApplication::setQuitOnLastWindowClosed(true);
    }
    void versteckt() {
        w->close();
        ASSERT_TRUE(w->isHidden());
    }
    void maus(unsigned code) {
        TMessage m{TTrayIcon::kCallbackMessage, 0, qintptr(code), 0};
        Control<TTrayIcon>(*w, "TaskleistenIcon")->WndProc(m);
    }
};

} // namespace

TEST_F(DesktopFixture, TrayMenuHasEveryItemInOrder) {
    QStringList captions;
    for (QAction* a : Control<QMenu>(*w, "TrayPopupMenu")->actions())
        captions << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(captions, QStringList({"Grundkonfiguration", "Zuordnung", "Berechtigungen",
                                     QString::fromUtf8("Gebühren"), "Parametrierung", "Info", "-",
                                     "Schliessen"}));
    EXPECT_EQ(Control<QMenu>(*w, "TrayPopupMenu")->defaultAction(),
              Control<QAction>(*w, "PopupItemKonfiguration"));
    EXPECT_TRUE(Control<QAction>(*w, "PopupItemKonfiguration")->font().bold());
    ASSERT_NE(Control<QAction>(*w, "PopupItemParametrierung")->menu(), nullptr);
    QStringList inner;
    for (QAction* a : Control<QAction>(*w, "PopupItemParametrierung")->menu()->actions())
        inner << a->text();
    EXPECT_EQ(inner, QStringList({"MSN-Parametrierung",
                                  QString::fromUtf8("Anschluß-Parametrierung"), "Zeitsteuerung"}));
    EXPECT_EQ(Control<TTrayIcon>(*w, "TaskleistenIcon")->TipText(),
              "Varno KM20/KM50 - Konfiguration");
    EXPECT_EQ(Control<TTrayIcon>(*w, "TaskleistenIcon")->PopupMenu(),
              Control<QMenu>(*w, "TrayPopupMenu"));
    EXPECT_FALSE(Control<TTrayIcon>(*w, "TaskleistenIcon")->Icon().isNull());
}

TEST_F(DesktopFixture, MenuItemsBringTheWindowBackOnTheirPage) {
    struct Fall {
        QAction* item;
        QWidget* page;
        QWidget* inner;
    };
    const Fall faelle[] = {
        {Control<QAction>(*w, "PopupItemKonfiguration"), Control<QWidget>(*w, "TabKonfiguration"),
         nullptr},
        {Control<QAction>(*w, "PopupItemZuordnung"), Control<QWidget>(*w, "TabZuordnung"), nullptr},
        {Control<QAction>(*w, "PopupItemBerechtigungen"), Control<QWidget>(*w, "TabBerechtigungen"),
         nullptr},
        {Control<QAction>(*w, "PopupItemGebuehren"), Control<QWidget>(*w, "TabGebuehren"), nullptr},
        {Control<QAction>(*w, "PopupItemMSNParametrierung"),
         Control<QWidget>(*w, "TabParametrierung"), Control<QWidget>(*w, "MSNParametrierung")},
        {Control<QAction>(*w, "PopupItemZeitsteuerung"), Control<QWidget>(*w, "TabParametrierung"),
         Control<QWidget>(*w, "ZeitParametrierung")},
        {Control<QAction>(*w, "PopupItemAnschlussParametrierung"),
         Control<QWidget>(*w, "TabParametrierung"), Control<QWidget>(*w, "abParametrierung")},
        {Control<QAction>(*w, "PopupItemInfo"), Control<QWidget>(*w, "TabProgrammInfo"), nullptr},
    };
    for (const Fall& f : faelle) {
        SCOPED_TRACE(f.item->text().toStdString());
        versteckt();
        f.item->trigger();
        EXPECT_TRUE(w->isVisible());
        EXPECT_FALSE(w->isMinimized());
        EXPECT_EQ(Control<QTabWidget>(*w, "MainPageControl")->currentWidget(), f.page);
        if (f.inner) {
            EXPECT_EQ(Control<QTabWidget>(*w, "ParametrierungPageControl")->currentWidget(),
                      f.inner);
        }
    }
    EXPECT_TRUE(Control<TAnimationControl>(*w, "AnimationControl")->Autoplay())
        << "Info starts the animation";
}

TEST_F(DesktopFixture, CloseBoxHidesAndTheIconBringsTheWindowBack) {
    Control<QTabWidget>(*w, "MainPageControl")
        ->setCurrentWidget(Control<QWidget>(*w, "TabGebuehren"));
    maus(WM_RBUTTONDOWN);
    EXPECT_FALSE(Control<QMenu>(*w, "TrayPopupMenu")->isVisible())
        << "no menu while the window is shown";
    versteckt();
    EXPECT_FALSE(w->isMinimized());
    EXPECT_TRUE(Control<QTimer>(*w, "SekundenTimer")->isActive()) << "the program lives on";
    EXPECT_FALSE(calls.contains("close"));
    maus(WM_RBUTTONDOWN);
    EXPECT_TRUE(Control<QMenu>(*w, "TrayPopupMenu")->isVisible());
    Control<QMenu>(*w, "TrayPopupMenu")->close();
    maus(WM_LBUTTONDOWN);
    maus(WM_LBUTTONUP);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(Control<QTabWidget>(*w, "MainPageControl")->currentWidget(),
              Control<QWidget>(*w, "TabGebuehren"))
        << "a click keeps the page";
}

TEST_F(DesktopFixture, WithoutNotificationAreaCloseMinimisesToTheTaskbar) {
    Control<TTrayIcon>(*w, "TaskleistenIcon")->HasNotificationArea = [] { return false; };
    w->close();
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->isMinimized());
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
}

TEST_F(DesktopFixture, SchliessenEndsTheProgramLikeBeenden) {
    EXPECT_FALSE(Control<QAction>(*w, "PopupItemSchliessen")->isEnabled())
        << "not while the start-up read runs";
    for (const QByteArray& answer : VollstaendigesLesen())
        line->Deliver(answer);
    ASSERT_TRUE(Control<QAction>(*w, "PopupItemSchliessen")->isEnabled());
    calls.clear();
    versteckt();
    int rc = -1;
    // A guard ends the loop with a different code should the program not end.
    QTimer::singleShot(0, w.get(),
                       [this] { Control<QAction>(*w, "PopupItemSchliessen")->trigger(); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    guard.start(30000);
    rc = QCoreApplication::exec();
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(w->Sitzung().BeendenAngefordert());
    EXPECT_EQ(calls, QStringList({"close"}));
    EXPECT_FALSE(Control<QTimer>(*w, "SekundenTimer")->isActive());
    EXPECT_TRUE(w->isHidden());
}

TEST_F(DesktopFixture, ProgrammInfoOffersTheTrayMenu) {
    Control<QTabWidget>(*w, "MainPageControl")
        ->setCurrentWidget(Control<QWidget>(*w, "TabProgrammInfo"));
    EXPECT_EQ(Control<QWidget>(*w, "TabProgrammInfo")->contextMenuPolicy(), Qt::CustomContextMenu);
    emit Control<QWidget>(*w, "TabProgrammInfo")->customContextMenuRequested(QPoint(5, 5));
    EXPECT_TRUE(Control<QMenu>(*w, "TrayPopupMenu")->isVisible());
    Control<QMenu>(*w, "TrayPopupMenu")->close();
}

TEST_F(DesktopFixture, MovesAreSavedOnlyAfterTheFirstCompleteRead) {
    EXPECT_FALSE(Control<TMessageHook>(*w, "MessageHook")->Active());
    w->move(40, 50);
    QTest::qWait(50);
    EXPECT_EQ(testsupport::readAll(settingsPath()), kGood);

    for (const QByteArray& block : VollstaendigesLesen())
        line->Deliver(block);
    ASSERT_TRUE(Control<TMessageHook>(*w, "MessageHook")->Active());
    w->move(70, 90);
    QTRY_COMPARE(platform::IniFile(settingsPath()).readInt("Fenster", "Y-Position", -1), 90);
    EXPECT_EQ(platform::IniFile(settingsPath()).readInt("Fenster", "X-Position", -1), 70);
}
