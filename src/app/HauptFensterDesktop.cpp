// Tray icon, tray menu and the window message hook.
#include "app/HauptFormular.h"
#include "desktop/TrayIcon.h"
#include "desktop/UMsgHook.h"
#include "desktop/animationcontrol.h"
#include "platform/Platzierung.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTabWidget>

// The menu items bring the window back themselves: it may be hidden in the
// notification area or minimised to the taskbar.
void THauptFenster::ZeigeFenster(QWidget* page, QWidget* innerPage) {
    TaskleistenIcon->Restore();
    ZeigeSeite(page, innerPage);
}

void THauptFenster::BaueDesktop() {
    TrayPopupMenu = new QMenu(this);
    TrayPopupMenu->setObjectName(QStringLiteral("TrayPopupMenu"));
    auto item = [](QMenu* menu, const char* name, const QString& caption, auto handler,
                   THauptFenster* w) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        QObject::connect(a, &QAction::triggered, w, handler);
        return a;
    };
    PopupItemKonfiguration =
        item(TrayPopupMenu, "PopupItemKonfiguration", QStringLiteral("Grundkonfiguration"),
             &THauptFenster::PopupItemKonfigurationClick, this);
    QFont bold = PopupItemKonfiguration->font();
    bold.setBold(true);
    PopupItemKonfiguration->setFont(bold);
    TrayPopupMenu->setDefaultAction(PopupItemKonfiguration);
    PopupItemZuordnung = item(TrayPopupMenu, "PopupItemZuordnung", QStringLiteral("Zuordnung"),
                              &THauptFenster::PopupItemZuordnungClick, this);
    PopupItemBerechtigungen =
        item(TrayPopupMenu, "PopupItemBerechtigungen", QStringLiteral("Berechtigungen"),
             &THauptFenster::PopupItemBerechtigungenClick, this);
    PopupItemGebuehren = item(TrayPopupMenu, "PopupItemGebuehren", QStringLiteral("Gebühren"),
                              &THauptFenster::PopupItemGebuehrenClick, this);
    QMenu* parametrierung = TrayPopupMenu->addMenu(QStringLiteral("Parametrierung"));
    parametrierung->setObjectName(QStringLiteral("PopupMenuParametrierung"));
    PopupItemParametrierung = parametrierung->menuAction();
    PopupItemParametrierung->setObjectName(QStringLiteral("PopupItemParametrierung"));
    PopupItemMSNParametrierung =
        item(parametrierung, "PopupItemMSNParametrierung", QStringLiteral("MSN-Parametrierung"),
             &THauptFenster::PopupItemMSNParametrierungClick, this);
    PopupItemAnschlussParametrierung =
        item(parametrierung, "PopupItemAnschlussParametrierung",
             QStringLiteral("Anschluß-Parametrierung"),
             &THauptFenster::PopupItemAnschlussParametrierungClick, this);
    PopupItemZeitsteuerung =
        item(parametrierung, "PopupItemZeitsteuerung", QStringLiteral("Zeitsteuerung"),
             &THauptFenster::PopupItemZeitsteuerungClick, this);
    PopupItemInfo = item(TrayPopupMenu, "PopupItemInfo", QStringLiteral("Info"),
                         &THauptFenster::PopupItemInfoClick, this);
    N1 = TrayPopupMenu->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    PopupItemSchliessen = item(TrayPopupMenu, "PopupItemSchliessen", QStringLiteral("Schliessen"),
                               &THauptFenster::PopupItemSchliessenClick, this);

    TabProgrammInfo->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TabProgrammInfo, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { TrayPopupMenu->popup(TabProgrammInfo->mapToGlobal(p)); });

    MessageHook = new TMessageHook(this);
    MessageHook->setObjectName(QStringLiteral("MessageHook"));
    MessageHook->SetActive(false);
    MessageHook->OnMessage = [this](TMessageHook*, bool&, TMessage& message) {
        OnMessage(message);
    };
}

bool THauptFenster::PositionErinnerbar() {
    return platzierung::PositionErinnerbar(QGuiApplication::platformName());
}

void THauptFenster::SetzeFensterPosition(std::optional<int> x, std::optional<int> y) {
    // Moving before the first show would keep the desktop from placing the window.
    if ((!x && !y) || !PositionErinnerbar())
        return;
    // The frame is not known before the window is first shown: allow for a border
    // and a title bar as desktops commonly draw them.
    constexpr int kRand = 8, kTitelleiste = 32;
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    move(platzierung::TitelleisteAufBildschirm(QPoint(x.value_or(this->x()), y.value_or(this->y())),
                                               QSize(width() + 2 * kRand, kTitelleiste), screens));
}

void THauptFenster::BaueTaskleistenIcon() {
    TaskleistenIcon = new TTrayIcon(this);
    TaskleistenIcon->setObjectName(QStringLiteral("TaskleistenIcon"));
    TaskleistenIcon->SetHint(QStringLiteral("Varno KM20/KM50 - Konfiguration"));
    TaskleistenIcon->SetIcon(windowIcon());
    TaskleistenIcon->SetPopupMenu(TrayPopupMenu);
    TaskleistenIcon->OnClick = [this](TTrayIcon*) { TaskleistenIconClick(); };
}

void THauptFenster::TaskleistenIconClick() {
    TaskleistenIcon->Restore();
    raise();
    activateWindow();
}

void THauptFenster::PopupItemKonfigurationClick() {
    ZeigeSeite(TabKonfiguration);
    TaskleistenIconClick();
}

void THauptFenster::PopupItemZuordnungClick() {
    ZeigeFenster(TabZuordnung);
}

void THauptFenster::PopupItemBerechtigungenClick() {
    ZeigeFenster(TabBerechtigungen);
}

void THauptFenster::PopupItemGebuehrenClick() {
    ZeigeFenster(TabGebuehren);
}

void THauptFenster::PopupItemMSNParametrierungClick() {
    ZeigeFenster(TabParametrierung, MSNParametrierung);
}

void THauptFenster::PopupItemAnschlussParametrierungClick() {
    ZeigeFenster(TabParametrierung, abParametrierung);
}

void THauptFenster::PopupItemZeitsteuerungClick() {
    ZeigeFenster(TabParametrierung, ZeitParametrierung);
}

void THauptFenster::PopupItemInfoClick() {
    ZeigeFenster(TabProgrammInfo);
    AnimationControl->SetAutoplay(true);
}

void THauptFenster::PopupItemSchliessenClick() {
    BeendenButtonClick();
    // Qt ends the program only when a visible last window closes; the window
    // closed here may have been hidden in the notification area.
    if (m_sitzung->BeendenAngefordert() && isHidden())
        QApplication::quit();
}
