#include "desktop/TrayIcon.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

namespace {

TShiftState CurrentShift(TShiftState button) {
    const Qt::KeyboardModifiers m = QGuiApplication::queryKeyboardModifiers();
    TShiftState s = button;
    if (m & Qt::ShiftModifier)
        s |= ssShift;
    if (m & Qt::ControlModifier)
        s |= ssCtrl;
    if (m & Qt::AltModifier)
        s |= ssAlt;
    return s;
}

constexpr int kWatchMs = 2000;

// A host of this kind registers itself with the watcher; Qt itself then speaks
// to it instead of using the XEmbed tray.
bool WatcherOnSessionBus() {
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

// Each item of `from` once more in `to`, triggering the original.
void Mirror(const QMenu& from, QMenu& to) {
    for (QAction* item : from.actions()) {
        if (item->isSeparator())
            to.addSeparator();
        else if (const QMenu* sub = item->menu())
            Mirror(*sub, *to.addMenu(item->text()));
        else
            QObject::connect(to.addAction(item->text()), &QAction::triggered, item,
                             &QAction::trigger);
    }
}

} // namespace

TTrayIcon::TTrayIcon(QObject* owner) : QObject(owner), m_icon(QApplication::windowIcon()) {
    HasNotificationArea = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    HostShowsExportedMenu = WatcherOnSessionBus;
    m_tray = new QSystemTrayIcon(this);
    // The menu is opened here, not by Qt: it belongs only to a hidden window.
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason r) { Activated(int(r)); });
    m_watch = new QTimer(this);
    m_watch->setInterval(kWatchMs);
    connect(m_watch, &QTimer::timeout, this, &TTrayIcon::EnsureReachable);
    m_tip = QApplication::applicationDisplayName().left(kTipLength);
    m_tipFlag = !m_tip.isEmpty();
    if (auto* w = qobject_cast<QWidget*>(owner))
        SetWindow(w->window());
    // This class's own: a subclass is not built yet, or no longer there.
    TTrayIcon::UpdateIcon();
}

TTrayIcon::~TTrayIcon() {
    LeaveHidden();
    TTrayIcon::RemoveIcon();
    // Before the menu it may have handed to the host.
    delete m_tray;
    m_tray = nullptr;
}

void TTrayIcon::SetHint(const QString& hint) {
    if (hint == m_hint)
        return;
    m_hint = hint;
    m_tip = hint.left(kTipLength);
    m_tipFlag = !hint.isEmpty();
    UpdateIcon();
}

void TTrayIcon::SetIcon(const QIcon& icon) {
    if (icon.cacheKey() == m_icon.cacheKey())
        return;
    m_icon = icon;
    UpdateIcon();
}

void TTrayIcon::SetPopupMenu(QMenu* menu) {
    m_popupMenu = menu;
    if (!menu || !HostShowsExportedMenu || !HostShowsExportedMenu())
        return;
    auto copy = std::make_unique<QMenu>();
    Mirror(*menu, *copy);
    m_tray->setContextMenu(copy.get());
    m_exportedMenu = std::move(copy);
    ShowExportedItems(m_hiddenHere);
}

void TTrayIcon::ShowExportedItems(bool shown) {
    if (m_exportedMenu)
        for (QAction* item : m_exportedMenu->actions())
            item->setVisible(shown);
}

void TTrayIcon::SetWindow(QWidget* window) {
    if (m_window)
        m_window->removeEventFilter(this);
    m_window = window;
    if (window)
        window->installEventFilter(this);
}

QString TTrayIcon::TipText() const {
    return m_tipFlag ? m_tip : QString();
}

void TTrayIcon::UpdateIcon() {
    if (m_removed)
        return;
    m_tray->setToolTip(TipText());
    m_tray->setIcon(m_icon);
    // Qt warns about an entry without a picture, and the desktop has nothing to show.
    if (!m_icon.isNull() && HasNotificationArea())
        m_tray->show();
}

void TTrayIcon::RemoveIcon() {
    m_removed = true;
    m_tray->hide();
}

void TTrayIcon::Activated(int reason) {
    switch (QSystemTrayIcon::ActivationReason(reason)) {
    case QSystemTrayIcon::Trigger:
        Post(WM_LBUTTONDOWN);
        Post(WM_LBUTTONUP);
        break;
    case QSystemTrayIcon::DoubleClick:
        Post(WM_LBUTTONDBLCLK);
        Post(WM_LBUTTONUP);
        break;
    case QSystemTrayIcon::Context:
        Post(WM_RBUTTONDOWN);
        Post(WM_RBUTTONUP);
        break;
    case QSystemTrayIcon::MiddleClick:
        Post(WM_MBUTTONDOWN);
        Post(WM_MBUTTONUP);
        break;
    default:
        break;
    }
}

void TTrayIcon::Post(unsigned mouseMessage) {
    TMessage m{kCallbackMessage, 0, qintptr(mouseMessage), 0};
    WndProc(m);
}

void TTrayIcon::WndProc(TMessage& message) {
    switch (message.Msg) {
    case WM_QUERYENDSESSION:
        message.Result = 1;
        return;
    case WM_ENDSESSION:
        if (message.WParam)
            RemoveIcon();
        return;
    case kCallbackMessage:
        break;
    default:
        return;
    }
    const QPoint p = QCursor::pos();
    switch (unsigned(message.LParam)) {
    case WM_MOUSEMOVE:
        MouseMove(CurrentShift(0), p.x(), p.y());
        break;
    case WM_LBUTTONDOWN:
        MouseDown(TMouseButton::mbLeft, CurrentShift(ssLeft), p.x(), p.y());
        m_clickPending = true;
        break;
    case WM_LBUTTONUP:
        if (m_clickPending) {
            m_clickPending = false;
            Click();
        }
        MouseUp(TMouseButton::mbLeft, CurrentShift(ssLeft), p.x(), p.y());
        break;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
        DblClick();
        break;
    case WM_RBUTTONDOWN:
        MouseDown(TMouseButton::mbRight, CurrentShift(ssRight), p.x(), p.y());
        PopupAtCursor();
        break;
    case WM_RBUTTONUP:
        MouseUp(TMouseButton::mbRight, CurrentShift(ssRight), p.x(), p.y());
        break;
    case WM_MBUTTONDOWN:
        MouseDown(TMouseButton::mbMiddle, CurrentShift(ssMiddle), p.x(), p.y());
        break;
    case WM_MBUTTONUP:
        MouseUp(TMouseButton::mbMiddle, CurrentShift(ssMiddle), p.x(), p.y());
        break;
    default:
        break;
    }
}

void TTrayIcon::PopupAtCursor() {
    if (m_popupMenu && !(m_window && m_window->isVisible()))
        m_popupMenu->popup(QCursor::pos());
}

void TTrayIcon::Click() {
    if (OnClick)
        OnClick(this);
}

void TTrayIcon::DblClick() {
    if (OnDblClick)
        OnDblClick(this);
}

void TTrayIcon::MouseMove(TShiftState shift, int x, int y) {
    if (OnMouseMove)
        OnMouseMove(this, shift, x, y);
}

void TTrayIcon::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y);
}

void TTrayIcon::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseUp)
        OnMouseUp(this, button, shift, x, y);
}

void TTrayIcon::Minimize() {
    if (m_window) {
        if (!m_removed && HasNotificationArea()) {
            if (!m_hiddenHere) {
                // With the window hidden, closing any other window (help, a message
                // box) would count as closing the last one and end the program.
                m_quitOnLastWindowClosed = QApplication::quitOnLastWindowClosed();
                QApplication::setQuitOnLastWindowClosed(false);
                m_hiddenHere = true;
                ShowExportedItems(true);
            }
            UpdateIcon();
            m_window->hide();
            m_watch->start();
        } else {
            m_window->showMinimized();
        }
    }
    if (OnMinimize)
        OnMinimize(this);
}

void TTrayIcon::Restore() {
    if (m_window) {
        m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
        m_window->show();
    }
    LeaveHidden();
    if (OnRestore)
        OnRestore(this);
}

void TTrayIcon::LeaveHidden() {
    m_watch->stop();
    if (!m_hiddenHere)
        return;
    m_hiddenHere = false;
    ShowExportedItems(false);
    QApplication::setQuitOnLastWindowClosed(m_quitOnLastWindowClosed);
}

void TTrayIcon::EnsureReachable() {
    if (!m_hiddenHere)
        return;
    if (m_window && m_window->isHidden() && HasNotificationArea())
        return;
    QPointer<QWidget> w = m_window;
    LeaveHidden();
    if (w && w->isHidden())
        w->showMinimized();
}

bool TTrayIcon::eventFilter(QObject* watched, QEvent* event) {
    // Shown by any other way, the window is no longer ours to keep hidden.
    if (watched == m_window.data() && event->type() == QEvent::Show)
        LeaveHidden();
    return false;
}
