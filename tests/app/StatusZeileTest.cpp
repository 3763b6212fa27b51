#include "support/WindowFixture.h"

#include "app/StatusZeile.h"

#include <QAccessible>

TEST(StatusZeile, PanelsAreStaticTextChildrenOfAnAccessibleStatusBar) {
    TStatusZeile bar;
    bar.addPanel({430, QStringLiteral("Meldetext"), Qt::AlignLeft, true});
    bar.addPanel({50, QStringLiteral("Uhrzeit"), Qt::AlignHCenter, false});
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&bar);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::StatusBar);
    ASSERT_EQ(iface->childCount(), 2);
    QAccessibleInterface* message = iface->child(0);
    QAccessibleInterface* clock = iface->child(1);
    EXPECT_EQ(message->role(), QAccessible::StaticText);
    EXPECT_EQ(message->parent(), iface);
    EXPECT_EQ(iface->indexOfChild(clock), 1);
    EXPECT_EQ(iface->text(QAccessible::Name), "Meldetext");

    bar.setPanelText(0, QStringLiteral("2:Kommunikationsfehler"),
                     QStringLiteral("Kommunikationsfehler"));
    bar.setPanelText(1, QStringLiteral("09:05:03"));
    EXPECT_EQ(bar.panelText(0), "2:Kommunikationsfehler") << "the panel keeps what it was given";
    EXPECT_EQ(iface->text(QAccessible::Name), "Kommunikationsfehler");
    EXPECT_EQ(message->text(QAccessible::Name), "Kommunikationsfehler");
    EXPECT_EQ(clock->text(QAccessible::Name), "09:05:03");
    // The description stays free for whoever explains a message.
    bar.setAccessibleDescription(QStringLiteral("Grund"));
    EXPECT_EQ(iface->text(QAccessible::Description), "Grund");
}

TEST_F(WindowFixture, MessagesAreSpokenWithoutTheirSeverity) {
    auto w = make();
    w->ZeigeMeldung(meldung::NichtGeoeffnet, stufe::Fehler, QStringLiteral("COM3"));
    QAccessibleInterface* iface =
        QAccessible::queryAccessibleInterface(Control<TStatusZeile>(*w, "StatusZeile"));
    EXPECT_EQ(iface->text(QAccessible::Name),
              QString::fromUtf8("Schnittstelle COM3 kann nicht geöffnet werden"));
    w->ZeigeMeldung(meldung::Keine, stufe::Normal);
    EXPECT_EQ(iface->text(QAccessible::Name), QString());
}
