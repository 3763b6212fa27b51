#include "desktop/UMsgHook.h"

#include <QCoreApplication>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A widget that counts the moves its own handler got.
struct Zielfenster : QWidget {
    using QWidget::QWidget;
    int moves = 0, resizes = 0;
    void moveEvent(QMoveEvent*) override { ++moves; }
    void resizeEvent(QResizeEvent*) override { ++resizes; }
};

void Bewege(QWidget* w, QPoint to = {10, 20}) {
    QMoveEvent e(to, {0, 0});
    QCoreApplication::sendEvent(w, &e);
}

// Records the moves the hook shows; swallows them when told.
struct Beobachter {
    QList<QObject*> seenOn;
    bool swallow = false;
    void attach(TMessageHook& hook) {
        hook.OnMessage = [this](TMessageHook* sender, bool& handleOriginal, TMessage& m) {
            EXPECT_TRUE(handleOriginal) << "every message arrives to be passed on";
            if (m.Msg != WM_MOVE)
                return;
            seenOn << sender->Target();
            if (swallow)
                handleOriginal = false;
        };
    }
};

} // namespace

TEST(MessageHook, HooksItsOwnerOnceAndLetsGoWhenSwitchedOff) {
    Zielfenster owner;
    auto* hook = new TMessageHook(&owner);
    Beobachter b;
    b.attach(*hook);
    EXPECT_TRUE(hook->Active());
    EXPECT_EQ(hook->Target(), &owner);
    hook->SetActive(true);
    Bewege(&owner);
    EXPECT_EQ(b.seenOn.size(), 1) << "hooked once";
    EXPECT_EQ(owner.moves, 1) << "a handler leaving HandleOriginal set changes nothing";

    hook->SetActive(false);
    EXPECT_FALSE(hook->Hooked());
    Bewege(&owner);
    EXPECT_EQ(b.seenOn.size(), 1);
    EXPECT_EQ(owner.moves, 2);

    hook->SetActive(true);
    Bewege(&owner);
    EXPECT_EQ(b.seenOn.size(), 2);
}

TEST(MessageHook, ClearingHandleOriginalKeepsTheMessageFromTheWidget) {
    Zielfenster owner;
    auto* hook = new TMessageHook(&owner);
    Beobachter b;
    b.attach(*hook);
    b.swallow = true;
    Bewege(&owner);
    EXPECT_EQ(owner.moves, 0);
    QResizeEvent r(QSize(50, 40), QSize(10, 10));
    QCoreApplication::sendEvent(&owner, &r);
    EXPECT_EQ(owner.resizes, 1) << "only the moves were swallowed";
}

TEST(MessageHook, ControlMovesTheHookAndBackToTheOwner) {
    Zielfenster owner;
    auto* other = new Zielfenster(&owner);
    auto* hook = new TMessageHook(&owner);
    Beobachter b;
    b.attach(*hook);
    b.swallow = true;

    hook->SetControl(other);
    EXPECT_TRUE(hook->Active());
    Bewege(&owner);
    Bewege(other);
    EXPECT_EQ(b.seenOn, QList<QObject*>{other});
    EXPECT_EQ(owner.moves, 1) << "the old target has its handling back";
    EXPECT_EQ(other->moves, 0);

    hook->SetControl(nullptr);
    Bewege(other);
    Bewege(&owner);
    EXPECT_EQ(b.seenOn, (QList<QObject*>{other, &owner}));
    EXPECT_EQ(other->moves, 1);

    // Switched off, a new control stays unhooked.
    hook->SetActive(false);
    hook->SetControl(other);
    Bewege(other);
    EXPECT_FALSE(hook->Active());
    EXPECT_EQ(other->moves, 2);
}

TEST(MessageHook, DestroyingHookOrControlLeavesEveryWidgetWorking) {
    Zielfenster owner;
    auto* hook = new TMessageHook(&owner);
    Beobachter b;
    b.attach(*hook);
    b.swallow = true;
    delete hook;
    Bewege(&owner);
    EXPECT_EQ(owner.moves, 1) << "the widget's own handling is back";

    hook = new TMessageHook(&owner);
    b.attach(*hook);
    auto* other = new Zielfenster(&owner);
    hook->SetControl(other);
    delete other;
    EXPECT_EQ(hook->Control(), nullptr);
    EXPECT_TRUE(hook->Active());
    Bewege(&owner);
    EXPECT_EQ(b.seenOn.size(), 1) << "a destroyed control hands the hook back to the owner";
    EXPECT_EQ(owner.moves, 1);
}

TEST(MessageHook, WithoutAWidgetOwnerThereIsNothingToHook) {
    QObject owner;
    auto* hook = new TMessageHook(&owner);
    EXPECT_EQ(hook->Target(), nullptr);
    EXPECT_FALSE(hook->Hooked());
    Zielfenster w;
    hook->SetControl(&w);
    EXPECT_TRUE(hook->Hooked());
    delete hook;
    Bewege(&w);
    EXPECT_EQ(w.moves, 1);
}

TEST(MessageHook, MessageRecordsCarryWin32NumbersAndPackedWords) {
    const TMessage move = MessageOf(QMoveEvent(QPoint(-5, 300), QPoint()));
    EXPECT_EQ(move.Msg, WM_MOVE);
    EXPECT_EQ(move.LParam & 0xFFFF, 0xFFFB);
    EXPECT_EQ((move.LParam >> 16) & 0xFFFF, 300);
    const TMessage close = MessageOf(QEvent(QEvent::Close));
    EXPECT_EQ(close.Msg, WM_CLOSE);
    const TMessage polish = MessageOf(QEvent(QEvent::Polish));
    EXPECT_EQ(polish.Msg, kQtEventBase + unsigned(QEvent::Polish))
        << "a Qt event without a Win32 number stays apart from every Win32 message";
}
