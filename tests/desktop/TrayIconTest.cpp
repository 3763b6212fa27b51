#include "desktop/TrayIcon.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct ZaehlendesIcon : TTrayIcon {
    using TTrayIcon::TTrayIcon;
    int updates = 0;
    void UpdateIcon() override {
        ++updates;
        TTrayIcon::UpdateIcon();
    }
};

struct TrayFixture : ::testing::Test {
    QWidget window;
    ZaehlendesIcon* icon = new ZaehlendesIcon(&window);
    QStringList events;
    bool area = true;

    void SetUp() override {
        icon->HasNotificationArea = [this] { return area; };
        icon->OnClick = [this](TTrayIcon*) { events << "click"; };
        icon->OnDblClick = [this](TTrayIcon*) { events << "dblclick"; };
        icon->OnMouseDown = [this](TTrayIcon*, TMouseButton b, TShiftState s, int, int) {
            events << QString("down %1 %2").arg(int(b)).arg(s);
        };
        icon->OnMouseUp = [this](TTrayIcon*, TMouseButton b, TShiftState s, int, int) {
            events << QString("up %1 %2").arg(int(b)).arg(s);
        };
        icon->OnMinimize = [this](TTrayIcon*) { events << "minimize"; };
        icon->OnRestore = [this](TTrayIcon*) { events << "restore"; };
    }
    void maus(unsigned code) {
        TMessage m{TTrayIcon::kCallbackMessage, 0, qintptr(code), 0};
        icon->WndProc(m);
    }
};

} // namespace

TEST_F(TrayFixture, HintReachesTheAreaCutTo63AndOnlyWhenChanged) {
    const QString lang = QString(63, 'a') + "bcdefgh";
    icon->SetHint(lang);
    EXPECT_EQ(icon->Hint(), lang);
    EXPECT_EQ(icon->TipText(), QString(63, 'a'));
    EXPECT_EQ(icon->SystemTrayIcon()->toolTip(), QString(63, 'a'));
    const int updates = icon->updates;
    icon->SetHint(lang);
    EXPECT_EQ(icon->updates, updates) << "the same hint sends nothing";
    icon->SetHint(QString());
    EXPECT_EQ(icon->TipText(), QString());
    EXPECT_EQ(icon->SystemTrayIcon()->toolTip(), QString());
    EXPECT_EQ(icon->updates, updates + 1);

    QPixmap p(16, 16);
    p.fill(Qt::red);
    const QIcon bild(p);
    icon->SetIcon(bild);
    icon->SetIcon(bild);
    EXPECT_EQ(icon->updates, updates + 2) << "the icon already held sends nothing";
}

TEST_F(TrayFixture, DoubleClickGivesOneClickAndOneDoubleClick) {
    maus(WM_LBUTTONDOWN);
    maus(WM_LBUTTONUP);
    maus(WM_LBUTTONDBLCLK);
    maus(WM_LBUTTONUP);
    EXPECT_EQ(events, QStringList({"down 0 8", "click", "up 0 8", "dblclick", "up 0 8"}));

    events.clear();
    maus(WM_RBUTTONDBLCLK);
    maus(WM_MBUTTONDOWN);
    maus(WM_MBUTTONUP);
    maus(WM_LBUTTONUP);
    maus(0x0999);
    EXPECT_EQ(events, QStringList({"dblclick", "down 2 32", "up 2 32", "up 0 8"}))
        << "a release without its press is no click; unknown codes are ignored";

    // Qt's activations arrive as the mouse messages they stand for.
    events.clear();
    emit icon->SystemTrayIcon()->activated(QSystemTrayIcon::Trigger);
    emit icon->SystemTrayIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(events.count("click"), 1);
    EXPECT_EQ(events.count("dblclick"), 1);
}

TEST_F(TrayFixture, SessionEndAnswersYesAndRemovesTheIcon) {
    TMessage query{WM_QUERYENDSESSION, 0, 0, 0};
    icon->WndProc(query);
    EXPECT_EQ(query.Result, 1);
    TMessage end{WM_ENDSESSION, 1, 0, 0};
    icon->WndProc(end);
    EXPECT_FALSE(icon->SystemTrayIcon()->isVisible());
    // Without its entry the window must not be hidden away.
    window.show();
    icon->Minimize();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
}

TEST_F(TrayFixture, MenuOpensOnlyWhileTheWindowIsHidden) {
    QMenu menu;
    menu.addAction("Eins");
    icon->SetPopupMenu(&menu);
    window.show();
    maus(WM_RBUTTONDOWN);
    maus(WM_RBUTTONUP);
    EXPECT_FALSE(menu.isVisible());
    EXPECT_EQ(events, QStringList({"down 1 16", "up 1 16"}));

    icon->Minimize();
    maus(WM_RBUTTONDOWN);
    EXPECT_TRUE(menu.isVisible());
    menu.close();
}

TEST_F(TrayFixture, MinimizeHidesOrMinimisesAndRestoreBringsTheWindowBack) {
    ASSERT_TRUE(QApplication::quitOnLastWindowClosed());
    window.show();
    icon->Minimize();
    EXPECT_TRUE(window.isHidden());
    EXPECT_TRUE(icon->WindowHiddenHere());
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed())
        << "closing another window must not end the hidden program";
    icon->Restore();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
    EXPECT_EQ(events, QStringList({"minimize", "restore"}));

    area = false;
    icon->Minimize();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
    icon->Restore();
    EXPECT_FALSE(window.isMinimized());

    // The panel goes away while the window is hidden: the window comes back minimised.
    area = true;
    icon->Minimize();
    area = false;
    icon->EnsureReachable();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
    EXPECT_FALSE(icon->WindowHiddenHere());
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
}

TEST_F(TrayFixture, ShownAnotherWayTheWindowIsNoLongerHiddenHere) {
    window.show();
    icon->Minimize();
    window.show();
    EXPECT_FALSE(icon->WindowHiddenHere());
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
    icon->Minimize();
    delete icon;
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
}

TEST_F(TrayFixture, AHostShowingExportedMenusGetsACopyWithItemsOnlyWhileHidden) {
    QMenu menu;
    QAction* zuordnung = menu.addAction("Zuordnung");
    QMenu* sub = menu.addMenu("Parametrierung");
    QAction* zeit = sub->addAction("Zeitsteuerung");
    menu.addSeparator();
    menu.addAction("Schliessen");
    icon->HostShowsExportedMenu = [] { return true; };
    icon->SetPopupMenu(&menu);
    QMenu* copy = icon->ExportedMenu();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(icon->SystemTrayIcon()->contextMenu(), copy);
    QStringList captions;
    for (QAction* a : copy->actions())
        captions << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(captions, QStringList({"Zuordnung", "Parametrierung", "-", "Schliessen"}));
    QMenu* copiedSub = copy->actions()[1]->menu();
    ASSERT_NE(copiedSub, nullptr);
    ASSERT_EQ(copiedSub->actions().size(), 1);

    auto shown = [&] {
        QList<bool> v;
        for (QAction* a : copy->actions())
            v << a->isVisible();
        return v;
    };
    window.show();
    EXPECT_EQ(shown(), QList<bool>({false, false, false, false})) << "no menu beside the window";
    icon->Minimize();
    EXPECT_EQ(shown(), QList<bool>({true, true, true, true}));
    int zeitTriggered = 0, zuordnungTriggered = 0;
    QObject::connect(zeit, &QAction::triggered, [&] { ++zeitTriggered; });
    QObject::connect(zuordnung, &QAction::triggered, [&] { ++zuordnungTriggered; });
    copiedSub->actions()[0]->trigger();
    copy->actions()[0]->trigger();
    EXPECT_EQ(zeitTriggered, 1);
    EXPECT_EQ(zuordnungTriggered, 1);
    icon->Restore();
    EXPECT_EQ(shown(), QList<bool>({false, false, false, false}));

    QWidget other;
    TTrayIcon plain(&other);
    plain.HostShowsExportedMenu = [] { return false; };
    plain.SetPopupMenu(&menu);
    EXPECT_EQ(plain.ExportedMenu(), nullptr) << "an XEmbed tray leaves the menu to the program";
    EXPECT_EQ(plain.SystemTrayIcon()->contextMenu(), nullptr);
}
